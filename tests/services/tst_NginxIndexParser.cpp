#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

#include <memory>

#include "services/NginxIndexParser.h"
#include "services/UrlError.h"
#include "support/TestFolders.h"
#include "support/TestHttpServer.h"

namespace {

// Lines shaped like nginx's autoindex: one link per line, CRLF line ends.
QByteArray nginxPage(const QStringList &hrefs)
{
    QByteArray page = "<html>\r\n<head><title>Index of /rel/</title></head>\r\n<body>\r\n"
                      "<h1>Index of /rel/</h1><hr><pre>";
    for (const auto &href : hrefs)
        page += "<a href=\"" + href.toUtf8() + "\">" + href.toUtf8() + "</a>       06-Dec-2026 07:28     42\r\n";
    return page + "</pre><hr></body>\r\n</html>\r\n";
}

// "1.0 http://host/a.dmg" per version, "-" for no address.
QStringList describe(const QList<AppVersion> &versions)
{
    QStringList lines;
    for (const auto &v : versions)
        lines << v.version + u' ' + v.downloadUrl.value_or(QStringLiteral("-"));
    return lines;
}

template <typename T> std::optional<UrlError> failureOf(const QFuture<T> &future)
{
    try {
        future.result();
    } catch (const UrlError &error) {
        return error;
    }
    return std::nullopt;
}

// A real web server, found on this machine, serving one folder on a free
// loopback port until the object goes.
class ExternalServer final
{
public:
    ExternalServer() = default;
    ExternalServer(const ExternalServer &) = delete;
    ExternalServer &operator=(const ExternalServer &) = delete;
    ~ExternalServer()
    {
        if (m_process) {
            m_process->terminate();
            if (!m_process->waitForFinished(3000))
                m_process->kill();
            m_process->waitForFinished(3000);
        }
    }

    // Builds the program's arguments for a port; empty program: not found.
    bool start(const QString &program, const std::function<QStringList(quint16)> &arguments)
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost, 0);
            m_port = probe.serverPort();
            probe.close();
            m_process = std::make_unique<QProcess>();
            m_process->setProcessChannelMode(QProcess::MergedChannels);
            m_process->start(program, arguments(m_port));
            if (!m_process->waitForStarted(5000))
                return false;
            for (int wait = 0; wait < 100 && m_process->state() == QProcess::Running; ++wait) {
                QTcpSocket socket;
                socket.connectToHost(QHostAddress::LocalHost, m_port);
                if (socket.waitForConnected(100))
                    return true;
                QTest::qWait(50);
            }
            m_process->kill();
            m_process->waitForFinished(3000);
            m_output += QString::fromLocal8Bit(m_process->readAll());
        }
        return false;
    }

    // What the server said while failing to start.
    const QString &output() const { return m_output; }

    QString url(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path); }

private:
    std::unique_ptr<QProcess> m_process;
    quint16 m_port = 0;
    QString m_output;
};

QString findServerProgram(const QString &name)
{
    const QString found = QStandardPaths::findExecutable(name);
    if (!found.isEmpty())
        return found;
    return QStandardPaths::findExecutable(name,
                                          {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin"),
                                           QStringLiteral("/opt/homebrew/bin"), QStringLiteral("/usr/local/bin")});
}

} // namespace

class tst_NginxIndexParser final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void extractVersion_data();
    void extractVersion();
    void listings_data();
    void listings();
    void relativeLinksAfterRedirect();
    void continuesOnCallersThread();
    void failures_data();
    void failures();
    void invalidAddressSendsNothing_data();
    void invalidAddressSendsNothing();
    void realServerListings_data();
    void realServerListings();

private:
    TestHttpServer m_server;
    QNetworkAccessManager m_network;
};

