// The downloads screen over a cache of 2,000 packages beside one of 6:
// opening it (build, first layout and paint) and a rescan of the cache with
// the redraw it causes. Rows are painted by a delegate, so the cost should
// grow with the rows in view, not with the cache.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "BenchServices.h"
#include "BenchUtil.h"
#include "views/DownloadsView.h"

namespace {

void measure(int packages)
{
    QTemporaryDir dir;
    const QDir root(dir.path());
    const char *kinds[] = {".dmg", ".pkg", ".zip", ""};
    QDir().mkpath(root.filePath(QStringLiteral("cache")));
    for (int i = 0; i < packages; ++i) {
        QFile file(root.filePath(QStringLiteral("cache/Package-%1%2").arg(i).arg(QLatin1String(kinds[i % 4]))));
        if (file.open(QIODevice::WriteOnly))
            file.resize(1000 + i);
    }
    Bench::Services services(dir.path());
    AppContext &context = services.context;
    DownloadManager &downloads = services.downloads;

    const double open = Bench::medianMs(5, [&] {
        DownloadsView view(context);
        view.resize(880, 720);
        view.show();
        view.grab();
    });
    DownloadsView view(context);
    view.resize(880, 720);
    view.show();
    view.grab();
    const double rescan = Bench::medianMs(5, [&] {
        downloads.refreshLocalPackages();
        view.grab();
    });
    const QString note = QStringLiteral("%1 cached packages").arg(packages);
    Bench::report(QStringLiteral("downloads screen open, %1 packages").arg(packages), open, "ms",
                  note + QStringLiteral("; build, layout, first paint"));
    Bench::report(QStringLiteral("downloads screen rescan, %1 packages").arg(packages), rescan, "ms",
                  note + QStringLiteral("; folder scan plus redraw"));
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    measure(6);
    measure(2000);
    return 0;
}
