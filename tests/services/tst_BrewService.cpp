#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFutureWatcher>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <memory>

#include "services/BrewService.h"
#include "support/TestFolders.h"
#include "support/TestHttpServer.h"

using namespace std::chrono_literals;

namespace {

const QString token = QStringLiteral("visual-studio-code");
const QByteArray apiPath = "/api/cask/visual-studio-code.json";

// Spins the event loop until the future finishes; QProcess and the network
// need it, so waitForFinished() on this thread would never return.
template <typename T> bool settle(const QFuture<T> &future)
{
    if (future.isFinished())
        return true;
    QFutureWatcher<T> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcher<T>::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20s, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    loop.exec();
    return future.isFinished();
}

// The error text a screen would show, or a null text when the future succeeded.
template <typename T> QString failureText(QFuture<T> future)
{
    try {
        future.waitForFinished();
        if constexpr (!std::is_void_v<T>)
            future.result();
    } catch (...) {
        return errorText(std::current_exception());
    }
    return {};
}

QByteArray fixture(const char *name)
{
    const QString path = QFINDTESTDATA(QStringLiteral("data/") + QLatin1String(name));
    const QByteArray bytes = TestFolders::readFile(path);
    if (bytes.isEmpty())
        qFatal("missing test data %s", name);
    return bytes;
}

QByteArray localCask(const QString &name)
{
    return QJsonDocument::fromJson(
               QStringLiteral(R"({"casks":[{"token":"visual-studio-code","name":["%1"],"version":"9.9",)"
                              R"("url":"https://example.com/local.zip"},{"name":["Second"]}]})")
                   .arg(name)
                   .toUtf8())
        .toJson();
}

// A temporary home with a local API server and a fake brew that appends its
// arguments, one a line, to args.log. The first brew path never exists, so
// every lookup has to skip it.
struct Setup
{
    QTemporaryDir dir;
    TestHttpServer server;
    std::unique_ptr<BrewService> service;

    explicit Setup(std::chrono::milliseconds idleTimeout = 5s, QString apiBase = {})
    {
        service = std::make_unique<BrewService>(apiBase.isEmpty() ? server.url(QString()).toString() : apiBase,
                                                QStringList{dir.filePath(QStringLiteral("missing/brew")), brewPath()},
                                                nullptr, idleTimeout);
    }

    QString brewPath() const { return dir.filePath(QStringLiteral("bin/brew")); }

    void writeBrew(const QByteArray &body)
    {
        TestFolders::writeScript(dir.filePath(QStringLiteral("bin")), QStringLiteral("brew"),
                                 "dir=\"$(dirname \"$0\")\"\nprintf '%s\\n' \"$@\" >> \"$dir/args.log\"\n" + body);
    }

    void writeBinFile(const QString &name, const QByteArray &bytes)
    {
        TestFolders::writeFile(dir.filePath(QStringLiteral("bin")), name, bytes);
    }

    // Every argument brew was run with, one a line; empty when it never ran.
    QByteArray brewArguments() const { return TestFolders::readFile(dir.filePath(QStringLiteral("bin/args.log"))); }
};

} // namespace

class tst_BrewService final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parseBrewJson_data();
    void parseBrewJson();
    void parsesPublishedCaskObject();
    void tokenValidation_data();
    void tokenValidation();

    void resolvesFromApi();
    void fallsBackToLocalBrew_data();
    void fallsBackToLocalBrew();
    void idleTimeoutSparesSlowButLiveApi();
    void localLookupFailures_data();
    void localLookupFailures();
    void rejectedNamesRunNothing_data();
    void rejectedNamesRunNothing();
    void infoSurvivesFloodOnStandardError();
    void firstExecutableBrewWins();

    void search_data();
    void search();
    void searchWithoutBrewOrWithBadQuery();

    void installStreamsOutputAsItArrives();
    void installKeepsCharactersSplitAcrossChunks();
    void installPassesLargeOutputThrough();
    void installClosesStandardInput();
    void installFailures_data();
    void installFailures();
};