void tst_NginxIndexParser::extractVersion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // null: no version

    const auto row = [](const char *name, const QString &text, const QString &expected) {
        QTest::newRow(name) << text << expected;
    };
    // The listing table covers the file and folder spellings; these are the rest.
    row("leading v not captured", "v2.0/", "2.0");
    row("underscore ends the version", "app-1.2.3_arm64.zip", "1.2.3");
    row("first of several, whole text searched", "10.15/app-1.2.dmg", "10.15");
    row("empty suffix kept", "app-2.0-", "2.0-");
    row("no digits", "README", QString());
    row("empty", "", QString());
}

void tst_NginxIndexParser::extractVersion()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);

    const auto version = NginxIndexParser::extractVersion(text);
    QCOMPARE(version.has_value(), !expected.isNull());
    if (version)
        QCOMPARE(*version, expected);
}

void tst_NginxIndexParser::listings_data()
{
    QTest::addColumn<QString>("path"); // where the page is served
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QVariant>("pattern");     // invalid: no template
    QTest::addColumn<QStringList>("expected"); // "{base}" is the server's address

    const QVariant none;
    QTest::newRow("sort and parent links skipped, newest first")
        << "/rel/" << nginxPage({"../", "?C=N;O=D", "MyApp-1.2.0.dmg", "MyApp-1.10.0.dmg", "MyApp-1.9.0.dmg"}) << none
        << QStringList{"1.10.0 {base}/rel/MyApp-1.10.0.dmg", "1.9.0 {base}/rel/MyApp-1.9.0.dmg",
                       "1.2.0 {base}/rel/MyApp-1.2.0.dmg"};
    QTest::newRow("address without trailing slash resolves in the parent folder")
        << "/files/rel" << nginxPage({"MyApp-1.0.dmg"}) << none << QStringList{"1.0 {base}/files/MyApp-1.0.dmg"};
    QTest::newRow("version folders without template")
        << "/rel/" << nginxPage({"../", "2.0.0/", "2.0.1/"}) << none << QStringList{"2.0.1 -", "2.0.0 -"};
    QTest::newRow("version folders with template")
        << "/rel/" << nginxPage({"2.0.0/", "2.0.1/"})
        << QVariant(QStringLiteral("https://dl.example.com/download/v{version}/MyApp-{version}.dmg"))
        << QStringList{"2.0.1 https://dl.example.com/download/v2.0.1/MyApp-2.0.1.dmg",
                       "2.0.0 https://dl.example.com/download/v2.0.0/MyApp-2.0.0.dmg"};
    QTest::newRow("template replaces package links too, both spellings")
        << "/rel/" << nginxPage({"MyApp-1.0.dmg"}) << QVariant(QStringLiteral("https://x.cn/{VERSION}/a-{version}.zip"))
        << QStringList{"1.0 https://x.cn/1.0/a-1.0.zip"};
    QTest::newRow("empty template counts as none") << "/rel/" << nginxPage({"MyApp-1.0.dmg"}) << QVariant(QString())
                                                   << QStringList{"1.0 {base}/rel/MyApp-1.0.dmg"};
    QTest::newRow("first link in page order wins") << "/rel/" << nginxPage({"MyApp-2.0.dmg", "MyApp-2.0.zip"}) << none
                                                   << QStringList{"2.0 {base}/rel/MyApp-2.0.dmg"};
    QTest::newRow("single number has no version") << "/rel/" << nginxPage({"MyApp_2.dmg"}) << none << QStringList{};
    QTest::newRow("four parts, not a package ending")
        << "/rel/" << nginxPage({"tool-3.4.5.6.tar.gz"}) << none << QStringList{"3.4.5 -"};
    QTest::newRow("suffixes and folder spellings")
        << "/rel/" << nginxPage({"MyApp-2.0.0.dmg", "MyApp-2.0.0-beta.1.dmg", "2.1.0-rc1/", "V3.0/"}) << none
        << QStringList{"3.0 -", "2.1.0-rc1 -", "2.0.0-beta.1.dmg {base}/rel/MyApp-2.0.0-beta.1.dmg",
                       "2.0.0 {base}/rel/MyApp-2.0.0.dmg"};
    QTest::newRow("numerically equal versions keep page order")
        << "/rel/" << nginxPage({"1.02/", "1.2/", "1.10/"}) << none << QStringList{"1.10 -", "1.02 -", "1.2 -"};
    QTest::newRow("element broken by a line feed")
        << "/rel/" << QByteArray("<a href=\"MyApp-1.0.dmg\">MyApp\n-1.0.dmg</a>\n<a href=\"MyApp-2.0.dmg\">x</a>\n")
        << none << QStringList{"2.0 {base}/rel/MyApp-2.0.dmg"};
    QTest::newRow("element broken by a lone carriage return")
        << "/rel/" << QByteArray("<a href=\"MyApp-1.0.dmg\">MyApp\r-1.0.dmg</a>\r<a href=\"MyApp-2.0.dmg\">x</a>\r")
        << none << QStringList{"2.0 {base}/rel/MyApp-2.0.dmg"};
    QTest::newRow("line break inside the opening tag is fine")
        << "/rel/" << QByteArray("<a\r\n  href=\"MyApp-1.0.dmg\">MyApp</a>") << none
        << QStringList{"1.0 {base}/rel/MyApp-1.0.dmg"};
    QTest::newRow("upper-case ending gives no address")
        << "/rel/" << nginxPage({"MyApp-1.0.DMG"}) << none << QStringList{"1.0 -"};
    QTest::newRow("absolute link keeps its own host")
        << "/rel/" << nginxPage({"https://mirror.example.org/pub/MyApp-4.0.pkg"}) << none
        << QStringList{"4.0 https://mirror.example.org/pub/MyApp-4.0.pkg"};
    QTest::newRow("root-relative link") << "/a/b/" << nginxPage({"/pub/MyApp-4.1.zip"}) << none
                                        << QStringList{"4.1 {base}/pub/MyApp-4.1.zip"};
    QTest::newRow("link text is never searched")
        << "/rel/" << QByteArray("<a href=\"download\">MyApp-1.0.dmg</a>") << none << QStringList{};
    QTest::newRow("query and fragment links with versions skipped")
        << "/rel/" << nginxPage({"?v=1.2.3", "#4.5", "../1.0/"}) << none << QStringList{"1.0 -"};
    QTest::newRow("single quotes and other attributes")
        << "/rel/" << QByteArray("<a class=\"f\" href='MyApp-1.1.zip' title=\"x\">MyApp</a>") << none
        << QStringList{"1.1 {base}/rel/MyApp-1.1.zip"};
    QTest::newRow("percent-encoded name: version read decoded, address kept encoded")
        << "/rel/" << nginxPage({"My%20App%204.5.6.zip", "MyApp-4.5.5.zip"}) << none
        << QStringList{"4.5.6 {base}/rel/My%20App%204.5.6.zip", "4.5.5 {base}/rel/MyApp-4.5.5.zip"};
    QTest::newRow("escaped ampersand decoded")
        << "/rel/" << nginxPage({"a&amp;b-6.0.zip"}) << none << QStringList{"6.0 {base}/rel/a&b-6.0.zip"};
    QTest::newRow("numeric character references decoded")
        << "/rel/" << nginxPage({"MyApp&#45;7.0&#x2E;dmg"}) << none << QStringList{"7.0 {base}/rel/MyApp-7.0.dmg"};
    QTest::newRow("unknown reference left as written")
        << "/rel/" << nginxPage({"a&copy;-8.0/"}) << none << QStringList{"8.0 -"};
}

