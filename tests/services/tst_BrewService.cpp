#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <memory>

#include <signal.h>

#include "services/BrewService.h"
#include "support/FutureWait.h"
#include "support/TestFolders.h"
#include "support/TestHttpServer.h"

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(TestHttpServer::Reply)

namespace {

const QString token = QStringLiteral("visual-studio-code");
const QByteArray apiPath = "/api/cask/visual-studio-code.json";

QStringList words(const char *text)
{
    return QString::fromUtf8(text).split(u' ', Qt::SkipEmptyParts);
}

QByteArray fixture()
{
    return TestFolders::readFile(QStringLiteral(ZELVO_TEST_DATA "/cask-visual-studio-code.json"));
}

// A temporary home with a local API server and a fake brew that appends its
// arguments, one a line, to args.log. The first brew path never exists, so
// every lookup has to skip it. The askpass program answers its prompt, or
// records a cancelled question when the prompt is "cancel".
struct Setup
{
    QTemporaryDir dir;
    TestHttpServer server;
    std::unique_ptr<BrewService> service;

    explicit Setup(std::chrono::milliseconds idleTimeout = 5s, QString apiBase = {})
    {
        service = std::make_unique<BrewService>(apiBase.isEmpty() ? server.url(QString()).toString() : apiBase,
                                                QStringList{dir.filePath(QStringLiteral("missing/brew")), brewPath()},
                                                nullptr, idleTimeout, 3s, dir.filePath(QStringLiteral("bin/askpass")));
        TestFolders::writeScript(dir.filePath(QStringLiteral("bin")), QStringLiteral("askpass"),
                                 "[ \"$1\" = cancel ] && { printf cancelled > \"$HOMEBREW_ZELVO_ASKPASS_STATUS\"; exit 1; }\n"
                                 "echo \"answer to $1\"\n");
    }

    QString brewPath() const { return dir.filePath(QStringLiteral("bin/brew")); }
    void writeBinFile(const QString &name, const QByteArray &bytes)
    {
        TestFolders::writeFile(dir.filePath(QStringLiteral("bin")), name, bytes);
    }
    // script: the fake brew's body; null: no brew at all; "!": a brew that cannot be launched.
    void writeBrew(const QByteArray &script)
    {
        if (script == "!") {
            writeBinFile(QStringLiteral("brew"), "not a program");
            QFile::setPermissions(brewPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        } else if (!script.isNull()) {
            TestFolders::writeScript(dir.filePath(QStringLiteral("bin")), QStringLiteral("brew"),
                                     "dir=\"$(dirname \"$0\")\"\nprintf '%s\\n' \"$@\" >> \"$dir/args.log\"\n" +
                                         script);
        }
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
    void parseBrewJson()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, expected);

        const AppItem app = BrewService::parseBrewJson(QStringLiteral("tok"), QJsonDocument::fromJson(json).object());
        const auto text = [](const std::optional<QString> &value) { return value.value_or(QStringLiteral("-")); };
        QCOMPARE(QStringList({app.name, text(app.appFilename), app.summary, text(app.homepage), app.currentVersion,
                              text(app.downloadUrl), rawValue(app.packageType)})
                     .join(u'|'),
                 expected);
        QCOMPARE(
            QStringList({app.id, app.brewName.value_or("-"), app.description, app.category, rawValue(app.sourceType)})
                .join(u'|'),
            QStringLiteral("tok|tok|%1|开发与工具|brew").arg(app.summary));
        const AppVersion only{app.currentVersion, app.downloadUrl, std::nullopt, QStringLiteral("当前稳定版"), {}};
        QCOMPARE(app.versions, std::optional(QList<AppVersion>{only}));
    }