void tst_BrewService::parseBrewJson_data()
{
    QTest::addColumn<QByteArray>("json");
    // name|appFilename|summary|homepage|version|downloadUrl|packageType, "-" for an absent optional
    QTest::addColumn<QString>("expected");

    const auto row = [](const char *name, const char *json, const char *expected) {
        QTest::newRow(name) << QByteArray(json) << QString::fromUtf8(expected);
    };
    row("empty object", "{}", "tok|-||-|latest|-|brew");
    row("first of names", R"({"name":["Foo","Bar"],"token":"t","desc":"D","homepage":"h"})", "Foo|-|D|h|latest|-|brew");
    row("empty names take token", R"({"name":[],"token":"json-token"})", "json-token|-||-|latest|-|brew");
    row("names not all texts", R"({"name":[1,"x"],"token":"jt"})", "jt|-||-|latest|-|brew");
    row("wrong types count as absent", R"({"token":5,"desc":null,"homepage":[],"version":1.2,"url":{}})",
        "tok|-||-|latest|-|brew");
    row("upper-case DMG", R"({"version":"2.0","url":"https://x.test/App-2.0.DMG"})",
        "tok|-||-|2.0|https://x.test/App-2.0.DMG|dmg");
    row("pkg", R"({"url":"https://x.test/a.pkg"})", "tok|-||-|latest|https://x.test/a.pkg|pkg");
    row("zip", R"({"url":"https://x.test/a.Zip"})", "tok|-||-|latest|https://x.test/a.Zip|zip");
    row("query after dmg", R"({"url":"https://x.test/a.dmg?dl=1"})", "tok|-||-|latest|https://x.test/a.dmg?dl=1|brew");
    row("app after other artifacts", R"({"artifacts":[{"uninstall":[{"quit":"x"}]},{"app":["B.app","C.app"]}]})",
        "tok|B.app||-|latest|-|brew");
    row("empty and mixed app lists skipped",
        R"({"artifacts":[{"app":[]},{"app":["A.app",{"target":"X.app"}]},{"app":["B.app"]}]})",
        "tok|B.app||-|latest|-|brew");
    row("stray element spoils artifacts", R"({"artifacts":[{"app":["A.app"]},"stray"]})", "tok|-||-|latest|-|brew");
}

void tst_BrewService::parseBrewJson()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, expected);

    const AppItem app = BrewService::parseBrewJson(QStringLiteral("tok"), QJsonDocument::fromJson(json).object());
    const auto text = [](const std::optional<QString> &value) { return value.value_or(QStringLiteral("-")); };
    QCOMPARE(QStringList({app.name, text(app.appFilename), app.summary, text(app.homepage), app.currentVersion,
                          text(app.downloadUrl), rawValue(app.packageType)})
                 .join(u'|'),
             expected);
    QCOMPARE(app.id, QStringLiteral("tok"));
    QCOMPARE(app.brewName, std::optional(QStringLiteral("tok")));
    QCOMPARE(app.description, app.summary);
    QCOMPARE(app.sourceType, AppSourceType::brew);
    QCOMPARE(app.category, QStringLiteral("开发与工具"));
    const AppVersion only{app.currentVersion, app.downloadUrl, std::nullopt, QStringLiteral("当前稳定版"), {}};
    QCOMPARE(app.versions, std::optional(QList<AppVersion>{only}));
}

void tst_BrewService::parsesPublishedCaskObject()
{
    const auto json = QJsonDocument::fromJson(fixture("cask-visual-studio-code.json")).object();
    QVERIFY(!json.isEmpty());

    AppItem expected;
    expected.id = token;
    expected.name = QStringLiteral("Microsoft Visual Studio Code");
    expected.appFilename = QStringLiteral("Visual Studio Code.app");
    expected.category = QStringLiteral("开发与工具");
    expected.summary = QStringLiteral("Open-source code editor");
    expected.description = expected.summary;
    expected.homepage = QStringLiteral("https://code.visualstudio.com/");
    expected.sourceType = AppSourceType::brew;
    expected.brewName = token;
    expected.currentVersion = QStringLiteral("1.96.2");
    expected.downloadUrl = QStringLiteral("https://update.code.visualstudio.com/1.96.2/darwin-arm64/stable");
    expected.packageType = PackageType::brew;
    expected.versions = QList<AppVersion>{
        AppVersion{expected.currentVersion, expected.downloadUrl, std::nullopt, QStringLiteral("当前稳定版"), {}}};
    QCOMPARE(BrewService::parseBrewJson(token, json), expected);
}

void tst_BrewService::tokenValidation_data()
{
    QTest::addColumn<QString>("candidate");
    QTest::addColumn<bool>("valid");
    for (const char *good :
         {"visual-studio-code", "c++", "temurin@17", "homebrew/cask/firefox", "Visual-Code", "1password", "a_b.c"})
        QTest::newRow(good) << QString::fromUtf8(good) << true;
    for (const char *bad : {"", ".", "..", "--force", "-x", "../formula/x", "a/../b", "a/./b", "/abs", "a//b", "tap/",
                            "has space", "semi;colon", "$(id)", "中文", "line\nbreak", "%2e%2e"})
        QTest::newRow(bad) << QString::fromUtf8(bad) << false;
}

void tst_BrewService::tokenValidation()
{
    QFETCH(QString, candidate);
    QFETCH(bool, valid);
    QCOMPARE(BrewService::isValidToken(candidate), valid);
}

void tst_BrewService::resolvesFromApi()
{
    Setup setup;
    setup.server.routeBody(QString::fromLatin1(apiPath), fixture("cask-visual-studio-code.json"), "application/json");
    setup.writeBrew("echo '{}'");

    const auto future = setup.service->resolveCask(QStringLiteral("  Visual-Studio-Code \n"));
    QVERIFY(settle(future));
    QCOMPARE(failureText(future), QString());
    const AppItem app = future.result();
    QCOMPARE(app.id, token);
    QCOMPARE(app.brewName, std::optional(token));
    QCOMPARE(app.name, QStringLiteral("Microsoft Visual Studio Code"));
    QCOMPARE(setup.server.requests(), QList<QByteArray>{apiPath});
    QCOMPARE(setup.brewArguments(), QByteArray()); // the API answered: brew never ran
}

void tst_BrewService::fallsBackToLocalBrew_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("stall");
    QTest::addColumn<bool>("refused");

    QTest::newRow("404") << 404 << QByteArray(R"({"error":"Not Found"})") << false << false;
    QTest::newRow("500 with a cask body") << 500 << fixture("cask-visual-studio-code.json") << false << false;
    QTest::newRow("body not JSON") << 200 << QByteArray("<html>maintenance</html>") << false << false;
    QTest::newRow("top-level array") << 200 << QByteArray(R"([{"token":"visual-studio-code"}])") << false << false;
    QTest::newRow("stalled server") << 200 << QByteArray() << true << false;
    QTest::newRow("connection refused") << 200 << QByteArray() << false << true;
}