void tst_NginxIndexParser::listings()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, page);
    QFETCH(QVariant, pattern);
    QFETCH(QStringList, expected);

    m_server.routeBody(path, page, "text/html");
    const auto templ = pattern.isValid() ? std::optional(pattern.toString()) : std::nullopt;
    NginxIndexParser parser(&m_network);
    auto future = parser.parseVersions(m_server.url(path).toString(), templ);
    QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 10000);
    const QString base = m_server.url(QString()).toString();
    const auto versions = future.result();
    QCOMPARE(describe(versions), expected.replaceInStrings(QStringLiteral("{base}"), base));
    for (const auto &v : versions) {
        QCOMPARE(v.changelog, std::optional(QStringLiteral("从版本目录自动解析")));
        QVERIFY(!v.releaseDate && !v.fileSize);
    }
}

void tst_NginxIndexParser::relativeLinksAfterRedirect()
{
    // A listing asked for without its trailing slash is usually redirected to
    // it; its links belong to the address the page came from.
    m_server.routeRedirect(QStringLiteral("/latest"), QStringLiteral("/files/v/"));
    m_server.routeBody(QStringLiteral("/files/v/"), nginxPage({"../", "MyApp-3.2.1.dmg"}), "text/html");
    NginxIndexParser parser(&m_network);
    auto future = parser.parseVersions(m_server.url(QStringLiteral("/latest")).toString());
    QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 10000);
    QCOMPARE(describe(future.result()),
             QStringList{"3.2.1 " + m_server.url(QStringLiteral("/files/v/MyApp-3.2.1.dmg")).toString()});
}