    void resolveCask_data();
    void resolveCask()
    {
        QFETCH(QString, name);
        QFETCH(TestHttpServer::Reply, api);
        QFETCH(QByteArray, info);
        QFETCH(QString, outcome);
        QFETCH(bool, apiAsked);
        QFETCH(bool, brewRan);

        Setup setup(1000ms, api.status < 0 ? QStringLiteral("http://127.0.0.1:1") : QString());
        if (api.status > 0)
            setup.server.route(QString::fromLatin1(apiPath), api);
        setup.writeBinFile(QStringLiteral("info.out"), info);
        // Far more than a pipe holds on standard error, before the answer: a child whose error pipe nobody reads
        // would block forever. The exit status does not matter.
        setup.writeBrew(info.isNull() ? QByteArray()
                                      : "head -c 3000000 /dev/zero | tr '\\0' e >&2\ncat \"$dir/info.out\"\nexit 3\n");

        const auto future = setup.service->resolveCask(name);
        QVERIFY(settle(future));
        const QString error = failureText(future);
        QCOMPARE(error.isNull()
                     ? future.result().id + u' ' + future.result().name + u' ' + rawValue(future.result().packageType)
                     : error,
                 outcome);
        QCOMPARE(setup.server.requests(), apiAsked ? QList<QByteArray>{apiPath} : QList<QByteArray>{});
        QCOMPARE(setup.brewArguments(), brewRan ? "info\n--cask\nvisual-studio-code\n--json=v2\n" : QByteArray());
    }

    void firstExecutableBrewWins()
    {
        QTemporaryDir dir;
        const QString notExecutable = TestFolders::writeFile(dir.path(), QStringLiteral("plain/brew"), "#!/bin/sh\n");
        QDir(dir.path()).mkpath(QStringLiteral("folder/brew"));
        const QString real = TestFolders::writeScript(dir.filePath(QStringLiteral("real")), QStringLiteral("brew"), "");
        const QString later =
            TestFolders::writeScript(dir.filePath(QStringLiteral("later")), QStringLiteral("brew"), "");
        BrewService service(QStringLiteral("http://127.0.0.1:1"),
                            {notExecutable, dir.filePath(QStringLiteral("folder/brew")), real, later});
        QCOMPARE(service.brewExecutable(), std::optional(real));

        // Looked up afresh: the path that disappears is skipped on the next call.
        QVERIFY(QFile::remove(real));
        QCOMPARE(service.brewExecutable(), std::optional(later));
        QVERIFY(QFile::remove(later));
        QCOMPARE(service.brewExecutable(), std::nullopt);
    }

    void search_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QByteArray>("output"); // null: no brew; "!": a brew that cannot be launched
        QTest::addColumn<QStringList>("candidates");
        const auto row = [](const char *name, const char *query, const char *output, const char *candidates) {
            QTest::newRow(name) << query << QByteArray(output) << words(candidates);
        };
        row("prefix first, then ascending", "code", "alfred\ncode\nvisual-studio-code\ncodeedit\n",
            "code codeedit alfred visual-studio-code");
        row("columns", "code", "alfred     visual-studio-code   codeedit\n", "codeedit alfred visual-studio-code");
        row("listed once", "zz", "b\na b\n\n  a  \n", "a b");
        row("padded upper-case query", "  CODE \n", "vscode\ncode-insiders\n", "code-insiders vscode");
        row("CRLF and tabs", "q", "\tq1\r\n==> Formulae\r\nq0 \r\n", "q0 q1");
        row("error line among names", "c", "cb\nError: partial\nca\n", "ca cb");
        row("one line not UTF-8", "code", "code\n\xff\xfe\nvscode\n", "code vscode");
        row("Chinese names compared as text", "a", "\xe4\xb8\xad\nb\naz\n", "az b 中");
        // Every failure only means "no candidates"; a query brew must not see would have listed "code".
        row("no brew", "code", nullptr, "");
        row("brew cannot launch", "code", "!", "");
        row("blank query", "  \n", "code\n", "");
        row("option as query", "--help", "code\n", "");
        // One argument to a process without a shell: free text is fine.
        row("free text", " Visual Studio ", "visual-studio-code\n", "visual-studio-code");
    }