void tst_BrewService::fallsBackToLocalBrew()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, stall);
    QFETCH(bool, refused);

    // Port 1 on the loopback has no listener.
    Setup setup(300ms, refused ? QStringLiteral("http://127.0.0.1:1") : QString());
    TestHttpServer::Reply reply;
    reply.status = status;
    reply.body = body;
    reply.stall = stall;
    setup.server.route(QString::fromLatin1(apiPath), reply);
    setup.writeBinFile(QStringLiteral("info.out"), localCask(QStringLiteral("Local Code")));
    setup.writeBrew("cat \"$dir/info.out\"\nexit 3\n"); // the exit status does not matter

    const auto future = setup.service->resolveCask(QStringLiteral("visual-studio-code"));
    QVERIFY(settle(future));
    QCOMPARE(failureText(future), QString());
    QCOMPARE(future.result().name, QStringLiteral("Local Code"));
    QCOMPARE(future.result().packageType, PackageType::zip);
    QCOMPARE(setup.brewArguments(), QByteArray("info\n--cask\nvisual-studio-code\n--json=v2\n"));
    if (!refused)
        QCOMPARE(setup.server.requests(), QList<QByteArray>{apiPath});
}

void tst_BrewService::idleTimeoutSparesSlowButLiveApi()
{
    // The whole answer takes far longer than the idle limit, but bytes keep
    // coming, so the API's record must win over the local one.
    Setup setup(1500ms);
    TestHttpServer::Reply reply;
    reply.body = R"({"token":"visual-studio-code","name":["From API"],"padding":")" + QByteArray(40, 'x') + "\"}";
    reply.chunkSize = 8;
    reply.chunkIntervalMs = 100;
    setup.server.route(QString::fromLatin1(apiPath), reply);
    setup.writeBinFile(QStringLiteral("info.out"), localCask(QStringLiteral("Local Code")));
    setup.writeBrew("cat \"$dir/info.out\"\n");

    const auto future = setup.service->resolveCask(token);
    QVERIFY(settle(future));
    QCOMPARE(failureText(future), QString());
    QCOMPARE(future.result().name, QStringLiteral("From API"));
}

