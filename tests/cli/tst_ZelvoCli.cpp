#include <QtTest>

#include <csignal>

#include "models/AppItem.h"
#include "platform/ExtendedAttributes.h"
#include "services/DownloadManager.h"
#include "services/InstalledDetector.h"
#include "support/FileSizeLimit.h"
#include "support/RealServer.h"
#include "support/TestFolders.h"
#include "support/TestHttpServer.h"
#include "support/TestRecords.h"

using namespace Qt::StringLiterals;
using Args = QStringList;

namespace {

struct Run
{
    int exitCode = -1;
    QString out, err;

    QJsonDocument json() const { return QJsonDocument::fromJson(out.toUtf8()); }
};

using TestRecords::ids;
using TestRecords::json;

QList<AppItem> listed(const QJsonDocument &answer)
{
    QList<AppItem> apps;
    for (const auto &entry : answer.array())
        apps << AppItem::fromJson(entry["app"_L1].toObject());
    return apps;
}

} // namespace

// Every test gets a fresh home: the tool finds its library, cache and
// installed applications through the environment.
class TestZelvoCli final : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    QHash<QString, QString> m_extraEnvironment;

    QString home(const QString &relative = QString()) const { return m_home->filePath(relative); }
    QString libraryFolder() const { return home("library"); }
    QString libraryPath() const { return home("library/apps.json"); }
    QString applications() const { return home("Applications"); }
    QString cacheFolder() const { return home("cache"); }

    // Waits with the event loop turning, so the test's own HTTP server answers.
    Run zelvo(const QStringList &arguments, const QByteArray &input = {},
              const std::function<void(QProcess &)> &meanwhile = {})
    {
        QHash<QString, QString> variables{
            {"HOME", home()}, {"ZELVO_LIBRARY_DIR", libraryFolder()}, {"ZELVO_CACHE_DIR", cacheFolder()},
            {"ZELVO_SETTINGS_FILE", home("settings.ini")}, {"ZELVO_APPLICATION_FOLDERS", applications()},
            {"ZELVO_INSTALL_TARGET", applications()}, {"LANG", "C.UTF-8"}};
        variables.insert(m_extraEnvironment);
        auto environment = QProcessEnvironment::systemEnvironment();
        for (auto it = variables.cbegin(); it != variables.cend(); ++it)
            environment.insert(it.key(), it.value());
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(ZELVO_CLI_PATH, arguments);
        if (!process.waitForStarted())
            qFatal("cannot start zelvo");
        process.write(input);
        process.closeWriteChannel();
        if (meanwhile)
            meanwhile(process);
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 90'000))
            process.kill();
        process.waitForFinished();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
    }

    // Everything in the cache folder, hidden partial files included.
    QStringList cacheEntries() const
    {
        return TestFolders::entries(cacheFolder());
    }

    void importDirect(const QString &id, const QString &version, const QUrl &url, const QString &extra = QString())
    {
        const QString address = R"(,"downloadUrl":"%1")"_L1.arg(url.toString());
        QCOMPARE(zelvo({"import", "-"}, json(id, version, address + extra)).exitCode, 0);
    }

    // A real ZIP holding Foo.app, made with the archive tool the installer uses.
    QByteArray fooZip(const QString &version)
    {
        const QString staging = home("staging-" + version);
        TestFolders::makeBundle(staging, "Foo", "com.example.foo", version);
        const QString zip = home("Foo-%1.zip"_L1.arg(version));
        if (QProcess::execute("bsdtar", {"-a", "-cf", zip, "-C", staging, "Foo.app"}) != 0)
            qFatal("bsdtar failed");
        return TestFolders::readFile(zip);
    }

    QString installedVersion() const
    {
        const auto info = InstalledDetector::readAppInfo(QDir(applications()).filePath("Foo.app"));
        return info ? info->version.value_or(QString()) : QString();
    }

    QString writeBrew(const QByteArray &body) { return TestFolders::writeScript(home("bin"), "brew", body); }

    QList<AppItem> libraryOnDisk() const { return AppItem::listFromJson(TestFolders::readFile(libraryPath())); }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        QDir().mkpath(applications());
        m_extraEnvironment.clear();
    }

    // Runs that end at once: help, usage errors (exit 2, pointing to --help) and refusals (exit 1), none of
    // which leaves a file in the cache. %1 is a server that answers 404; "foo" is in the library when named.
    void answersAtOnce_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("text"); // on standard output (exit 0) or error, the other staying empty
        QTest::newRow("help") << Args{"--help"} << 0 << "用法: zelvo [选项] <命令>";
        QTest::newRow("help wins over missing argument") << Args{"show", "--help"} << 0 << "用法: zelvo show";
        QTest::newRow("cache rm help") << Args{"cache", "rm", "--help"} << 0 << "用法: zelvo cache rm [选项] PATH...";
        QTest::newRow("nothing") << Args{} << 2 << "zelvo: 缺少子命令";
        QTest::newRow("unknown option") << Args{"list", "--bogus"} << 2 << "zelvo list:";
        QTest::newRow("missing id") << Args{"show"} << 2 << "zelvo show: 缺少参数";
        QTest::newRow("two ids") << Args{"show", "a", "b"} << 2 << "zelvo show: 多余的参数: b";
        QTest::newRow("brew unknown command") << Args{"brew", "install"} << 2 << "zelvo brew: 未知的子命令: install";
        QTest::newRow("show unknown id") << Args{"show", "nope"} << 1 << "应用库中没有此应用: nope\n";
        QTest::newRow("import missing file") << Args{"import", "/nowhere/in.json"} << 1 << "无法读取 /nowhere/in.json";
        QTest::newRow("import endless device") << Args{"import", "/dev/zero"} << 1
                                               << "无法读取 /dev/zero: 内容超过 128 MB，不是应用记录\n";
        QTest::newRow("install missing file") << Args{"install", "/no/Foo.zip"} << 1 << "安装失败: 未找到安装包文件：/no/Foo.zip\n";
        QTest::newRow("install unknown id") << Args{"install", "nothing"} << 1 << "应用库中没有此应用: nothing\n";
        QTest::newRow("download 404") << Args{"download", "foo"} << 1 << "下载失败: 服务器返回错误: HTTP 404\n";
        QTest::newRow("download unknown id") << Args{"download", "bar"} << 1 << "应用库中没有此应用: bar\n";
        QTest::newRow("download version without address")
            << Args{"download", "foo", "--version", "0.9"} << 1 << "没有此版本的下载地址: foo v0.9\n";
        QTest::newRow("versions 404") << Args{"versions", "%1/missing/"} << 1 << "抓取版本失败: 服务器响应异常：HTTP 状态码 404";
    }

    void answersAtOnce()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, text);
        TestHttpServer server;
        m_extraEnvironment.insert("ZELVO_BREW_PATHS", home("none"));
        if (arguments.contains("foo"))
            importDirect("foo", "1.0", server.url("/gone.zip"));
        const auto run = zelvo(arguments.replaceInStrings("%1", server.url(QString()).toString()));
        QCOMPARE(run.exitCode, exitCode);
        const QString shown = exitCode == 0 ? run.out : run.err;
        // A refusal may follow progress lines.
        QVERIFY2(exitCode == 1 ? shown.contains(text) : shown.startsWith(text), qPrintable(shown));
        QCOMPARE(exitCode == 0 ? run.err : run.out, QString());
        QCOMPARE(cacheEntries(), QStringList());
        if (exitCode == 2)
            QVERIFY(shown.contains("--help"));
        if (exitCode == 0)
            QVERIFY(!QFile::exists(libraryPath())); // help touches nothing
    }

    void listSearchMatchesTheCatalogFilter_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("everything")
            << Args{} << Args{"google-chrome", "visual-studio-code", "iterm2", "docker", "wechat", "obsidian"};
        QTest::newRow("name, any case") << Args{"--search", "CODE"} << Args{"visual-studio-code"};
        QTest::newRow("category and search") << Args{"--category", "开发工具", "--search", "docker"} << Args{"docker"};
        QTest::newRow("installed in a category") << Args{"--installed", "--category", "效率办公"} << Args{"obsidian"};
    }

    void listSearchMatchesTheCatalogFilter()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, expected);
        // WeChat older than its record, Obsidian as its record (with an Info.plist in binary form).
        TestFolders::makeBundle(applications(), "WeChat", "com.tencent.xinWeChat", "3.8.0");
        TestFolders::makeBundle(applications(), "Obsidian", "md.obsidian", "1.6.7", true);
        QCOMPARE(ids(listed(zelvo(Args{"list", "--json"} + options).json())), expected);

        // The plain listing: a header, then the same rows.
        const auto plain = zelvo(Args{"list"} + options);
        QCOMPARE(plain.exitCode, 0);
        const auto lines = plain.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), expected.size() + 1);
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY(lines[i + 1].startsWith(expected[i] + u' '));
        if (!options.isEmpty())
            return;

        // Statuses: a scan lists each bundle once, though the map holds it under two keys, and leaves the library.
        const auto scan = zelvo({"scan", "--json"}).json();
        QCOMPARE(scan.array().size(), 2);
        QCOMPARE((Args{scan[0]["name"].toString(), scan[1]["bundleId"].toString(), scan[1]["version"].toString()}),
                 (Args{"Obsidian", "com.tencent.xinWeChat", "3.8.0"}));
        const auto status = [this](const QString &id) { return zelvo({"show", id, "--json"}).json()["status"]; };
        const auto wechat = status("wechat");
        QCOMPARE((Args{wechat["kind"].toString(), wechat["installedVersion"].toString(),
                       wechat["latestVersion"].toString(), wechat["path"].toString()}),
                 (Args{"updateAvailable", "3.8.0", "3.8.8", applications() + "/WeChat.app"}));
        QCOMPARE(status("obsidian")["kind"].toString(), u"installed"_s);
        const auto shown = zelvo({"show", "wechat"}).out;
        for (const auto *text : {"微信", "可更新 v3.8.0 → v3.8.8", "最新版本:", "本地已装:", "关于此应用"})
            QVERIFY2(shown.contains(QString::fromUtf8(text)), text);
    }

    void jsonRoundTripsRecords()
    {
        // A record using every optional field, imported through standard input.
        const QByteArray full = json("full", "1.0", QStringLiteral(R"(,"chineseName":"全","bundleId":"b.full","tags":["甲",
            "乙"],"fileSize":9007199254740993,"sha256":"ab","brewName":"","versionPatternUrl":"%1/v{version}.dmg",
            "versions":[{"version":"2.0,77","downloadUrl":"%1/2.dmg","fileSize":5,"changelog":"改进"}])")
                                                   .arg("https://example.com"));
        QCOMPARE(zelvo({"import", "-"}, full).exitCode, 0);
        const auto expected = AppItem::fromJson(QJsonDocument::fromJson(full).object());
        QCOMPARE(AppItem::fromJson(zelvo({"show", "full", "--json"}).json()["app"].toObject()), expected);
        const auto fromList = listed(zelvo({"list", "--json"}).json());
        QCOMPARE(fromList, libraryOnDisk());
        QCOMPARE(fromList.first(), expected);

        // export is the library file; imported again over itself it changes nothing, and into another, empty
        // library it gives the same records (new ones go first, so in reverse order).
        const auto exported = zelvo({"export"});
        QCOMPARE(exported.exitCode, 0);
        const QByteArray library = exported.out.toUtf8();
        QCOMPARE(library, TestFolders::readFile(libraryPath()));
        QCOMPARE(zelvo({"import", "-"}, library).exitCode, 0);
        QCOMPARE(TestFolders::readFile(libraryPath()), library);
        const auto firstHome = std::exchange(m_home, std::make_unique<QTemporaryDir>());
        TestFolders::writeFile(libraryFolder(), "apps.json", "[]");
        QCOMPARE(zelvo({"import", "-"}, library).exitCode, 0);
        auto reimported = libraryOnDisk();
        std::reverse(reimported.begin(), reimported.end());
        QCOMPARE(reimported, AppItem::listFromJson(library));
    }

    void importReportsLikeTheWindow_data()
    {
        QTest::addColumn<bool>("fromFile");
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("diskFull");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message"); // the whole of standard output (exit 0) or error, the other empty
        const QByteArray three = "[" + json("a") + "," + json("b") + "," + json("c") + "]";
        const QString badFormat = "JSON 格式既不是 AppItem 对象，也不是 AppItem 数组\n";
        QTest::newRow("pasted array") << false << three << false << 0 << "成功导入 / 更新了 3 个应用！已同步保存到本地应用库。\n";
        QTest::newRow("file array") << true << three << false << 0 << "从文件成功导入 / 更新了 3 个应用！\n";
        QTest::newRow("file object") << true << json("a") << false << 0 << "从文件成功导入 / 更新了 1 个应用！\n";
        QTest::newRow("pasted garbage") << false << QByteArray("hello") << false << 1 << "导入失败: " + badFormat;
        QTest::newRow("file with a bad record")
            << true << QByteArray("[" + json("ok") + ",{\"id\":1}]") << false << 1 << "文件导入失败: " + badFormat;
        QTest::newRow("disk full") << true << three << true << 1 << "保存应用数据失败: 无法写入 %1：文件超出系统允许的大小\n";
    }

    void importReportsLikeTheWindow()
    {
        QFETCH(bool, fromFile);
        QFETCH(QByteArray, json);
        QFETCH(bool, diskFull);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const QString input = TestFolders::writeFile(home(), "in.json", json);
        // A library first, then room for the lock file and not for the library.
        std::optional<FileSizeLimit> full;
        if (diskFull) {
            QCOMPARE(zelvo({"list"}).exitCode, 0);
            full.emplace(1024);
        }
        const auto run = fromFile ? zelvo({"import", input}) : zelvo({"import", "-"}, json);
        full.reset();
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.out + run.err, message.replace("%1", libraryPath()));
        QCOMPARE(exitCode == 0 ? run.err : run.out, QString());
        QCOMPARE(libraryOnDisk().size(), 6 + (exitCode == 0 ? int(json.count("\"id\"")) : 0));
    }

    // From the links of a listing page, or with their versions put into a template.
    void versionsFromAListingPage()
    {
        TestHttpServer server;
        server.routeBody("/dl/",
                         "<html><body><h1>Index of /dl/</h1><hr><pre><a href=\"../\">../</a>\n"
                         "<a href=\"MyApp-1.9.0.dmg\">MyApp-1.9.0.dmg</a>  01-Jan-2026 10:00  1000\n"
                         "<a href=\"MyApp-1.10.0.dmg\">MyApp-1.10.0.dmg</a>  02-Jan-2026 10:00  1000\n"
                         "</pre><hr></body></html>",
                         "text/html");
        const QString page = server.url("/dl/").toString();
        const auto versions = [&](const QStringList &options) {
            QStringList found;
            for (const auto &entry : zelvo(Args{"versions", page, "--json"} + options).json().array()) {
                const AppVersion version = AppVersion::fromJson(entry.toObject());
                found << version.version << version.downloadUrl.value_or(QString());
            }
            return found;
        };
        QCOMPARE(versions({}), (Args{"1.10.0", page + "MyApp-1.10.0.dmg", "1.9.0", page + "MyApp-1.9.0.dmg"}));
        QCOMPARE(versions({"--template", "https://x.org/v{version}.dmg"}).at(1), "https://x.org/v1.10.0.dmg");

        const auto plain = zelvo({"versions", page});
        QCOMPARE(plain.exitCode, 0);
        QVERIFY(plain.out.split(u'\n').at(1).startsWith("1.10.0 "));
        QCOMPARE(plain.err, u"成功解析出 2 个版本！\n"_s);
    }

    // Through the cask API; what the window's service says when neither the API nor brew knows the name; search.
    void brewLikeTheWindow()
    {
        TestHttpServer server;
        server.routeBody("/api/cask/foo-app.json",
                         R"({"token":"foo-app","name":["Foo App"],"version":"2.1.0","desc":"A foo",
                             "url":"https://example.com/Foo-2.1.0.dmg"})",
                         "application/json");
        m_extraEnvironment.insert("ZELVO_BREW_API", server.url(QString()).toString());
        m_extraEnvironment.insert("ZELVO_BREW_PATHS", home("none") + u':' + writeBrew(R"(case "$1" in
            search) printf '==> Casks\nalfred\ncode\nvisual-studio-code\n' ;;
            *) echo 'Error: Cask nothing unavailable' >&2; exit 1 ;;
            esac)"));
        const auto run = zelvo({"brew", "resolve", "  Foo-App ", "--json", "--save"});
        QCOMPARE(run.exitCode, 0);
        const auto app = AppItem::fromJson(run.json().object());
        QCOMPARE((Args{app.id, app.name, app.currentVersion}), (Args{"foo-app", "Foo App", "2.1.0"}));
        QCOMPARE(app.sourceType, AppSourceType::brew);
        QCOMPARE(run.err, u"已成功将「Foo App」保存到本地应用库并缓存为 JSON！\n"_s);
        QCOMPARE(libraryOnDisk().first(), app);

        const auto unknown = zelvo({"brew", "resolve", "nothing"});
        QCOMPARE(unknown.exitCode, 1);
        QVERIFY(unknown.out.isEmpty());
        QCOMPARE(unknown.err, u"未找到 Homebrew Cask 包：nothing\n"_s);
        QCOMPARE(libraryOnDisk().size(), 7);

        const auto search = zelvo({"brew", "search", "code"}); // brew found on the path; the exact name first
        QCOMPARE(search.exitCode, 0);
        QCOMPARE(search.out, u"code\nalfred\nvisual-studio-code\n"_s);

        // A name that would set the terminal's title and turn the line around is printed harmless.
        server.routeBody("/api/cask/evil.json", "{\"name\":[\"\\u001b]0;owned\\u0007Evil\\u202e\"]}", "application/json");
        const auto evil = zelvo({"brew", "resolve", "evil"});
        QVERIFY2(evil.out.contains(u"\ufffd]0;owned\ufffdEvil\ufffd"_s), qPrintable(evil.out));
        QVERIFY(!evil.out.contains(QChar(0x1b)) && !evil.out.contains(QChar(0x202e)));

        // Started by sudo to ask for a password where no terminal is at hand: fails at once and leaves word why.
        QTemporaryFile status;
        QVERIFY(status.open());
        m_extraEnvironment.insert("HOMEBREW_ZELVO_ASKPASS_STATUS", status.fileName());
        const auto askpass = zelvo({"Password:"});
        QCOMPARE(askpass.exitCode, 1);
        QVERIFY(askpass.out.isEmpty());
        QCOMPARE(status.readAll(), "no-terminal");
    }

    // Sources and the searches over them, with no brew on the machine.
    void sourcesAndSearch()
    {
        TestHttpServer server;
        server.routeBody("/team.json", R"({"name":"团队","apps":[)" + json("team-tool", "1.0") + R"(,7]})",
                         "application/json");
        server.routeBody("/api/cask.json", R"([{"token":"firefox","name":["Firefox"],"desc":"Web browser"}])",
                         "application/json");
        m_extraEnvironment.insert("ZELVO_BREW_API", server.url(QString()).toString());
        m_extraEnvironment.insert("ZELVO_BREW_PATHS", home("no-brew"));

        const auto nobody = zelvo({"brew", "search", "fire"});
        QCOMPARE(nobody.exitCode, 1);
        QVERIFY2(nobody.err.startsWith(u"无法搜索：未检测到 brew"_s), qPrintable(nobody.err));

        QCOMPARE(zelvo({"source", "refresh"}).exitCode, 0);
        const auto added = zelvo({"source", "add", server.url("/team.json").toString()});
        QCOMPARE(added.exitCode, 0);
        QCOMPARE(added.err, u"已订阅「团队」：1 个应用，跳过 1 条无法识别的记录\n"_s);
        const auto listed = zelvo({"source", "list", "--json"});
        QCOMPARE(listed.json().array().size(), 2);
        QCOMPARE(listed.json().array().at(0)["recordCount"_L1].toInt(), 1);

        QCOMPARE(zelvo({"brew", "search", "fire"}).out, u"firefox\n"_s);
        const auto found = zelvo({"search", "team-tool", "--json"});
        QCOMPARE(found.json().array().size(), 1);
        QCOMPARE(found.json().array().at(0)["source"_L1].toString(), u"团队"_s);
        QCOMPARE(zelvo({"source", "remove", added.out.trimmed()}).exitCode, 0);
        QCOMPARE(zelvo({"search", "team-tool"}).exitCode, 1);
    }

    // The record's own package, and another version's through its address template.
    void downloadIntoTheCache()
    {
        TestHttpServer server;
        const QByteArray body = "PK\x03\x04" + QByteArray(299'996, 'z'); // a ZIP by its first bytes
        server.routeBody("/v1.0/Foo-1.0.zip", body);
        server.routeBody("/v0.9/Foo-0.9.zip", "PK\x03\x04old package");
        const QString pattern = server.url(QString()).toString() + "/v{version}/Foo-{version}.zip";
        importDirect("foo", "1.0", server.url("/v1.0/Foo-1.0.zip"), R"(,"versionPatternUrl":"%1")"_L1.arg(pattern));
        const auto run = zelvo({"download", "foo"});
        QCOMPARE(run.exitCode, 0);
        const QString cached = QDir(cacheFolder()).filePath("Foo-1.0.zip");
        QCOMPARE(run.out, cached + u'\n');
        QCOMPARE(TestFolders::readFile(cached), body);
        QVERIFY2(run.err.contains("100%  300 KB / 300 KB · "), qPrintable(run.err));
        QVERIFY(!run.err.contains(u'\r')); // no bar when standard error is not a terminal
        QCOMPARE(cacheEntries(), Args{"Foo-1.0.zip"});
        const auto package = zelvo({"cache", "--json"}).json()[0];
        QStringList fields;
        for (const char *key : {"filePath", "appId", "version", "formattedSize", "packageType"})
            fields << package[key].toString();
        QCOMPARE(fields, (Args{cached, "foo", "1.0", "300 KB", "zip"}));

        const auto older = zelvo({"download", "foo", "--version", "0.9"});
        QVERIFY2(older.exitCode == 0, qPrintable(older.err));
        QCOMPARE(TestFolders::readFile(older.out.trimmed()), QByteArray("PK\x03\x04old package"));
        QCOMPARE(zelvo({"cache", "list", "--json"}).json()[0]["version"].toString(), u"0.9"_s); // the newest first
    }

    // What a killed run left is continued where the server names its file, unless told to start over.
    void downloadResumesUnlessToldNot_data()
    {
        QTest::addColumn<Args>("extra");
        QTest::addColumn<bool>("resumed");
        QTest::newRow("continues") << Args{} << true;
        QTest::newRow("--no-resume") << Args{"--no-resume"} << false;
    }

    void downloadResumesUnlessToldNot()
    {
        QFETCH(Args, extra);
        QFETCH(bool, resumed);
        const QByteArray body = "PK\x03\x04" + QByteArray(299'996, 'r');
        TestFolders::writeFile(home("www"), "Foo.zip", body);
        RealServer nginx;
        const QString failure = nginx.startNginx(home("nginx"), home("www"));
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        importDirect("foo", "1.0", QUrl(nginx.url("/Foo.zip")));
        // nginx's ETag: the file's modification time and size in hex.
        const QFileInfo served(home("www/Foo.zip"));
        const QByteArray etag =
            QString("\"%1-%2\"").arg(served.lastModified().toSecsSinceEpoch(), 0, 16).arg(served.size(), 0, 16).toLatin1();
        const QString partial = TestFolders::writeFile(cacheFolder(), DownloadManager::partialFileName("foo-1.0"),
                                                       body.left(100'000));
        QVERIFY(ExtendedAttributes::write(partial, "url", QUrl(nginx.url("/Foo.zip")).toEncoded()) &&
                ExtendedAttributes::write(partial, "validator", etag) &&
                ExtendedAttributes::write(partial, "length", QByteArray::number(body.size())));

        const auto run = zelvo(Args{"download", "foo"} + extra);
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QCOMPARE(TestFolders::readFile(run.out.trimmed()), body);
        QCOMPARE(run.err.contains("从 100 KB 处继续下载\n"), resumed);
        QCOMPARE(TestFolders::readFile(home("nginx/logs/access.log")).contains("\" 206 "), resumed);
    }

    void interruptCancelsTheDownloadCleanly()
    {
        TestHttpServer server;
        server.route("/slow.dmg", {.body = QByteArray(2'000'000, 'x'), .chunkSize = 4096, .chunkIntervalMs = 20});
        importDirect("slow", "1.0", server.url("/slow.dmg"));
        // Interrupted once the body is streaming into the cache.
        const auto run = zelvo({"download", "slow"}, {}, [&](QProcess &process) {
            QTRY_VERIFY_WITH_TIMEOUT(cacheEntries().size() == 1 &&
                                         QFileInfo(QDir(cacheFolder()).filePath(cacheEntries().first())).size() > 0,
                                     20000);
            ::kill(pid_t(process.processId()), SIGINT);
        });
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.endsWith("已取消下载\n"), qPrintable(run.err));
        QCOMPARE(cacheEntries(), QStringList());
    }

    void cacheRemoveAndClear()
    {
        TestHttpServer server;
        for (const QString name : {"a", "b"}) {
            const QString path = "/%1/%2-1.0.dmg"_L1.arg(name, name.toUpper());
            server.routeBody(path, "koly" + QByteArray(508, name.at(0).toLatin1())); // a disk image's trailer
            importDirect(name, "1.0", server.url(path));
            QCOMPARE(zelvo({"download", name}).exitCode, 0);
        }
        const QString outside = TestFolders::writeFile(home(), "A-1.0.dmg", "keep me");

        // Known entries go; anything else is refused and left alone.
        const auto removed = zelvo({"cache", "rm", "A-1.0.dmg", outside});
        QCOMPARE(removed.exitCode, 1);
        QCOMPARE(removed.err, "不是缓存中的安装包，或无法删除: " + outside + u'\n');
        QCOMPARE(cacheEntries(), Args{"B-1.0.dmg"});
        QCOMPARE(TestFolders::readFile(outside), QByteArray("keep me"));
        QCOMPARE(zelvo({"cache"}).err, u"已缓存 1 个文件 · 共占用 512 bytes\n"_s);
        QCOMPARE(zelvo({"cache", "clear"}).exitCode, 0);
        QCOMPARE(cacheEntries(), QStringList());
        QCOMPARE(zelvo({"cache"}).err, u"暂无本地缓存的安装包\n已缓存 0 个文件 · 共占用 0 KB\n"_s);
    }

    // A direct record is downloaded, then unpacked; a Homebrew record goes to brew, or the direct way if that fails.
    void installARecord_data()
    {
        QTest::addColumn<QByteArray>("brew"); // what the fake brew does after logging its arguments; none: direct
        QTest::addColumn<QString>("installed"); // the version of Foo.app afterwards (the fake brew installs none)
        QTest::newRow("direct") << QByteArray() << "1.0";
        QTest::newRow("brew succeeds") << QByteArray("echo installing; exit 0\n") << "";
        QTest::newRow("brew fails, the package is downloaded") << QByteArray("echo nope >&2; exit 1\n") << "1.0";
    }

    void installARecord()
    {
        QFETCH(QByteArray, brew);
        QFETCH(QString, installed);
        TestHttpServer server;
        server.routeBody("/Foo-1.0.zip", fooZip("1.0"), "application/zip");
        importDirect("foo", "1.0", server.url("/Foo-1.0.zip"),
                     brew.isEmpty() ? R"(,"bundleId":"com.example.foo")" : R"(,"brewName":"foo-cask")");
        if (!brew.isEmpty()) {
            m_extraEnvironment.insert("ZELVO_BREW_PATHS",
                                      writeBrew("printf '%s ' \"$@\" >> \"$(dirname \"$0\")/args.log\"\n" + brew));
            TestFolders::writeFile(libraryFolder(), "apps.json",
                                   TestFolders::readFile(libraryPath()).replace("\"direct\"", "\"brew\""));
        }
        const auto run = zelvo({"install", "foo"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QCOMPARE(installedVersion(), installed);
        QCOMPARE(server.requests().size(), installed.isEmpty() ? 0 : 1);
        if (!brew.isEmpty()) {
            QCOMPARE(TestFolders::readFile(home("bin/args.log")), QByteArray("install --cask foo-cask "));
            QVERIFY(installed.isEmpty() ? run.out == u"installing\n"_s
                                        : run.err.startsWith("Homebrew 安装失败，改用直接下载: "));
            return;
        }
        QVERIFY2(run.out.startsWith("正在解压 ZIP 文件...\n") && run.out.endsWith("安装成功完成！\n"), qPrintable(run.out));
        QCOMPARE(cacheEntries(), Args{"Foo-1.0.zip"});
        QCOMPARE(zelvo({"show", "foo", "--json"}).json()["status"]["kind"].toString(), u"installed"_s);

        // The second time the cached package is installed, without a request.
        QDir(QDir(applications()).filePath("Foo.app")).removeRecursively();
        const auto again = zelvo({"install", "foo"});
        QCOMPARE(again.exitCode, 0);
        QVERIFY(again.err.startsWith("使用缓存的安装包: "));
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(installedVersion(), u"1.0"_s);
    }

    // outdated lists what update fixes; a failed update keeps the old app and exits 1; uninstall trashes it.
    void updateAndUninstall()
    {
        TestHttpServer server;
        server.routeBody("/Foo-2.0.zip", fooZip("2.0"), "application/zip");
        TestFolders::makeBundle(applications(), "Foo", "com.example.foo", "1.0");
        TestFolders::makeBundle(applications(), "Bar", "com.example.bar", "1.0");
        importDirect("foo", "2.0", server.url("/Foo-2.0.zip"), R"(,"bundleId":"com.example.foo")");
        importDirect("bar", "2.0", server.url("/missing.zip"), R"(,"bundleId":"com.example.bar")");
        const auto listing = zelvo({"outdated", "--json"}).json();
        QVERIFY(listing.array().size() == 2 && listing[0]["installedVersion"] == "1.0" && listing[0]["counted"] == true);

        const auto all = zelvo({"update", "--all"});
        QCOMPARE(all.exitCode, 1);
        QVERIFY2(all.err.contains("更新失败 Nbar: 下载失败") && all.err.endsWith("1 个成功，1 个失败\n"), qPrintable(all.err));
        QCOMPARE(installedVersion(), u"2.0"_s);
        QVERIFY(QFileInfo::exists(applications() + "/Bar.app/Contents/Info.plist"));
        QCOMPARE(zelvo({"update", "foo"}).exitCode, 1); // nothing left to update

        const QString leftover = TestFolders::writeFile(home("Library"), "Foo/state", "s");
        m_extraEnvironment.insert("ZELVO_BREW_PATHS", home("bin/brew"));
        TestFolders::writeFile(home("Caskroom"), "foo/.metadata/2.0/1/Casks/foo.json",
                               R"({"artifacts":[{"zap":[{"trash":["~/Library/Foo"]}]}]})");
        TestFolders::writeFile(libraryFolder(), "apps.json",
                               TestFolders::readFile(libraryPath()).replace(R"("id": "foo")", R"("id": "foo", "brewName": "foo")"));
        const auto removed = zelvo({"uninstall", "foo", "--zap"});
        QVERIFY2(removed.exitCode == 0, qPrintable(removed.err));
        QVERIFY(!QFileInfo::exists(applications() + "/Foo.app") && !QFileInfo::exists(leftover));
        QCOMPARE(zelvo({"uninstall", "foo"}).exitCode, 1); // no longer installed
    }

    // A package file needs no library; one without a bundle is refused and installs nothing.
    void installAPackageFile()
    {
        const QString plain = home("Plain-2.0.zip");
        TestFolders::writeFile(home("plain"), "readme.txt", "no app here");
        QCOMPARE(QProcess::execute("bsdtar", {"-a", "-cf", plain, "-C", home("plain"), "readme.txt"}), 0);
        const auto refused = zelvo({"install", plain});
        QCOMPARE(refused.exitCode, 1);
        QCOMPARE(refused.err, u"安装失败: 安装包内未检测到有效的 .app 应用程序文件\n"_s);
        QCOMPARE(installedVersion(), QString());

        fooZip("2.0");
        const auto run = zelvo({"install", home("Foo-2.0.zip")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QString());
        QCOMPARE(installedVersion(), u"2.0"_s);
        QVERIFY(!QFile::exists(libraryPath()));
    }

    void unusableLibraryIsReportedOnStandardError()
    {
        TestFolders::writeFile(libraryFolder(), "apps.json", "[{");
        const auto run = zelvo({"list", "--json"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.json().array().size(), 6); // standard output stays clean JSON
        QVERIFY(run.err.startsWith("应用库文件无法解析，已备份为: "));
    }
};

QTEST_GUILESS_MAIN(TestZelvoCli)
#include "tst_ZelvoCli.moc"