void tst_NginxIndexParser::continuesOnCallersThread()
{
    m_server.routeBody(QStringLiteral("/threads/"), nginxPage({"MyApp-1.0.dmg"}), "text/html");
    NginxIndexParser parser(&m_network);
    const QString address = m_server.url(QStringLiteral("/threads/")).toString();

    // Started on the main thread: a continuation bound to a main-thread
    // object runs there.
    QObject context;
    QThread *ranOn = nullptr;
    int count = -1;
    parser.parseVersions(address).then(&context, [&](const QList<AppVersion> &versions) {
        ranOn = QThread::currentThread();
        count = int(versions.size());
    });
    QTRY_VERIFY_WITH_TIMEOUT(ranOn != nullptr, 10000);
    QCOMPARE(ranOn, QThread::currentThread());
    QCOMPARE(count, 1);

    // Started from a worker: the transfer still runs on the manager's thread.
    auto fromWorker = QtConcurrent::run([&parser, address] { return parser.parseVersions(address); }).unwrap();
    QTRY_VERIFY_WITH_TIMEOUT(fromWorker.isFinished(), 10000);
    QCOMPARE(fromWorker.result().size(), 1);
}

void tst_NginxIndexParser::failures_data()
{
    QTest::addColumn<QString>("address"); // "{base}" is the server's address
    QTest::addColumn<UrlError::Code>("code");
    QTest::addColumn<QString>("mentions");

    QTest::newRow("404") << "{base}/missing/" << UrlError::Code::badServerResponse << "404";
    QTest::newRow("204 is not 200") << "{base}/empty/" << UrlError::Code::badServerResponse << "204";
    QTest::newRow("redirect ending in 404") << "{base}/moved" << UrlError::Code::badServerResponse << "404";
    QTest::newRow("GBK page") << "{base}/gbk/" << UrlError::Code::cannotDecodeRawData << "UTF-8";
    QTest::newRow("UTF-8 cut mid-character") << "{base}/cut/" << UrlError::Code::cannotDecodeRawData << "UTF-8";
    QTest::newRow("no answer within the time-out") << "{base}/stall/" << UrlError::Code::timedOut << "超时";
    QTest::newRow("page over the size limit") << "{base}/huge/" << UrlError::Code::dataLengthExceedsMaximum << "MB";
    QTest::newRow("page over the limit, length not announced")
        << "{base}/huge-unannounced/" << UrlError::Code::dataLengthExceedsMaximum << "MB";
    QTest::newRow("connection refused") << "http://127.0.0.1:1/" << UrlError::Code::transport << "";
}

