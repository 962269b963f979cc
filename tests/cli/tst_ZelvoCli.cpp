#include <QDir>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>

#include <sys/types.h>

#include "models/AppItem.h"
#include "services/AppStoreService.h"
#include "services/BrewService.h"
#include "services/CatalogFilter.h"
#include "services/InstalledDetector.h"
#include "support/TestFolders.h"
#include "support/TestHttpServer.h"

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    QString outText() const { return QString::fromUtf8(out); }
    QString errText() const { return QString::fromUtf8(err); }
    QJsonDocument json() const { return QJsonDocument::fromJson(out); }
};

QByteArray record(const QString &id, const QString &extra = QString())
{
    return QStringLiteral(R"({"id":"%1","name":"N%1","category":"c","summary":"s","description":"d",
        "sourceType":"direct","currentVersion":"1.0","packageType":"dmg"%2})")
        .arg(id, extra)
        .toUtf8();
}

QStringList appIds(const QJsonArray &array)
{
    QStringList ids;
    for (const auto &entry : array)
        ids << entry[QStringLiteral("app")][QStringLiteral("id")].toString();
    return ids;
}

} // namespace

// Every test gets a fresh home: the tool finds its library and cache through
// the XDG folders and the installed applications through the environment.
class TestZelvoCli final : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    QHash<QString, QString> m_extraEnvironment;

    QString home(const QString &relative = QString()) const { return m_home->filePath(relative); }
    QString libraryFolder() const { return home(QStringLiteral("data/ZelvoAppStore")); }
    QString libraryPath() const { return home(QStringLiteral("data/ZelvoAppStore/apps.json")); }
    QString applications() const { return home(QStringLiteral("Applications")); }
    QString cacheFolder() const { return home(QStringLiteral("cache/ZelvoAppStore/Downloads")); }

    void start(QProcess &process, const QStringList &arguments)
    {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), home(QStringLiteral("cache")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home(QStringLiteral("config")));
        environment.insert(QStringLiteral("ZELVO_APPLICATION_FOLDERS"), applications());
        environment.insert(QStringLiteral("ZELVO_INSTALL_TARGET"), applications());
        environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        for (auto it = m_extraEnvironment.cbegin(); it != m_extraEnvironment.cend(); ++it)
            environment.insert(it.key(), it.value());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(ZELVO_CLI_PATH), arguments);
        if (!process.waitForStarted())
            qFatal("cannot start zelvo");
    }

    // Waits with the event loop turning, so the test's own HTTP server answers.
    static Run finish(QProcess &process)
    {
        QEventLoop loop;
        connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(90'000, &loop, [&] {
            process.kill();
            loop.quit();
        });
        if (process.state() != QProcess::NotRunning)
            loop.exec();
        Run run;
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        return run;
    }

    Run zelvo(const QStringList &arguments, const QByteArray &input = QByteArray())
    {
        QProcess process;
        start(process, arguments);
        process.write(input);
        process.closeWriteChannel();
        return finish(process);
    }

    // Everything in the cache folder, hidden partial files included.
    QStringList cacheEntries() const
    {
        return QDir(cacheFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    void importDirect(const QString &id, const QString &version, const QUrl &url, const QString &extra = QString())
    {
        const auto run = zelvo({"import", "-"},
                               record(id, QStringLiteral(R"(,"downloadUrl":"%1")").arg(url.toString()) + extra)
                                   .replace("\"1.0\"", "\"" + version.toUtf8() + "\""));
        QCOMPARE(run.exitCode, 0);
    }

    // A real ZIP holding Foo.app, made with the archive tool the installer uses.
    QByteArray fooZip(const QString &version)
    {
        const QString staging = home(QStringLiteral("staging-") + version);
        TestFolders::makeBundle(staging, QStringLiteral("Foo"), QStringLiteral("com.example.foo"), version);
        const QString zip = home(QStringLiteral("Foo-%1.zip").arg(version));
        if (QProcess::execute(QStringLiteral("bsdtar"), {"-a", "-cf", zip, "-C", staging, "Foo.app"}) != 0)
            qFatal("bsdtar failed");
        return TestFolders::readFile(zip);
    }

    QString installedVersion(const QString &bundle) const
    {
        const auto info = InstalledDetector::readAppInfo(QDir(applications()).filePath(bundle));
        return info ? info->version.value_or(QString()) : QString();
    }

    QList<AppItem> libraryOnDisk() const { return AppItem::listFromJson(TestFolders::readFile(libraryPath())); }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        QDir().mkpath(applications());
        m_extraEnvironment.clear();
    }

    void helpAtEveryLevel_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("usage");
        QTest::newRow("top") << QStringList{"--help"} << "用法: zelvo [选项] <命令>";
        QTest::newRow("show short") << QStringList{"show", "-h"} << "用法: zelvo show [选项] ID";
        QTest::newRow("help wins over missing argument") << QStringList{"show", "--help"} << "用法: zelvo show";
        QTest::newRow("brew resolve") << QStringList{"brew", "resolve", "--help"}
                                      << "用法: zelvo brew resolve [选项] NAME";
        QTest::newRow("cache rm") << QStringList{"cache", "rm", "--help"} << "用法: zelvo cache rm [选项] PATH...";
    }

    void helpAtEveryLevel()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, usage);
        const auto run = zelvo(arguments);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.outText().startsWith(usage), qPrintable(run.outText()));
        QVERIFY(run.err.isEmpty());
        QVERIFY(!QFile::exists(libraryPath())); // help touches nothing
    }

    void usageErrorsExitTwo_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing") << QStringList{} << "zelvo: 缺少子命令";
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << "zelvo: 未知的子命令: frobnicate";
        QTest::newRow("unknown option") << QStringList{"list", "--bogus"} << "zelvo list:";
        QTest::newRow("missing value") << QStringList{"list", "--category"} << "zelvo list:";
        QTest::newRow("missing id") << QStringList{"show"} << "zelvo show: 缺少参数";
        QTest::newRow("two ids") << QStringList{"show", "a", "b"} << "zelvo show: 多余的参数: b";
        QTest::newRow("brew without command") << QStringList{"brew"} << "zelvo brew: 缺少子命令";
        QTest::newRow("brew unknown command") << QStringList{"brew", "install"} << "zelvo brew: 未知的子命令: install";
        QTest::newRow("cache unknown option") << QStringList{"cache", "--all"} << "zelvo cache:";
    }

    void usageErrorsExitTwo()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const auto run = zelvo(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.errText().startsWith(message), qPrintable(run.errText()));
        QVERIFY(run.errText().contains(QStringLiteral("--help")));
    }

    void listSearchMatchesTheCatalogFilter_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("everything") << QStringList{}
                                    << QStringList{"google-chrome", "visual-studio-code", "iterm2", "docker", "wechat",
                                                   "obsidian"};
        QTest::newRow("name, any case") << QStringList{"--search", "CODE"} << QStringList{"visual-studio-code"};
        QTest::newRow("category and search") << QStringList{"--category", "开发工具", "--search", "docker"}
                                             << QStringList{"docker"};
        QTest::newRow("installed in a category") << QStringList{"--installed", "--category", "效率办公"}
                                                 << QStringList{"obsidian"};
    }

    void listSearchMatchesTheCatalogFilter()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, expected);
        TestFolders::makeBundle(applications(), QStringLiteral("WeChat"), QStringLiteral("com.tencent.xinWeChat"),
                                QStringLiteral("3.8.0"));
        TestFolders::makeBundle(applications(), QStringLiteral("Obsidian"), QStringLiteral("md.obsidian"),
                                QStringLiteral("1.6.7"));
        const auto run = zelvo(QStringList{"list", "--json"} + options);
        QCOMPARE(run.exitCode, 0);
        const auto listed = run.json().array();
        QCOMPARE(appIds(listed), expected);

        // The same answer as the screens' filter over the same library and bundles.
        CatalogFilter filter;
        filter.onlyInstalled = options.contains(QStringLiteral("--installed"));
        if (const auto at = options.indexOf(QStringLiteral("--category")); at >= 0)
            filter.category = options.at(at + 1);
        if (const auto at = options.indexOf(QStringLiteral("--search")); at >= 0)
            filter.searchText = options.at(at + 1);
        const auto installed = InstalledDetector({applications()}).scanInstalledApps();
        QStringList screenIds;
        for (const auto &app : filter.apply(libraryOnDisk(), installed))
            screenIds << app.id;
        QCOMPARE(appIds(listed), screenIds);

        // The plain listing shows the same rows.
        const auto plain = zelvo(QStringList{"list"} + options);
        QCOMPARE(plain.exitCode, 0);
        const auto lines = plain.outText().split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), expected.size() + 1);
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY(lines[i + 1].startsWith(expected[i] + u' '));
    }

    void statusesFollowTheInstalledBundles()
    {
        TestFolders::makeBundle(applications(), QStringLiteral("WeChat"), QStringLiteral("com.tencent.xinWeChat"),
                                QStringLiteral("3.8.0"));
        TestFolders::makeBundle(applications(), QStringLiteral("Obsidian"), QStringLiteral("md.obsidian"),
                                QStringLiteral("1.6.7"), true);
        const auto scan = zelvo({"scan", "--json"});
        QCOMPARE(scan.exitCode, 0);
        const auto bundles = scan.json().array();
        QCOMPARE(bundles.size(), 2); // each bundle once, though the map holds it under two keys
        QCOMPARE(bundles[0][QStringLiteral("name")].toString(), QStringLiteral("Obsidian"));
        QCOMPARE(bundles[1][QStringLiteral("bundleId")].toString(), QStringLiteral("com.tencent.xinWeChat"));
        QCOMPARE(bundles[1][QStringLiteral("version")].toString(), QStringLiteral("3.8.0"));
        QVERIFY(!QFile::exists(libraryPath())); // a scan does not touch the library

        const auto wechat = zelvo({"show", "wechat", "--json"}).json().object()[QStringLiteral("status")].toObject();
        QCOMPARE(wechat[QStringLiteral("kind")].toString(), QStringLiteral("updateAvailable"));
        QCOMPARE(wechat[QStringLiteral("installedVersion")].toString(), QStringLiteral("3.8.0"));
        QCOMPARE(wechat[QStringLiteral("latestVersion")].toString(), QStringLiteral("3.8.8"));
        QCOMPARE(wechat[QStringLiteral("path")].toString(), applications() + QStringLiteral("/WeChat.app"));
        const auto obsidian = zelvo({"show", "obsidian", "--json"}).json().object()[QStringLiteral("status")].toObject();
        QCOMPARE(obsidian[QStringLiteral("kind")].toString(), QStringLiteral("installed"));

        const auto shown = zelvo({"show", "wechat"});
        QCOMPARE(shown.exitCode, 0);
        for (const auto *text : {"微信", "可更新 v3.8.0 → v3.8.8", "最新版本:", "本地已装:", "关于此应用"})
            QVERIFY2(shown.outText().contains(QString::fromUtf8(text)), text);
    }

    void showUnknownIdFails()
    {
        const auto run = zelvo({"show", "nope"});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.out.isEmpty());
        QCOMPARE(run.errText(), QStringLiteral("应用库中没有此应用: nope\n"));
    }

    void jsonRoundTripsRecords()
    {
        // A record using every optional field, imported through standard input.
        QJsonObject object = QJsonDocument::fromJson(record(QStringLiteral("full"))).object();
        object.insert(QStringLiteral("chineseName"), QStringLiteral("全"));
        object.insert(QStringLiteral("bundleId"), QStringLiteral("b.full"));
        object.insert(QStringLiteral("tags"), QJsonArray{QStringLiteral("甲"), QStringLiteral("乙")});
        object.insert(QStringLiteral("fileSize"), qint64(9007199254740993));
        object.insert(QStringLiteral("sha256"), QStringLiteral("ab"));
        object.insert(QStringLiteral("brewName"), QString());
        object.insert(QStringLiteral("versionPatternUrl"), QStringLiteral("https://example.com/v{version}.dmg"));
        object.insert(QStringLiteral("versions"),
                      QJsonArray{QJsonObject{{QStringLiteral("version"), QStringLiteral("2.0,77")},
                                             {QStringLiteral("downloadUrl"), QStringLiteral("https://example.com/2.dmg")},
                                             {QStringLiteral("fileSize"), 5},
                                             {QStringLiteral("changelog"), QStringLiteral("改进")}}});
        const QByteArray full = QJsonDocument(object).toJson();
        QCOMPARE(zelvo({"import", "-"}, full).exitCode, 0);
        const auto expected = AppItem::fromJson(QJsonDocument::fromJson(full).object());

        const auto shown = zelvo({"show", "full", "--json"});
        QCOMPARE(shown.exitCode, 0);
        QCOMPARE(AppItem::fromJson(shown.json().object()[QStringLiteral("app")].toObject()), expected);

        const auto listed = zelvo({"list", "--json"}).json().array();
        QList<AppItem> fromList;
        for (const auto &entry : listed)
            fromList << AppItem::fromJson(entry[QStringLiteral("app")].toObject());
        QCOMPARE(fromList, libraryOnDisk());
        QCOMPARE(fromList.first(), expected);

        // export is the library file; imported into another, empty library it
        // gives the same records (new ones go first, so in reverse order), and
        // imported again over itself it changes nothing.
        const auto exported = zelvo({"export"});
        QCOMPARE(exported.exitCode, 0);
        QCOMPARE(exported.out, TestFolders::readFile(libraryPath()));
        QCOMPARE(zelvo({"import", "-"}, exported.out).exitCode, 0);
        QCOMPARE(TestFolders::readFile(libraryPath()), exported.out);
        const auto firstHome = std::exchange(m_home, std::make_unique<QTemporaryDir>());
        TestFolders::writeFile(libraryFolder(), QStringLiteral("apps.json"), "[]");
        QCOMPARE(zelvo({"import", "-"}, exported.out).exitCode, 0);
        auto reimported = libraryOnDisk();
        std::reverse(reimported.begin(), reimported.end());
        QCOMPARE(reimported, AppItem::listFromJson(exported.out));
    }

    void importReportsLikeTheWindow_data()
    {
        QTest::addColumn<bool>("fromFile");
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QByteArray three = "[" + record("a") + "," + record("b") + "," + record("c") + "]";
        const QString badFormat = QStringLiteral("JSON 格式既不是 AppItem 对象，也不是 AppItem 数组");
        QTest::newRow("pasted array") << false << three << 0
                                      << "成功导入 / 更新了 3 个应用！已同步保存到本地应用库。\n" << "";
        QTest::newRow("file array") << true << three << 0 << "从文件成功导入 / 更新了 3 个应用！\n" << "";
        QTest::newRow("file object") << true << record("a") << 0 << "从文件成功导入 / 更新了 1 个应用！\n" << "";
        QTest::newRow("pasted garbage") << false << QByteArray("hello") << 1 << "" << "导入失败: " + badFormat + "\n";
        QTest::newRow("file with a bad record") << true << QByteArray("[" + record("ok") + ",{\"id\":1}]") << 1 << ""
                                                << "文件导入失败: " + badFormat + "\n";
    }

    void importReportsLikeTheWindow()
    {
        QFETCH(bool, fromFile);
        QFETCH(QByteArray, json);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const auto run = fromFile ? zelvo({"import", TestFolders::writeFile(home(), QStringLiteral("in.json"), json)})
                                  : zelvo({"import", "-"}, json);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.outText(), out);
        QCOMPARE(run.errText(), err);
        QCOMPARE(libraryOnDisk().size(), 6 + (exitCode == 0 ? int(json.count("\"id\"")) : 0));
    }

    void importOfAMissingFileFails()
    {
        const auto run = zelvo({"import", home(QStringLiteral("missing.json"))});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.errText().startsWith(QStringLiteral("无法读取 ") + home(QStringLiteral("missing.json"))));
    }

    void importIsSeenByAnOpenWindowAndSurvivesItsSave()
    {
        // The window's store, open over the same library while zelvo runs.
        InstalledDetector detector({applications()});
        AppStoreService window(libraryFolder(), detector);
        QSignalSpy changed(&window, &AppStoreService::appsChanged);
        const auto run = zelvo({"import", "-"}, record(QStringLiteral("from-cli")));
        QCOMPARE(run.exitCode, 0);
        QTRY_VERIFY(window.app(QStringLiteral("from-cli")));
        QVERIFY(changed.count() >= 1);
        QCOMPARE(window.apps().first().id, QStringLiteral("from-cli"));

        QVERIFY(window.saveAppItem(AppItem::fromJson(QJsonDocument::fromJson(record("from-window")).object())).ok);
        QStringList ids;
        for (const auto &app : libraryOnDisk())
            ids << app.id;
        QCOMPARE(ids.mid(0, 2), QStringList({"from-window", "from-cli"}));
        QCOMPARE(zelvo({"show", "from-cli"}).exitCode, 0);
        QCOMPARE(zelvo({"show", "from-window"}).exitCode, 0);
    }

    void versionsFromAListingPage_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("addresses"); // of 1.10.0 and 1.9.0; %1 is the server
        QTest::newRow("links of the page") << QStringList{}
                                           << QStringList{"%1/dl/MyApp-1.10.0.dmg", "%1/dl/MyApp-1.9.0.dmg"};
        QTest::newRow("template") << QStringList{"--template", "https://example.com/v{version}/MyApp.dmg"}
                                  << QStringList{"https://example.com/v1.10.0/MyApp.dmg",
                                                 "https://example.com/v1.9.0/MyApp.dmg"};
    }

    void versionsFromAListingPage()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, addresses);
        TestHttpServer server;
        server.routeBody(QStringLiteral("/dl/"),
                         "<html><body><h1>Index of /dl/</h1><hr><pre><a href=\"../\">../</a>\n"
                         "<a href=\"MyApp-1.9.0.dmg\">MyApp-1.9.0.dmg</a>  01-Jan-2026 10:00  1000\n"
                         "<a href=\"MyApp-1.10.0.dmg\">MyApp-1.10.0.dmg</a>  02-Jan-2026 10:00  1000\n"
                         "</pre><hr></body></html>",
                         "text/html");
        const QString root = server.url(QString()).toString();
        const auto run = zelvo(QStringList{"versions", server.url(QStringLiteral("/dl/")).toString(), "--json"} + options);
        QCOMPARE(run.exitCode, 0);
        QList<AppVersion> versions;
        for (const auto &entry : run.json().array())
            versions << AppVersion::fromJson(entry.toObject());
        QCOMPARE(versions.size(), 2);
        QCOMPARE(versions[0].version, QStringLiteral("1.10.0"));
        QCOMPARE(versions[1].version, QStringLiteral("1.9.0"));
        QCOMPARE(versions[0].downloadUrl.value_or(QString()), QString(addresses[0]).replace(QStringLiteral("%1"), root));
        QCOMPARE(versions[1].downloadUrl.value_or(QString()), QString(addresses[1]).replace(QStringLiteral("%1"), root));

        const auto plain = zelvo(QStringList{"versions", server.url(QStringLiteral("/dl/")).toString()} + options);
        QCOMPARE(plain.exitCode, 0);
        QVERIFY(plain.outText().split(u'\n').at(1).startsWith(QStringLiteral("1.10.0 ")));
        QCOMPARE(plain.errText(), QStringLiteral("成功解析出 2 个版本！\n"));
    }

    void versionsFailuresUseTheFormsText_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("message");
        QTest::newRow("404") << QStringLiteral("/missing/") << QStringLiteral("抓取版本失败: 服务器响应异常：HTTP 状态码 404");
        QTest::newRow("not http") << QStringLiteral("ftp://example.com/") << QStringLiteral("抓取版本失败: ");
    }

    void versionsFailuresUseTheFormsText()
    {
        QFETCH(QString, address);
        QFETCH(QString, message);
        TestHttpServer server;
        server.route(QStringLiteral("/missing/"), {404, "nope"});
        const QString url = address.startsWith(u'/') ? server.url(address).toString() : address;
        const auto run = zelvo({"versions", url});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.errText().startsWith(message), qPrintable(run.errText()));
        QVERIFY(run.errText().trimmed().size() > QStringLiteral("抓取版本失败:").size()); // with the reason
    }

    void brewResolveThroughTheApi()
    {
        TestHttpServer server;
        server.routeBody(QStringLiteral("/api/cask/foo-app.json"),
                         R"({"token":"foo-app","name":["Foo App"],"version":"2.1.0","desc":"A foo",
                             "url":"https://example.com/Foo-2.1.0.dmg"})",
                         "application/json");
        m_extraEnvironment.insert(QStringLiteral("ZELVO_BREW_API"), server.url(QString()).toString());
        m_extraEnvironment.insert(QStringLiteral("ZELVO_BREW_PATHS"), home(QStringLiteral("no/brew")));
        const auto run = zelvo({"brew", "resolve", "  Foo-App ", "--json", "--save"});
        QCOMPARE(run.exitCode, 0);
        const auto app = AppItem::fromJson(run.json().object());
        QCOMPARE(app.id, QStringLiteral("foo-app"));
        QCOMPARE(app.name, QStringLiteral("Foo App"));
        QCOMPARE(app.sourceType, AppSourceType::brew);
        QCOMPARE(app.currentVersion, QStringLiteral("2.1.0"));
        QCOMPARE(run.errText(), QStringLiteral("已成功将「Foo App」保存到本地应用库并缓存为 JSON！\n"));
        QCOMPARE(libraryOnDisk().first(), app);
    }

    void brewResolveFailureShowsTheServiceText()
    {
        TestHttpServer server;
        server.route(QStringLiteral("/api/cask/nothing.json"), {404, "{}"});
        m_extraEnvironment.insert(QStringLiteral("ZELVO_BREW_API"), server.url(QString()).toString());
        m_extraEnvironment.insert(QStringLiteral("ZELVO_BREW_PATHS"),
                                  TestFolders::writeScript(home(QStringLiteral("bin")), QStringLiteral("brew"),
                                                           "echo 'Error: Cask nothing unavailable' >&2\nexit 1\n"));
        const auto run = zelvo({"brew", "resolve", "nothing"});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.out.isEmpty());
        // What the window's service says for the same server and brew.
        BrewService service(server.url(QString()).toString(), {home(QStringLiteral("bin/brew"))});
        QString expected;
        try {
            auto future = service.resolveCask(QStringLiteral("nothing"));
            QTRY_VERIFY(future.isFinished());
            future.result();
        } catch (const ZelvoError &error) {
            expected = error.localizedDescription();
        }
        QVERIFY(!expected.isEmpty());
        QCOMPARE(run.errText(), expected + u'\n');
        QVERIFY(!QFile::exists(libraryPath()));
    }

    void brewSearchListsCandidates()
    {
        const QString brew = TestFolders::writeScript(home(QStringLiteral("bin")), QStringLiteral("brew"),
                                                      "printf '==> Casks\\nalfred\\ncode\\nvisual-studio-code\\n'\n");
        m_extraEnvironment.insert(QStringLiteral("ZELVO_BREW_PATHS"), home(QStringLiteral("none")) + u':' + brew);
        const auto run = zelvo({"brew", "search", "code"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.outText(), QStringLiteral("code\nalfred\nvisual-studio-code\n"));

        m_extraEnvironment.insert(QStringLiteral("ZELVO_BREW_PATHS"), home(QStringLiteral("none")));
        const auto none = zelvo({"brew", "search", "code"});
        QCOMPARE(none.exitCode, 1);
        QCOMPARE(none.errText(), QStringLiteral("未找到与「code」相关的 Homebrew Cask 包，请检查拼写。\n"));
    }

    void downloadIntoTheCache()
    {
        TestHttpServer server;
        const QByteArray body = QByteArray(300'000, 'z');
        server.routeBody(QStringLiteral("/pkg/Foo-1.0.zip"), body);
        importDirect(QStringLiteral("foo"), QStringLiteral("1.0"), server.url(QStringLiteral("/pkg/Foo-1.0.zip")));
        const auto run = zelvo({"download", "foo"});
        QCOMPARE(run.exitCode, 0);
        const QString cached = QDir(cacheFolder()).filePath(QStringLiteral("Foo-1.0.zip"));
        QCOMPARE(run.outText(), cached + u'\n');
        QCOMPARE(TestFolders::readFile(cached), body);
        QVERIFY2(run.errText().contains(QStringLiteral("100%  300 KB / 300 KB · ")), qPrintable(run.errText()));
        QVERIFY(!run.errText().contains(u'\r')); // no bar when standard error is not a terminal
        QCOMPARE(cacheEntries(), QStringList{"Foo-1.0.zip"});

        const auto listed = zelvo({"cache", "--json"});
        QCOMPARE(listed.exitCode, 0);
        const auto packages = listed.json().array();
        QCOMPARE(packages.size(), 1);
        QCOMPARE(packages[0][QStringLiteral("filePath")].toString(), cached);
        QCOMPARE(packages[0][QStringLiteral("appId")].toString(), QStringLiteral("foo"));
        QCOMPARE(packages[0][QStringLiteral("version")].toString(), QStringLiteral("1.0"));
        QCOMPARE(packages[0][QStringLiteral("formattedSize")].toString(), QStringLiteral("300 KB"));
        QCOMPARE(packages[0][QStringLiteral("packageType")].toString(), QStringLiteral("zip"));
    }

    void downloadFailuresLeaveNoFile_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("404") << QStringList{"download", "foo"} << "下载失败: 服务器返回错误: HTTP 404\n";
        QTest::newRow("unknown id") << QStringList{"download", "bar"} << "应用库中没有此应用: bar\n";
        QTest::newRow("version without an address of its own")
            << QStringList{"download", "foo", "--version", "0.9"} << "没有此版本的下载地址: foo v0.9\n";
    }

    void downloadFailuresLeaveNoFile()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        TestHttpServer server;
        server.route(QStringLiteral("/gone.zip"), {404, "not here"});
        importDirect(QStringLiteral("foo"), QStringLiteral("1.0"), server.url(QStringLiteral("/gone.zip")));
        const auto run = zelvo(arguments);
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.errText().endsWith(message), qPrintable(run.errText()));
        QCOMPARE(cacheEntries(), QStringList());
    }

    void downloadOfAnotherVersionUsesTheTemplate()
    {
        TestHttpServer server;
        server.routeBody(QStringLiteral("/v0.9/Foo.zip"), "old package");
        importDirect(QStringLiteral("foo"), QStringLiteral("1.0"), server.url(QStringLiteral("/v1.0/Foo.zip")),
                     QStringLiteral(R"(,"versionPatternUrl":"%1")")
                         .arg(server.url(QString()).toString() + QStringLiteral("/v{version}/Foo.zip")));
        const auto run = zelvo({"download", "foo", "--version", "0.9"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errText()));
        QCOMPARE(TestFolders::readFile(run.outText().trimmed()), QByteArray("old package"));
        QCOMPARE(zelvo({"cache", "list", "--json"}).json().array().at(0)[QStringLiteral("version")].toString(),
                 QStringLiteral("0.9"));
    }

    void interruptCancelsTheDownloadCleanly()
    {
        TestHttpServer server;
        TestHttpServer::Reply slow;
        slow.body = QByteArray(2'000'000, 'x');
        slow.chunkSize = 4096;
        slow.chunkIntervalMs = 20;
        server.route(QStringLiteral("/slow.dmg"), slow);
        importDirect(QStringLiteral("slow"), QStringLiteral("1.0"), server.url(QStringLiteral("/slow.dmg")));
        QProcess process;
        start(process, {"download", "slow"});
        // Interrupt once the body is streaming into the cache.
        const auto streaming = [&] {
            const auto entries = cacheEntries();
            return entries.size() == 1 && QFileInfo(QDir(cacheFolder()).filePath(entries.first())).size() > 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(streaming(), 20000);
        ::kill(pid_t(process.processId()), SIGINT);
        const auto run = finish(process);
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.errText().endsWith(QStringLiteral("已取消下载\n")), qPrintable(run.errText()));
        QCOMPARE(cacheEntries(), QStringList());
    }

    void cacheRemoveAndClear()
    {
        TestHttpServer server;
        server.routeBody(QStringLiteral("/a/A-1.0.dmg"), "package a");
        server.routeBody(QStringLiteral("/b/B-1.0.dmg"), "package b");
        importDirect(QStringLiteral("a"), QStringLiteral("1.0"), server.url(QStringLiteral("/a/A-1.0.dmg")));
        importDirect(QStringLiteral("b"), QStringLiteral("1.0"), server.url(QStringLiteral("/b/B-1.0.dmg")));
        QCOMPARE(zelvo({"download", "a"}).exitCode, 0);
        QCOMPARE(zelvo({"download", "b"}).exitCode, 0);
        const QString outside = TestFolders::writeFile(home(), QStringLiteral("A-1.0.dmg"), "keep me");

        // Known entries go; anything else is refused and left alone.
        const auto removed = zelvo({"cache", "rm", "A-1.0.dmg", outside});
        QCOMPARE(removed.exitCode, 1);
        QCOMPARE(removed.errText(), QStringLiteral("不是缓存中的安装包，或无法删除: ") + outside + u'\n');
        QCOMPARE(cacheEntries(), QStringList{"B-1.0.dmg"});
        QCOMPARE(TestFolders::readFile(outside), QByteArray("keep me"));
        QCOMPARE(zelvo({"cache", "rm", QDir(cacheFolder()).filePath(QStringLiteral("B-1.0.dmg"))}).exitCode, 0);
        QCOMPARE(cacheEntries(), QStringList());

        QCOMPARE(zelvo({"download", "a"}).exitCode, 0);
        const auto listed = zelvo({"cache"});
        QVERIFY(listed.outText().contains(QStringLiteral("A-1.0.dmg")));
        QCOMPARE(listed.errText(), QStringLiteral("已缓存 1 个文件 · 共占用 9 bytes\n"));
        QCOMPARE(zelvo({"cache", "clear"}).exitCode, 0);
        QCOMPARE(cacheEntries(), QStringList());
        QCOMPARE(zelvo({"cache"}).errText(), QStringLiteral("暂无本地缓存的安装包\n已缓存 0 个文件 · 共占用 0 KB\n"));
    }

    void installDownloadsThenInstallsAZip()
    {
        TestHttpServer server;
        server.routeBody(QStringLiteral("/Foo-1.0.zip"), fooZip(QStringLiteral("1.0")), "application/zip");
        importDirect(QStringLiteral("foo"), QStringLiteral("1.0"), server.url(QStringLiteral("/Foo-1.0.zip")),
                     QStringLiteral(R"(,"bundleId":"com.example.foo")"));
        const auto run = zelvo({"install", "foo"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errText()));
        QCOMPARE(installedVersion(QStringLiteral("Foo.app")), QStringLiteral("1.0"));
        QVERIFY2(run.outText().startsWith(QStringLiteral("正在解压 ZIP 文件...\n")), qPrintable(run.outText()));
        QVERIFY(run.outText().endsWith(QStringLiteral("安装成功完成！\n")));
        QCOMPARE(cacheEntries(), QStringList{"Foo-1.0.zip"});
        const auto status = zelvo({"show", "foo", "--json"}).json().object()[QStringLiteral("status")].toObject();
        QCOMPARE(status[QStringLiteral("kind")].toString(), QStringLiteral("installed"));

        // The second time the cached package is installed, without a request.
        QDir(QDir(applications()).filePath(QStringLiteral("Foo.app"))).removeRecursively();
        const auto again = zelvo({"install", "foo"});
        QCOMPARE(again.exitCode, 0);
        QVERIFY(again.errText().startsWith(QStringLiteral("使用缓存的安装包: ")));
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(installedVersion(QStringLiteral("Foo.app")), QStringLiteral("1.0"));
    }

    void installAPackageFile_data()
    {
        QTest::addColumn<bool>("usable");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("err");
        QTest::newRow("zip with a bundle") << true << 0 << "";
        QTest::newRow("zip without a bundle") << false << 1 << "安装失败: 安装包内未检测到有效的 .app 应用程序文件\n";
    }

    void installAPackageFile()
    {
        QFETCH(bool, usable);
        QFETCH(int, exitCode);
        QFETCH(QString, err);
        QString zip = home(QStringLiteral("Foo-2.0.zip"));
        if (usable) {
            fooZip(QStringLiteral("2.0"));
        } else {
            TestFolders::writeFile(home(QStringLiteral("plain")), QStringLiteral("readme.txt"), "no app here");
            QCOMPARE(QProcess::execute(QStringLiteral("bsdtar"), {"-a", "-cf", zip, "-C", home(QStringLiteral("plain")),
                                                                  "readme.txt"}),
                     0);
        }
        const auto run = zelvo({"install", zip});
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.errText(), err);
        QCOMPARE(installedVersion(QStringLiteral("Foo.app")), usable ? QStringLiteral("2.0") : QString());
        QVERIFY(!QFile::exists(libraryPath())); // a file install does not need the library
    }

    void installOfAMissingFileOrId_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("err");
        QTest::newRow("path") << "/nowhere/Foo.zip" << "安装失败: 未找到安装包文件：/nowhere/Foo.zip\n";
        QTest::newRow("id") << "nothing" << "应用库中没有此应用: nothing\n";
    }

    void installOfAMissingFileOrId()
    {
        QFETCH(QString, target);
        QFETCH(QString, err);
        const auto run = zelvo({"install", target});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.errText(), err);
    }

    void installOfAHomebrewRecord_data()
    {
        QTest::addColumn<QByteArray>("brewBody");
        QTest::addColumn<QString>("installedFrom"); // "brew" or the direct road's "zip"
        QTest::newRow("brew succeeds") << QByteArray("echo installing; exit 0\n") << "brew";
        QTest::newRow("brew fails, the package is downloaded") << QByteArray("echo nope >&2; exit 1\n") << "zip";
    }

    void installOfAHomebrewRecord()
    {
        QFETCH(QByteArray, brewBody);
        QFETCH(QString, installedFrom);
        TestHttpServer server;
        server.routeBody(QStringLiteral("/Foo-1.0.zip"), fooZip(QStringLiteral("1.0")), "application/zip");
        const QString brew = TestFolders::writeScript(home(QStringLiteral("bin")), QStringLiteral("brew"),
                                                      "printf '%s ' \"$@\" >> \"$(dirname \"$0\")/args.log\"\n" + brewBody);
        m_extraEnvironment.insert(QStringLiteral("ZELVO_BREW_PATHS"), brew);
        importDirect(QStringLiteral("foo"), QStringLiteral("1.0"), server.url(QStringLiteral("/Foo-1.0.zip")),
                     QStringLiteral(R"(,"brewName":"foo-cask")"));
        TestFolders::writeFile(libraryFolder(), QStringLiteral("apps.json"),
                               TestFolders::readFile(libraryPath()).replace("\"direct\"", "\"brew\""));

        const auto run = zelvo({"install", "foo"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errText()));
        QCOMPARE(TestFolders::readFile(home(QStringLiteral("bin/args.log"))), QByteArray("install --cask foo-cask "));
        if (installedFrom == QLatin1String("brew")) {
            QCOMPARE(run.outText(), QStringLiteral("installing\n"));
            QVERIFY(server.requests().isEmpty());
            QCOMPARE(installedVersion(QStringLiteral("Foo.app")), QString());
        } else {
            QVERIFY(run.errText().startsWith(QStringLiteral("Homebrew 安装失败，改用直接下载: ")));
            QCOMPARE(server.requests().size(), 1);
            QCOMPARE(installedVersion(QStringLiteral("Foo.app")), QStringLiteral("1.0"));
        }
    }

    void unusableLibraryIsReportedOnStandardError()
    {
        TestFolders::writeFile(libraryFolder(), QStringLiteral("apps.json"), "[{");
        const auto run = zelvo({"list", "--json"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.json().array().size(), 6); // standard output stays clean JSON
        QVERIFY(run.errText().startsWith(QStringLiteral("应用库文件无法解析，已备份为: ")));
    }
};

QTEST_GUILESS_MAIN(TestZelvoCli)
#include "tst_ZelvoCli.moc"
