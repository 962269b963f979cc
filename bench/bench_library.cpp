// 10,000-record library: load + decode and save (encode, write, atomic commit),
// each beside the bare QJsonDocument work on the same file.
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QTemporaryDir>

#include "BenchUtil.h"
#include "services/AppStoreService.h"
#include "services/InstalledDetector.h"

namespace {

QList<AppItem> makeLibrary(int count)
{
    QList<AppItem> apps;
    const auto &presets = AppStoreService::defaultPresetApps();
    for (int i = 0; i < count; ++i) {
        AppItem app = presets[i % presets.size()];
        app.id = QStringLiteral("app-%1").arg(i);
        app.name = QStringLiteral("Application %1").arg(i);
        app.tags = QStringList{QStringLiteral("效率"), QStringLiteral("工具")};
        app.fileSize = 100'000'000 + i;
        app.sha256 = QString(64, QLatin1Char('a' + i % 6));
        app.updatedAt = QStringLiteral("2026-12-06T07:00:00Z");
        if (i % 4 == 0)
            app.versions = QList<AppVersion>{{QStringLiteral("1.%1").arg(i % 40),
                                              QStringLiteral("https://downloads.example.com/app-%1/App.dmg").arg(i)}};
        apps.append(app);
    }
    return apps;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const auto library = makeLibrary(10'000);
    {
        QFile file(dir.filePath(QStringLiteral("apps.json")));
        file.open(QIODevice::WriteOnly);
        file.write(AppItem::listToJson(library));
    }
    const QString path = dir.filePath(QStringLiteral("apps.json"));
    const double megabytes = QFile(path).size() / 1e6;
    InstalledDetector detector(QStringList{});
    AppStoreService store(dir.path(), detector);

    const double rawParse = Bench::medianMs(9, [&] {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        volatile auto size = QJsonDocument::fromJson(file.readAll()).array().size();
        (void)size;
    });
    const double load = Bench::medianMs(9, [&] { store.loadApps(); });
    if (store.apps().size() != library.size())
        qFatal("library did not load");

    const double rawWrite = Bench::medianMs(9, [&] {
        QJsonArray array;
        for (const auto &item : library)
            array.append(item.toJson());
        QSaveFile file(dir.filePath(QStringLiteral("raw.json")));
        file.open(QIODevice::WriteOnly);
        file.write(QJsonDocument(array).toJson());
        file.commit();
    });
    const double save = Bench::medianMs(9, [&] { store.saveApps(); });

    Bench::report(QStringLiteral("library file size (10,000 records)"), megabytes, "MB");
    Bench::reportRatio(QStringLiteral("library load + decode"), load, rawParse, QStringLiteral("raw QJsonDocument parse"),
                       QStringLiteral("≤ 80 ms"));
    Bench::reportRatio(QStringLiteral("library save (encode, write, commit)"), save, rawWrite,
                       QStringLiteral("raw build + toJson + QSaveFile"), QStringLiteral("≤ 150 ms"));
    return 0;
}