void tst_NginxIndexParser::failures()
{
    QFETCH(QString, address);
    QFETCH(UrlError::Code, code);
    QFETCH(QString, mentions);

    TestHttpServer::Reply empty;
    empty.status = 204;
    m_server.route(QStringLiteral("/empty/"), empty);
    m_server.routeRedirect(QStringLiteral("/moved"), QStringLiteral("/gone/"));
    m_server.routeBody(QStringLiteral("/gbk/"), "<a href=\"\xC4\xE3\xBA\xC3-1.0.dmg\">\xC4\xE3</a>", "text/html");
    m_server.routeBody(QStringLiteral("/cut/"), "<a href=\"MyApp-1.0.dmg\">\xE4\xB8", "text/html");
    TestHttpServer::Reply stall;
    stall.stall = true;
    m_server.route(QStringLiteral("/stall/"), stall);
    const QByteArray huge = nginxPage({"MyApp-1.0.dmg"}) + QByteArray(200 * 1000, ' ');
    m_server.routeBody(QStringLiteral("/huge/"), huge, "text/html");
    TestHttpServer::Reply unannounced;
    unannounced.body = huge;
    unannounced.sendContentLength = false;
    m_server.route(QStringLiteral("/huge-unannounced/"), unannounced);

    NginxIndexParser parser(&m_network, 1000, 100 * 1000);
    auto future =
        parser.parseVersions(QString(address).replace(QStringLiteral("{base}"), m_server.url(QString()).toString()));
    QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 10000);
    const auto error = failureOf(future);
    QVERIFY(error);
    QCOMPARE(error->code(), code);
    QVERIFY2(error->localizedDescription().contains(mentions), qPrintable(error->localizedDescription()));
    QVERIFY(!error->localizedDescription().isEmpty());
    if (code == UrlError::Code::transport) {
        // Qt's own text, unchanged.
        QCOMPARE(error->networkError(), QNetworkReply::ConnectionRefusedError);
        QVERIFY(error->localizedDescription().contains(QStringLiteral("refused"), Qt::CaseInsensitive));
    }
}

void tst_NginxIndexParser::invalidAddressSendsNothing_data()
{
    QTest::addColumn<QString>("address");

    QTest::newRow("empty") << "";
    QTest::newRow("no scheme") << "127.0.0.1/releases/";
    QTest::newRow("scheme only") << "http://";
    QTest::newRow("space in the host") << "http://exa mple.com/";
    QTest::newRow("not a web address") << "file:///etc/";
    QTest::newRow("leading space as typed") << " http://127.0.0.1/";
}

void tst_NginxIndexParser::invalidAddressSendsNothing()
{
    QFETCH(QString, address);

    const auto requestsBefore = m_server.requests().size();
    NginxIndexParser parser(&m_network);
    auto future = parser.parseVersions(address);
    QVERIFY(future.isFinished());
    const auto error = failureOf(future);
    QVERIFY(error);
    QCOMPARE(error->code(), UrlError::Code::badURL);
    QTest::qWait(50);
    QCOMPARE(m_server.requests().size(), requestsBefore);
}

void tst_NginxIndexParser::realServerListings_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("path");

    // Asked for without the trailing slash, both servers redirect first.
    QTest::newRow("nginx autoindex") << "nginx"
                                     << "/rel/";
    QTest::newRow("nginx autoindex, redirected") << "nginx"
                                                 << "/rel";
    QTest::newRow("Python http.server") << "python3"
                                        << "/rel/";
    QTest::newRow("Python http.server, redirected") << "python3"
                                                    << "/rel";
}