void tst_BrewService::localLookupFailures_data()
{
    QTest::addColumn<bool>("brewInstalled");
    QTest::addColumn<QByteArray>("infoOutput");
    QTest::addColumn<QString>("error");

    const QString unknown = QStringLiteral("未找到 Homebrew Cask 包：visual-studio-code");
    QTest::newRow("empty casks") << true << QByteArray(R"({"formulae":[],"casks":[]})") << unknown;
    QTest::newRow("no casks key") << true << QByteArray(R"({"formulae":[{"name":"x"}]})") << unknown;
    QTest::newRow("casks not objects") << true << QByteArray(R"({"casks":[{"token":"a"},7]})") << unknown;
    QTest::newRow("garbage") << true << QByteArray("Error: Cask 'visual-studio-code' is unavailable\n") << unknown;
    QTest::newRow("brew missing") << false << QByteArray()
                                  << QStringLiteral(
                                         "执行 Brew 失败：未在系统中检测到可执行的 brew 工具，且网络查询不可用");
}

void tst_BrewService::localLookupFailures()
{
    QFETCH(bool, brewInstalled);
    QFETCH(QByteArray, infoOutput);
    QFETCH(QString, error);

    Setup setup; // the server has no route for the cask: 404
    if (brewInstalled) {
        setup.writeBinFile(QStringLiteral("info.out"), infoOutput);
        setup.writeBrew("cat \"$dir/info.out\"\n");
    }

    const auto future = setup.service->resolveCask(QStringLiteral("Visual-Studio-Code"));
    QVERIFY(settle(future));
    QCOMPARE(failureText(future), error);
}

void tst_BrewService::rejectedNamesRunNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("error");

    QTest::newRow("only spaces") << "   " << QStringLiteral("未找到 Homebrew Cask 包：   ");
    QTest::newRow("option") << " --force" << QStringLiteral("未找到 Homebrew Cask 包：--force");
    QTest::newRow("path walk") << "../formula/X" << QStringLiteral("未找到 Homebrew Cask 包：../formula/x");
    QTest::newRow("query in name") << "code.json?x=1" << QStringLiteral("未找到 Homebrew Cask 包：code.json?x=1");
}

void tst_BrewService::rejectedNamesRunNothing()
{
    QFETCH(QString, name);
    QFETCH(QString, error);

    Setup setup;
    setup.writeBrew("echo '{}'");
    auto future = setup.service->resolveCask(name);
    QVERIFY(settle(future));
    QCOMPARE(failureText(future), error);
    try {
        future.waitForFinished();
        QFAIL("resolved a rejected name");
    } catch (const BrewError &brewError) {
        QCOMPARE(brewError.kind(), BrewError::Kind::packageNotFound);
    }
    QVERIFY(setup.server.requests().isEmpty());
    QCOMPARE(setup.brewArguments(), QByteArray());
}

void tst_BrewService::infoSurvivesFloodOnStandardError()
{
    // Far more than a pipe holds, written before the answer: a child whose
    // error pipe nobody reads would block here forever.
    Setup setup;
    setup.writeBinFile(QStringLiteral("info.out"), localCask(QStringLiteral("After Flood")));
    setup.writeBrew("head -c 3000000 /dev/zero | tr '\\0' 'e' >&2\ncat \"$dir/info.out\"\n");

    const auto future = setup.service->resolveCask(token);
    QVERIFY(settle(future));
    QCOMPARE(failureText(future), QString());
    QCOMPARE(future.result().name, QStringLiteral("After Flood"));
}

void tst_BrewService::firstExecutableBrewWins()
{
    QTemporaryDir dir;
    const QString notExecutable = TestFolders::writeFile(dir.path(), QStringLiteral("plain/brew"), "#!/bin/sh\n");
    QDir(dir.path()).mkpath(QStringLiteral("folder/brew"));
    const QString real = TestFolders::writeScript(dir.filePath(QStringLiteral("real")), QStringLiteral("brew"), "");
    const QString later = TestFolders::writeScript(dir.filePath(QStringLiteral("later")), QStringLiteral("brew"), "");
    BrewService service(QStringLiteral("http://127.0.0.1:1"),
                        {notExecutable, dir.filePath(QStringLiteral("folder/brew")), real, later});
    QCOMPARE(service.brewExecutable(), std::optional(real));

    // Looked up afresh: the path that disappears is skipped on the next call.
    QVERIFY(QFile::remove(real));
    QCOMPARE(service.brewExecutable(), std::optional(later));
    QVERIFY(QFile::remove(later));
    QCOMPARE(service.brewExecutable(), std::nullopt);
}