    void search()
    {
        QFETCH(QString, query);
        QFETCH(QByteArray, output);
        QFETCH(QStringList, candidates);

        Setup setup;
        setup.writeBinFile(QStringLiteral("search.out"), output);
        setup.writeBrew(
            output.isNull() || output == "!" ? output : "cat \"$dir/search.out\"\necho 'Warning: noise' >&2\nexit 1\n");
        const auto future = setup.service->searchCasks(query);
        QVERIFY(settle(future));
        QCOMPARE(future.result(), candidates);
        if (!candidates.isEmpty())
            QCOMPARE(setup.brewArguments(), "search\n--casks\n" + query.trimmed().toLower().toUtf8() + '\n');
    }

    void install_data()
    {
        QTest::addColumn<QByteArray>("brew"); // script body; null: no brew; "!": not launchable
        QTest::addColumn<QString>("error");   // empty: success; null: a launch failure
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("installToken");
        const auto row = [](const char *name, const char *brew, const char *error, const QString &output,
                            const QString &installToken = token) {
            QTest::newRow(name) << QByteArray(brew) << error << output << installToken;
        };
        // The second line waits until the first has reached the test, which can only happen while brew still runs.
        row("output passed on as it arrives",
            "echo '==> Downloading'\nfor i in $(seq 200); do [ -e \"$dir/seen\" ] && break; sleep 0.05; done\n"
            "[ -e \"$dir/seen\" ] && echo '==> Installed' >&2\n",
            "", "==> Downloading\n==> Installed\n");
        row("exit 1", "echo 'Error: already an App'\nexit 1\n", "执行 Brew 失败：brew install 执行失败，退出码: 1",
            "Error: already an App\n");
        row("killed", "kill -9 $$\n", "执行 Brew 失败：brew install 执行失败，退出码: 9", "");
        row("token kept as given", "exit 0\n", "", "", QStringLiteral("Foo@Beta"));
        // "安装" is E5 AE 89 E8 A3 85; the pause cuts the first character in two.
        row("character split across chunks", "printf '\\345\\256'\nsleep 0.3\nprintf '\\211\\350\\243\\205\\n'\n", "",
            "安装\n");
        row("large output on both streams",
            "head -c 3000000 /dev/zero | tr '\\0' o\nhead -c 3000000 /dev/zero | tr '\\0' e >&2\necho done\n", "",
            QString(3000000, u'o') + QString(3000000, u'e') + QStringLiteral("done\n"));
        row("standard input closed", "if read -r answer; then echo \"got $answer\"; else echo 'no terminal'; fi\n", "",
            "no terminal\n");
        row("own session, no auto-update, askpass",
            "echo \"$HOMEBREW_NO_AUTO_UPDATE$HOMEBREW_NO_ENV_HINTS\"\n"
            "[ \"$(ps -o sid= -p $$ | tr -d ' ')\" = $$ ] && echo 'own session'\n\"$SUDO_ASKPASS\" 'Password:'\n",
            "", "11\nown session\nanswer to Password:\n");
        row("password cancelled", "\"$SUDO_ASKPASS\" cancel || { echo 'sudo: no password'; exit 1; }\n",
            "执行 Brew 失败：已取消输入管理员密码，安装未完成", "sudo: no password\n");
        // What brew started goes too: the child's pid is checked after the run.
        row("silent too long", "echo start\nsleep 60 &\necho $! > \"$dir/child\"\nwait\n",
            "执行 Brew 失败：brew 已有 3 秒没有任何输出，可能在等待无法回答的提问，已停止", "start\n");
        row("no brew", nullptr, "执行 Brew 失败：未找到 brew 命令路径", "");
        row("option as token", "exit 0\n", "执行 Brew 失败：无效的 Cask 名称「--force」", "",
            QStringLiteral("--force"));
        row("not launchable", "!", nullptr, "");
    }