void tst_NginxIndexParser::realServerListings()
{
    QFETCH(QString, server);
    QFETCH(QString, path);

    const QString program = findServerProgram(server);
    if (program.isEmpty())
        QFAIL(qPrintable(server + " is not installed: run scripts/setup"));

    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString releases = root.filePath(QStringLiteral("www/rel"));
    const QStringList files = {"MyApp-1.2.0.dmg",  "MyApp-1.2.0.dmg.sha256",
                               "MyApp-1.10.0.dmg", "MyApp-1.9.0.dmg",
                               "My App 4.5.6.zip", "a&b-6.0.zip",
                               "quote'd-7.0.zip",  QStringLiteral("中文版-3.1.pkg"),
                               "notes.txt"};
    for (const auto &name : files)
        TestFolders::writeFile(releases, name, "contents of " + name.toUtf8());
    QVERIFY(QDir(releases).mkpath(QStringLiteral("2.0.1")));
    QVERIFY(QDir(releases).mkpath(QStringLiteral("v3.0")));

    ExternalServer running;
    bool started = false;
    if (server == u"nginx") {
        const QString prefix = root.filePath(QStringLiteral("nginx"));
        QVERIFY(QDir().mkpath(prefix + QStringLiteral("/logs")));
        started = running.start(program, [&](quint16 port) {
            const QString config =
                QStringLiteral("worker_processes 1; master_process off; daemon off; pid %1/nginx.pid;\n"
                               "error_log %1/logs/error.log;\nevents {}\n"
                               "http { access_log off; client_body_temp_path %1/body; proxy_temp_path %1/proxy;\n"
                               "  fastcgi_temp_path %1/fastcgi; uwsgi_temp_path %1/uwsgi; scgi_temp_path %1/scgi;\n"
                               "  server { listen 127.0.0.1:%2; root %3; autoindex on; } }\n")
                    .arg(prefix)
                    .arg(port)
                    .arg(root.filePath(QStringLiteral("www")));
            TestFolders::writeFile(prefix, QStringLiteral("nginx.conf"), config.toUtf8());
            return QStringList{"-p", prefix, "-e", prefix + "/logs/error.log", "-c", prefix + "/nginx.conf"};
        });
    } else {
        started = running.start(program, [&](quint16 port) {
            return QStringList{"-m",
                               "http.server",
                               QString::number(port),
                               "--bind",
                               "127.0.0.1",
                               "--directory",
                               root.filePath(QStringLiteral("www"))};
        });
    }
    QVERIFY2(started, qPrintable(server + " did not start: " + running.output()));

    NginxIndexParser parser(&m_network);
    auto future = parser.parseVersions(running.url(path));
    QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 15000);
    const auto versions = future.result();

    QStringList found;
    for (const auto &v : versions)
        found << v.version + (v.downloadUrl ? QString() : QStringLiteral(" (folder)"));
    QCOMPARE(found,
             (QStringList{"7.0", "6.0", "4.5.6", "3.1", "3.0 (folder)", "2.0.1 (folder)", "1.10.0", "1.9.0", "1.2.0"}));

    // Every address must fetch the very file it was read from.
    const QStringList expectedFiles = {
        "quote'd-7.0.zip",  "a&b-6.0.zip",     "My App 4.5.6.zip", QStringLiteral("中文版-3.1.pkg"), "", "",
        "MyApp-1.10.0.dmg", "MyApp-1.9.0.dmg", "MyApp-1.2.0.dmg"};
    for (qsizetype i = 0; i < versions.size(); ++i) {
        if (!versions[i].downloadUrl)
            continue;
        std::unique_ptr<QNetworkReply> reply(m_network.get(QNetworkRequest(QUrl(*versions[i].downloadUrl))));
        QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 10000);
        QVERIFY2(reply->error() == QNetworkReply::NoError, qPrintable(*versions[i].downloadUrl));
        QCOMPARE(reply->readAll(), "contents of " + expectedFiles[i].toUtf8());
    }
}

QTEST_GUILESS_MAIN(tst_NginxIndexParser)
#include "tst_NginxIndexParser.moc"