void tst_BrewService::search_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QStringList>("candidates");

    QTest::newRow("prefix first, then ascending")
        << "code" << QByteArray("alfred\ncode\nvisual-studio-code\ncodeedit\n")
        << QStringList{"code", "codeedit", "alfred", "visual-studio-code"};
    QTest::newRow("columns") << "code" << QByteArray("alfred     visual-studio-code   codeedit\n")
                             << QStringList{"codeedit", "alfred", "visual-studio-code"};
    QTest::newRow("listed once") << "zz" << QByteArray("b\na b\n\n  a  \n") << QStringList{"a", "b"};
    QTest::newRow("padded upper-case query")
        << "  CODE \n"
        << QByteArray("vscode\ncode-insiders\n") << QStringList{"code-insiders", "vscode"};
    QTest::newRow("CRLF and tabs") << "q" << QByteArray("\tq1\r\n==> Formulae\r\nq0 \r\n") << QStringList{"q0", "q1"};
    QTest::newRow("error line among names") << "c" << QByteArray("cb\nError: partial\nca\n") << QStringList{"ca", "cb"};
    QTest::newRow("not UTF-8") << "code" << QByteArray("code\n\xff\xfe\n") << QStringList{};
    QTest::newRow("Chinese names compared as text")
        << "a" << QByteArray("\xe4\xb8\xad\nb\naz\n") << QStringList{"az", "b", QStringLiteral("中")};
}

void tst_BrewService::search()
{
    QFETCH(QString, query);
    QFETCH(QByteArray, output);
    QFETCH(QStringList, candidates);

    Setup setup;
    setup.writeBinFile(QStringLiteral("search.out"), output);
    setup.writeBrew("cat \"$dir/search.out\"\necho 'Warning: noise' >&2\nexit 1\n");

    const auto future = setup.service->searchCasks(query);
    QVERIFY(settle(future));
    QCOMPARE(future.result(), candidates);
    QCOMPARE(setup.brewArguments(), "search\n--casks\n" + query.trimmed().toLower().toUtf8() + '\n');
}