    void install()
    {
        QFETCH(QByteArray, brew);
        QFETCH(QString, error);
        QFETCH(QString, output);
        QFETCH(QString, installToken);

        Setup setup;
        setup.writeBrew(brew);
        auto chunks = std::make_shared<QStringList>();
        const QString seen = setup.dir.filePath(QStringLiteral("bin/seen"));
        auto future = setup.service->installViaBrew(installToken, [chunks, seen](const QString &chunk) {
            chunks->append(chunk);
            QFile(seen).open(QIODevice::WriteOnly);
        });
        QVERIFY(settle(future));
        QCOMPARE(chunks->join(QString()), output);
        QVERIFY(!chunks->contains(QString()));
        // Whenever brew ran, it got exactly these; a refused token shows in the error instead.
        if (!setup.brewArguments().isEmpty())
            QCOMPARE(setup.brewArguments(), "install\n--cask\n" + installToken.toUtf8() + '\n');
        // null: a launch failure, reported with the platform's own text rather than as a brew failure
        if (error.isNull())
            QVERIFY2(!failureText(future).isEmpty() && !failureText(future).startsWith(QStringLiteral("执行 Brew")),
                     qPrintable(failureText(future)));
        else
            QCOMPARE(failureText(future), error);
        if (const auto child = TestFolders::readFile(setup.dir.filePath(QStringLiteral("bin/child"))); !child.isEmpty())
            QTRY_VERIFY(::kill(pid_t(child.trimmed().toLongLong()), 0) != 0);
    }

    // Lookups that would hang or fill memory are stopped while brew runs.
    void stoppedLookups_data()
    {
        QTest::addColumn<bool>("search");
        QTest::addColumn<QByteArray>("brew");
        QTest::addColumn<QString>("outcome"); // the candidates, or the lookup's error
        QTest::newRow("info silent") << false << QByteArray("echo '{'\nsleep 60\n")
                                     << "执行 Brew 失败：brew 已有 1 秒没有任何输出，可能在等待无法回答的提问，已停止";
        // Valid JSON after 9 MB of blanks: only a cap applied while reading refuses it.
        QTest::newRow("info floods") << false
                                     << QByteArray("head -c 9000000 /dev/zero | tr '\\0' ' '\n"
                                                   "echo '{\"casks\":[{\"name\":[\"Flood\"]}]}'\n")
                                     << "解析 Brew 数据失败：brew 的输出超过 8 MB，已停止";
        QTest::newRow("search silent") << true << QByteArray("echo code\nsleep 60\n") << "";
        QTest::newRow("search floods") << true << QByteArray("yes code | head -c 9000000\n") << "";
    }

    void stoppedLookups()
    {
        QFETCH(bool, search);
        QFETCH(QByteArray, brew);
        QFETCH(QString, outcome);

        Setup setup(1000ms);
        setup.writeBrew(brew);
        if (search) {
            const auto future = setup.service->searchCasks(QStringLiteral("code"));
            QVERIFY(settle(future));
            QCOMPARE(future.result().join(u' '), outcome);
        } else {
            const auto future = setup.service->resolveCask(token);
            QVERIFY(settle(future));
            QCOMPARE(failureText(future), outcome);
        }
    }
};

void tst_BrewService::parseBrewJson_data()
{
    QTest::addColumn<QByteArray>("json");
    // name|appFilename|summary|homepage|version|downloadUrl|packageType, "-" for an absent optional
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *name, const QByteArray &json, const char *expected) {
        QTest::newRow(name) << json << QString::fromUtf8(expected);
    };
    row("published cask", fixture(),
        "Microsoft Visual Studio Code|Visual Studio Code.app|Open-source code editor|https://code.visualstudio.com/"
        "|1.96.2|https://update.code.visualstudio.com/1.96.2/darwin-arm64/stable|brew");
    row("empty object", "{}", "tok|-||-|latest|-|brew");
    row("first of names", R"({"name":["Foo","Bar"],"token":"t","desc":"D","homepage":"https://h.test"})",
        "Foo|-|D|https://h.test|latest|-|brew");
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
    row("addresses that are not web addresses", R"({"url":"file:///etc/passwd","homepage":"smb://host/share"})",
        "tok|-||-|latest|-|brew");
    row("stray element spoils artifacts", R"({"artifacts":[{"app":["A.app"]},"stray"]})", "tok|-||-|latest|-|brew");
}

