// The whole cask list (7,500 casks shaped like Homebrew's own objects) from
// its kept copy to searchable records, beside bare parses of the same file.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <malloc.h>
#include <simdjson.h>

#include "BenchServices.h"
#include "BenchUtil.h"
#include "services/SourceStore.h"
#include "views/AppListView.h"
#include "support/FutureWait.h"

namespace {

// Homebrew's cask objects carry far more than a record uses: uninstall and
// zap steps, dependencies, per-system variations, checksums of the source.
QJsonObject caskObject(int i)
{
    const QString token = QStringLiteral("app-%1-%2").arg(QString::number(i * 7919 % 100000, 36)).arg(i);
    const QString version = QStringLiteral("%1.%2.%3,%4").arg(i % 9).arg(i % 31).arg(i % 7).arg(10000 + i);
    const QString url = QStringLiteral("https://downloads.example.com/%1/%2/%1-%2-universal.dmg").arg(token, version);
    QJsonObject object{
        {"token", token},
        {"full_token", token},
        {"old_tokens", QJsonArray{}},
        {"tap", "homebrew/cask"},
        {"name", QJsonArray{QStringLiteral("Application %1").arg(i)}},
        {"desc", QStringLiteral("Tool number %1 for editing, syncing and sharing documents").arg(i)},
        {"homepage", QStringLiteral("https://www.example.com/products/%1/").arg(token)},
        {"url", url},
        {"url_specs", i % 3 ? QJsonObject{} : QJsonObject{{"verified", "downloads.example.com/"}}},
        {"version", version},
        {"installed", QJsonValue()},
        {"installed_time", QJsonValue()},
        {"bundle_version", QJsonValue()},
        {"bundle_short_version", QJsonValue()},
        {"outdated", false},
        {"sha256", QString(64, QLatin1Char('0' + i % 10))},
        {"artifacts",
         QJsonArray{QJsonObject{{"uninstall", QJsonArray{QJsonObject{
                                                  {"quit", QStringLiteral("com.example.%1").arg(token)},
                                                  {"launchctl", QStringLiteral("com.example.%1.helper").arg(token)}}}}},
                    QJsonObject{{"app", QJsonArray{QStringLiteral("Application %1.app").arg(i)}}},
                    QJsonObject{{"zap", QJsonArray{QJsonObject{
                                            {"trash", QJsonArray{
                                                          QStringLiteral("~/Library/Application Support/%1").arg(token),
                                                          QStringLiteral("~/Library/Caches/com.example.%1").arg(token),
                                                          QStringLiteral("~/Library/Preferences/com.example.%1.plist").arg(token),
                                                          QStringLiteral("~/Library/Saved Application State/com.example.%1.savedState").arg(token)}}}}}}}},
        {"caveats", QJsonValue()},
        {"depends_on", QJsonObject{{"macos", QJsonObject{{">=", QJsonArray{"11"}}}}}},
        {"conflicts_with", QJsonValue()},
        {"container", QJsonValue()},
        {"auto_updates", i % 2 == 0},
        {"deprecated", false},
        {"deprecation_date", QJsonValue()},
        {"deprecation_reason", QJsonValue()},
        {"disabled", false},
        {"disable_date", QJsonValue()},
        {"disable_reason", QJsonValue()},
        {"tap_git_head", "b0d2ad6c7e4d5f3a0e1b6c8d9f0a1b2c3d4e5f60"},
        {"languages", QJsonArray{}},
        {"ruby_source_path", QStringLiteral("Casks/%1/%2.rb").arg(token.left(1), token)},
        {"ruby_source_checksum", QJsonObject{{"sha256", QString(64, QLatin1Char('a' + i % 6))}}},
    };
    if (i % 3 == 0) {
        QJsonObject variations;
        for (const char *system : {"arm64_sonoma", "arm64_ventura", "sonoma", "ventura", "monterey"})
            variations.insert(QLatin1String(system),
                              QJsonObject{{"url", QString(url).replace("universal", QLatin1String(system))},
                                          {"sha256", QString(64, QLatin1Char('f'))}});
        object.insert("variations", variations);
    }
    return object;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    SourceStore writer(dir.path());
    QJsonArray casks;
    for (int i = 0; i < 7500; ++i)
        casks.append(caskObject(i));
    const QByteArray document = QJsonDocument(casks).toJson(QJsonDocument::Compact);
    casks = {};
    const QString path = writer.copyPath(SourceStore::brewSourceId());
    QDir().mkpath(QFileInfo(path).absolutePath());
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(document);
    }
    const auto readFile = [&path] {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    };

    const double qtParse = Bench::medianMs(7, [&] {
        volatile auto size = QJsonDocument::fromJson(readFile()).array().size();
        (void)size;
    });
    const double simdParse = Bench::medianMs(7, [&] {
        const QByteArray bytes = readFile();
        simdjson::dom::parser parser;
        simdjson::dom::element root;
        if (parser.parse(bytes.constData(), size_t(bytes.size())).get(root) != simdjson::SUCCESS)
            qFatal("simdjson refused the file");
    });

    malloc_trim(0);
    const long before = Bench::residentKiB();
    std::unique_ptr<SourceStore> kept;
    const double load = Bench::medianMs(7, [&] {
        kept.reset();
        kept = std::make_unique<SourceStore>(dir.path());
        settle(kept->loadCopies());
    });
    if (kept->records().size() != 7500)
        qFatal("catalog did not load");
    // What the parse freed may stay with the allocator; the records are what is kept.
    malloc_trim(0);
    const long after = Bench::residentKiB();

    // The sources screen over the whole catalog: each key refilters every record and repaints.
    kept.reset();
    Bench::Services services(dir.path());
    const QString copy = services.sources.copyPath(SourceStore::brewSourceId());
    QDir().mkpath(QFileInfo(copy).absolutePath());
    QFile::copy(path, copy);
    settle(services.sources.loadCopies());
    if (services.sources.records().size() != 7500)
        qFatal("the screen's catalog did not load");
    AppListView view(services.context, AppListView::Mode::sources);
    view.resize(880, 720);
    view.show();
    QCoreApplication::processEvents();
    std::vector<double> keys;
    for (int round = 0; round < 3; ++round) {
        for (const char key : {'n', 'u', 'm', 'b', 'e', 'r', ' ', '1', '2'}) {
            QElapsedTimer timer;
            timer.start();
            QTest::keyClick(view.searchField(), key);
            view.repaint();
            keys.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        if (view.filteredApps().isEmpty())
            qFatal("the search found nothing");
        view.setSearchText({});
    }
    std::sort(keys.begin(), keys.end());
    const double keystroke = keys[keys.size() / 2];

    Bench::report(QStringLiteral("cask catalog file (7,500 casks)"), document.size() / 1e6, "MB");
    Bench::reportRatio(QStringLiteral("cask catalog load to records"), load, simdParse,
                       QStringLiteral("bare simdjson parse"), QStringLiteral("≤ 120 ms and ≤ 2×"));
    Bench::report(QStringLiteral("bare QJsonDocument parse of the catalog"), qtParse, "ms");
    Bench::report(QStringLiteral("memory of the loaded catalog"), (after - before) / 1024.0, "MiB", QStringLiteral("goal ≤ 60 MiB"));
    Bench::report(QStringLiteral("sources screen, one search keystroke (refilter + repaint)"), keystroke, "ms",
                  QStringLiteral("median; slowest %1 ms; goal ≤ 16 ms").arg(keys.back(), 0, 'f', 1));
    return 0;
}