void tst_BrewService::searchWithoutBrewOrWithBadQuery()
{
    Setup setup;
    // Brew missing at both paths.
    auto future = setup.service->searchCasks(QStringLiteral("code"));
    QVERIFY(settle(future));
    QCOMPARE(future.result(), QStringList());

    setup.writeBrew("echo code\n");
    for (const auto &query : {QStringLiteral("  \n"), QStringLiteral("--help"), QStringLiteral("../x")}) {
        future = setup.service->searchCasks(query);
        QVERIFY(settle(future));
        QCOMPARE(future.result(), QStringList());
    }
    QCOMPARE(setup.brewArguments(), QByteArray());

    // A brew that cannot even be launched still only means "no candidates".
    QFile::remove(setup.brewPath());
    setup.writeBinFile(QStringLiteral("brew"), "not a program");
    QFile::setPermissions(setup.brewPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    future = setup.service->searchCasks(QStringLiteral("code"));
    QVERIFY(settle(future));
    QCOMPARE(future.result(), QStringList());
}

void tst_BrewService::installStreamsOutputAsItArrives()
{
    Setup setup;
    // The second line waits for the test's go-ahead, so the first can only be
    // seen in time if it is passed on while brew still runs.
    setup.writeBrew("echo '==> Downloading'\n"
                    "i=0; while [ ! -e \"$dir/go\" ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done\n"
                    "echo '==> Installed' >&2\n");

    auto received = std::make_shared<QString>();
    const auto future =
        setup.service->installViaBrew(token, [received](const QString &chunk) { received->append(chunk); });
    QTRY_COMPARE_WITH_TIMEOUT(*received, QStringLiteral("==> Downloading\n"), 10000);
    QVERIFY(!future.isFinished());
    TestFolders::writeFile(setup.dir.filePath(QStringLiteral("bin")), QStringLiteral("go"), "");
    QVERIFY(settle(future));
    QCOMPARE(failureText(future), QString());
    QCOMPARE(*received, QStringLiteral("==> Downloading\n==> Installed\n"));
    QCOMPARE(setup.brewArguments(), QByteArray("install\n--cask\nvisual-studio-code\n"));
}

void tst_BrewService::installKeepsCharactersSplitAcrossChunks()
{
    Setup setup;
    // "安装" is E5 AE 89 E8 A3 85; the pause cuts the first character in two.
    setup.writeBrew("printf '\\345\\256'\nsleep 0.3\nprintf '\\211\\350\\243\\205\\n'\n");

    auto received = std::make_shared<QStringList>();
    const auto future =
        setup.service->installViaBrew(token, [received](const QString &chunk) { received->append(chunk); });
    QVERIFY(settle(future));
    QCOMPARE(failureText(future), QString());
    QCOMPARE(received->join(QString()), QStringLiteral("安装\n"));
    QVERIFY(!received->contains(QString()));
}

void tst_BrewService::installPassesLargeOutputThrough()
{
    Setup setup;
    setup.writeBrew("head -c 3000000 /dev/zero | tr '\\0' 'o'\nhead -c 3000000 /dev/zero | tr '\\0' 'e' >&2\n"
                    "echo done\n");

    auto received = std::make_shared<qsizetype>(0);
    const auto future =
        setup.service->installViaBrew(token, [received](const QString &chunk) { *received += chunk.size(); });
    QVERIFY(settle(future));
    QCOMPARE(failureText(future), QString());
    QCOMPARE(*received, qsizetype(6000005));
}

void tst_BrewService::installClosesStandardInput()
{
    Setup setup;
    setup.writeBrew("if read -r answer; then echo \"answered $answer\"; else echo 'no terminal'; fi\n");

    auto received = std::make_shared<QString>();
    const auto future =
        setup.service->installViaBrew(token, [received](const QString &chunk) { received->append(chunk); });
    QVERIFY(settle(future));
    QCOMPARE(*received, QStringLiteral("no terminal\n"));
}

void tst_BrewService::installFailures_data()
{
    QTest::addColumn<QString>("installToken");
    QTest::addColumn<QByteArray>("brew"); // script body; empty: no brew; "!": not launchable
    QTest::addColumn<QString>("error");   // null: any text that is not a BrewError
    QTest::addColumn<QString>("output");
    QTest::addColumn<QByteArray>("arguments");

    QTest::newRow("exit 1") << token << QByteArray("echo 'Error: It seems there is already an App'\nexit 1\n")
                            << QStringLiteral("执行 Brew 失败：brew install 执行失败，退出码: 1")
                            << "Error: It seems there is already an App\n"
                            << QByteArray("install\n--cask\nvisual-studio-code\n");
    QTest::newRow("killed") << token << QByteArray("kill -9 $$\n")
                            << QStringLiteral("执行 Brew 失败：brew install 执行失败，退出码: 9") << ""
                            << QByteArray("install\n--cask\nvisual-studio-code\n");
    QTest::newRow("token kept as given") << "Foo@Beta" << QByteArray("exit 0\n") << ""
                                         << "" << QByteArray("install\n--cask\nFoo@Beta\n");
    QTest::newRow("no brew") << token << QByteArray() << QStringLiteral("执行 Brew 失败：未找到 brew 命令路径") << ""
                             << QByteArray();
    QTest::newRow("option as token") << "--force" << QByteArray("exit 0\n")
                                     << QStringLiteral("执行 Brew 失败：无效的 Cask 名称「--force」") << ""
                                     << QByteArray();
    QTest::newRow("not launchable") << token << QByteArray("!") << QString() << "" << QByteArray();
}

void tst_BrewService::installFailures()
{
    QFETCH(QString, installToken);
    QFETCH(QByteArray, brew);
    QFETCH(QString, error);
    QFETCH(QString, output);
    QFETCH(QByteArray, arguments);

    Setup setup;
    if (brew == "!") {
        setup.writeBinFile(QStringLiteral("brew"), "not a program");
        QFile::setPermissions(setup.brewPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    } else if (!brew.isEmpty()) {
        setup.writeBrew(brew);
    }

    auto received = std::make_shared<QString>();
    auto future =
        setup.service->installViaBrew(installToken, [received](const QString &chunk) { received->append(chunk); });
    QVERIFY(settle(future));
    QCOMPARE(*received, output);
    QCOMPARE(setup.brewArguments(), arguments);
    if (!error.isNull()) {
        QCOMPARE(failureText(future), error);
        return;
    }
    try {
        future.waitForFinished();
        QFAIL("an unlaunchable brew reported success");
    } catch (const BrewError &) {
        QFAIL("a launch failure must keep the platform's text");
    } catch (const ZelvoError &launchError) {
        QVERIFY(!launchError.localizedDescription().isEmpty());
    }
}

QTEST_GUILESS_MAIN(tst_BrewService)
#include "tst_BrewService.moc"