void tst_BrewService::resolveCask_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<TestHttpServer::Reply>("api"); // status 0: no route (404); -1: nothing listens
    QTest::addColumn<QByteArray>("info");           // what `brew info` prints; null: no brew
    QTest::addColumn<QString>("outcome");           // "id name packageType", or the error text
    QTest::addColumn<bool>("apiAsked");
    QTest::addColumn<bool>("brewRan");

    using Reply = TestHttpServer::Reply;
    const auto api = [](int status, const QByteArray &body = {}) { return Reply{.status = status, .body = body}; };
    // The whole answer takes longer than the idle limit, but bytes keep coming.
    const Reply drip{.body = R"({"token":"x","name":["From API"],"pad":")" + QByteArray(80, 'x') + "\"}",
                     .chunkSize = 8,
                     .chunkIntervalMs = 100};
    const QByteArray local = R"({"casks":[{"token":"visual-studio-code","name":["Local Code"],"version":"9.9",
        "url":"https://example.com/local.zip"},{"name":["Second"]}]})";
    const auto row = [](const char *name, const TestHttpServer::Reply &api, const QByteArray &info, const char *outcome,
                        bool apiAsked, bool brewRan, const char *typed = "visual-studio-code") {
        QTest::newRow(name) << QString::fromUtf8(typed) << api << info << QString::fromUtf8(outcome) << apiAsked
                            << brewRan;
    };
    const char *fromLocal = "visual-studio-code Local Code zip";
    const char *unknown = "未找到 Homebrew Cask 包：visual-studio-code";
    row("API answers", api(200, fixture()), local, "visual-studio-code Microsoft Visual Studio Code brew", true, false,
        "  Visual-Studio-Code \n");
    row("slow but live API", drip, local, "visual-studio-code From API brew", true, false);
    row("404", api(404, R"({"error":"Not Found"})"), local, fromLocal, true, true);
    row("500 with a cask body", api(500, fixture()), local, fromLocal, true, true);
    row("body not JSON", api(200, "<html>maintenance</html>"), local, fromLocal, true, true);
    row("top-level array", api(200, R"([{"token":"x"}])"), local, fromLocal, true, true);
    row("stalled server", Reply{.stall = true}, local, fromLocal, true, true);
    // Read at full speed, a body over the cap must still be refused before it is held.
    const QByteArray huge = R"({"token":"x","name":["From API"],"pad":")" + QByteArray(20 << 20, 'x') + "\"}";
    row("API body over the cap", api(200, huge), local, fromLocal, true, true);
    row("API body over the cap, length unannounced", Reply{.body = huge, .sendContentLength = false}, local, fromLocal,
        true, true);
    row("connection refused", api(-1), local, fromLocal, false, true);
    row("empty casks", api(0), R"({"formulae":[],"casks":[]})", unknown, true, true);
    row("no casks key", api(0), R"({"formulae":[{"name":"x"}]})", unknown, true, true);
    row("casks not objects", api(0), R"({"casks":[{"token":"a"},7]})", unknown, true, true, "Visual-Studio-Code");
    row("garbage", api(0), "Error: Cask 'visual-studio-code' is unavailable\n", unknown, true, true);
    // Without a brew the API's answer is final; only when the API is out of reach too is nobody asked.
    row("brew missing, API does not know it", api(0), {}, unknown, true, false);
    row("brew missing, API unreachable", api(-1), {}, "执行 Brew 失败：未在系统中检测到可执行的 brew 工具，且网络查询不可用",
        false, false);
    // Rejected before any request or process.
    row("only spaces", api(200, fixture()), local, "未找到 Homebrew Cask 包：   ", false, false, "   ");
    row("option", api(0), local, "未找到 Homebrew Cask 包：--force", false, false, " --force");
    row("path walk", api(0), local, "未找到 Homebrew Cask 包：../formula/x", false, false, "../formula/X");
    row("inner path walk", api(0), local, "未找到 Homebrew Cask 包：a/../b", false, false, "a/../b");
    row("shell", api(0), local, "未找到 Homebrew Cask 包：$(id)", false, false, "$(id)");
    row("query in name", api(0), local, "未找到 Homebrew Cask 包：code.json?x=1", false, false, "code.json?x=1");
}

QTEST_GUILESS_MAIN(tst_BrewService)
#include "tst_BrewService.moc"
