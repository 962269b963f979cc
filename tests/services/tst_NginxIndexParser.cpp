#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

#include <memory>

#include "services/NginxIndexParser.h"
#include "services/UrlError.h"
#include "support/RealServer.h"
#include "support/TestFolders.h"
#include "support/TestHttpServer.h"

namespace {

// Lines shaped like nginx's autoindex: one link per line, CRLF line ends.
QByteArray page(const QStringList &hrefs)
{
    QByteArray html = "<html>\r\n<head><title>Index of /rel/</title></head>\r\n<body>\r\n"
                      "<h1>Index of /rel/</h1><hr><pre>";
    for (const auto &href : hrefs)
        html += "<a href=\"" + href.toUtf8() + "\">" + href.toUtf8() + "</a>       06-Dec-2026 07:28     42\r\n";
    return html + "</pre><hr></body>\r\n</html>\r\n";
}

} // namespace

class tst_NginxIndexParser final : public QObject
{
    Q_OBJECT

    TestHttpServer m_server;
    QNetworkAccessManager m_network;

private Q_SLOTS:
    void listings_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QString>("expected"); // "version address" per version, "~" for the server, "-" for none
        QTest::addColumn<QString>("pattern");  // null: no template
        QTest::addColumn<QString>("path");     // "asked>served" when the server redirects
        // html: markup as written when it starts with "<", else the link targets of an autoindex page
        const auto row = [](const char *name, const char *html, const char *expected, const char *pattern = nullptr,
                            const char *path = "/rel/") {
            const QByteArray markup(html);
            QTest::newRow(name) << (markup.startsWith('<') ? markup : page(QString(html).split(u' '))) << expected
                                << pattern << path;
        };
        row("sort and parent links skipped, newest first",
            "../ ?C=N;O=D MyApp-1.2.0.dmg MyApp-1.10.0.dmg MyApp-1.9.0.dmg",
            "1.10.0 ~/rel/MyApp-1.10.0.dmg, 1.9.0 ~/rel/MyApp-1.9.0.dmg, 1.2.0 ~/rel/MyApp-1.2.0.dmg");
        row("no trailing slash: resolved in the parent", "MyApp-1.0.dmg", "1.0 ~/files/MyApp-1.0.dmg", {},
            "/files/rel");
        // A listing asked for without its slash is usually redirected; its links belong to where the page came from.
        row("links after a redirect", "../ A-3.2.1.dmg", "3.2.1 ~/files/v/A-3.2.1.dmg", {}, "/latest>/files/v/");
        row("version folders without template", "../ 2.0.0/ 2.0.1/", "2.0.1 -, 2.0.0 -");
        row("version folders with template", "2.0.0/ 2.0.1/",
            "2.0.1 https://d.cn/v2.0.1/A-2.0.1.dmg, 2.0.0 "
            "https://d.cn/v2.0.0/A-2.0.0.dmg",
            "https://d.cn/v{version}/A-{version}.dmg");
        row("template replaces package links, both spellings", "A-1.0.dmg", "1.0 https://x.cn/1.0/a-1.0.zip",
            "https://x.cn/{VERSION}/a-{version}.zip");
        row("empty template counts as none", "MyApp-1.0.dmg", "1.0 ~/rel/MyApp-1.0.dmg", "");
        row("first link in page order wins", "MyApp-2.0.dmg MyApp-2.0.zip", "2.0 ~/rel/MyApp-2.0.dmg");
        // The first version anywhere in the target, a leading v left out, an underscore ending it, a suffix kept.
        row("version texts", "v2.0/ app-1.2.3_arm64.zip 10.15/app-1.2.dmg app-2.0- README",
            "10.15 ~/rel/10.15/app-1.2.dmg, 2.0- -, 2.0 -, 1.2.3 ~/rel/app-1.2.3_arm64.zip");
        row("single number has no version", "MyApp_2.dmg", "");
        row("four parts, not a package ending", "tool-3.4.5.6.tar.gz", "3.4.5 -");
        row("suffixes and folder spellings", "A-2.0.0.dmg A-2.0.0-beta.1.dmg 2.1.0-rc1/ V3.0/",
            "3.0 -, 2.1.0-rc1 -, 2.0.0-beta.1.dmg ~/rel/A-2.0.0-beta.1.dmg, 2.0.0 ~/rel/A-2.0.0.dmg");
        row("numerically equal versions keep page order", "1.02/ 1.2/ 1.10/", "1.10 -, 1.02 -, 1.2 -");
        row("element broken by a line feed", "<a href=\"A-1.0.dmg\">A\n-1.0.dmg</a>\n<a href=\"A-2.0.dmg\">x</a>\n",
            "2.0 ~/rel/A-2.0.dmg");
        row("element broken by a lone CR", "<a href=\"A-1.0.dmg\">A\r-1.0.dmg</a>\r<a href=\"A-2.0.dmg\">x</a>\r",
            "2.0 ~/rel/A-2.0.dmg");
        row("line break inside the opening tag is fine", "<a\r\n  href=\"A-1.0.dmg\">A</a>", "1.0 ~/rel/A-1.0.dmg");
        row("unclosed links: the text runs to the next close on the line",
            "<a href=\"A-1.0.dmg\">x<a href=\"A-2.0.dmg\">y</a><a href=\"A-3.0.dmg\">\n<a href=\"A-4.0.dmg\">",
            "1.0 ~/rel/A-1.0.dmg");
        row("only web addresses become downloads",
            "javascript:alert(1)//A-1.0.dmg file:///etc/A-2.0.dmg data:,A-3.0.zip", "3.0 -, 2.0 -, 1.0 -");
        row("template that is not a web address", "A-1.0.dmg", "1.0 -", "file:///tmp/{version}.dmg");
        row("upper-case ending gives no address", "MyApp-1.0.DMG", "1.0 -");
        row("absolute link keeps its own host", "https://m.org/pub/A-4.0.pkg", "4.0 https://m.org/pub/A-4.0.pkg");
        row("root-relative link", "/pub/MyApp-4.1.zip", "4.1 ~/pub/MyApp-4.1.zip", {}, "/a/b/");
        row("link text is never searched", "<a href=\"download\">MyApp-1.0.dmg</a>", "");
        row("query and fragment links with versions skipped", "?v=1.2.3 #4.5 ../1.0/", "1.0 -");
        row("single quotes and other attributes", "<a class=\"f\" href='A-1.1.zip' title=\"x\">A</a>",
            "1.1 ~/rel/A-1.1.zip");
        row("numeric character references decoded", "MyApp&#45;7.0&#x2E;dmg", "7.0 ~/rel/MyApp-7.0.dmg");
        row("unknown reference left as written", "a&copy;-8.0/", "8.0 -");
    }

    void listings()
    {
        QFETCH(QByteArray, html);
        QFETCH(QString, expected);
        QFETCH(QString, pattern);
        QFETCH(QString, path);

        const QString asked = path.section(u'>', 0, 0), served = path.section(u'>', -1);
        if (asked != served)
            m_server.routeRedirect(asked, served);
        m_server.routeBody(served, html, "text/html");
        NginxIndexParser parser(&m_network);
        auto future = parser.parseVersions(m_server.url(asked).toString(),
                                           pattern.isNull() ? std::nullopt : std::optional(pattern));
        QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 10000);
        QStringList found;
        for (const auto &v : future.result()) {
            found << v.version + u' ' + v.downloadUrl.value_or(QStringLiteral("-"));
            QCOMPARE(v.changelog, std::optional(QStringLiteral("从版本目录自动解析")));
            QVERIFY(!v.releaseDate && !v.fileSize);
        }
        QCOMPARE(found.join(QStringLiteral(", ")), expected.replace(u'~', m_server.url(QString()).toString()));
    }

    void continuesOnCallersThread()
    {
        m_server.routeBody(QStringLiteral("/threads/"), page({"MyApp-1.0.dmg"}), "text/html");
        NginxIndexParser parser(&m_network);
        const QString address = m_server.url(QStringLiteral("/threads/")).toString();

        // Started on the main thread: a continuation bound to a main-thread object runs there.
        QObject context;
        QThread *ranOn = nullptr;
        parser.parseVersions(address).then(&context,
                                           [&](const QList<AppVersion> &) { ranOn = QThread::currentThread(); });
        QTRY_VERIFY_WITH_TIMEOUT(ranOn != nullptr, 10000);
        QCOMPARE(ranOn, QThread::currentThread());

        // Started from a worker: the transfer still runs on the manager's thread.
        auto fromWorker = QtConcurrent::run([&parser, address] { return parser.parseVersions(address); }).unwrap();
        QTRY_VERIFY_WITH_TIMEOUT(fromWorker.isFinished(), 10000);
        QCOMPARE(fromWorker.result().size(), 1);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("address"); // "~": the test server
        QTest::addColumn<UrlError::Code>("code");
        QTest::addColumn<QString>("mentions");
        using C = UrlError::Code;
        QTest::newRow("404") << "~/missing/" << C::badServerResponse << "404";
        QTest::newRow("204 is not 200") << "~/empty/" << C::badServerResponse << "204";
        QTest::newRow("redirect ending in 404") << "~/moved" << C::badServerResponse << "404";
        QTest::newRow("redirect loop") << "~/loop/" << C::badRedirect << "循环";
        QTest::newRow("GBK page") << "~/gbk/" << C::cannotDecodeRawData << "UTF-8";
        QTest::newRow("UTF-8 cut mid-character") << "~/cut/" << C::cannotDecodeRawData << "UTF-8";
        QTest::newRow("no answer within the time-out") << "~/stall/" << C::timedOut << "超时";
        QTest::newRow("page over the size limit") << "~/huge/" << C::dataLengthExceedsMaximum << "MB";
        QTest::newRow("over the limit, length not announced") << "~/huge-x/" << C::dataLengthExceedsMaximum << "MB";
        QTest::newRow("connection refused") << "http://127.0.0.1:1/" << C::transport << "连接被拒绝";
        // Invalid addresses fail at once, before anything is sent.
        QTest::newRow("empty") << "" << C::badURL << "http://";
        QTest::newRow("no scheme") << "127.0.0.1/releases/" << C::badURL << "http://";
        QTest::newRow("scheme only") << "http://" << C::badURL << "http://";
        QTest::newRow("space in the host") << "http://exa mple.com/" << C::badURL << "http://";
        QTest::newRow("not a web address") << "file:///etc/" << C::badURL << "http://";
        QTest::newRow("leading space as typed") << " http://127.0.0.1/" << C::badURL << "http://";
    }

    void failures()
    {
        QFETCH(QString, address);
        QFETCH(UrlError::Code, code);
        QFETCH(QString, mentions);

        const QByteArray huge = page({"MyApp-1.0.dmg"}) + QByteArray(200 * 1000, ' ');
        m_server.route(QStringLiteral("/empty/"), {.status = 204});
        m_server.routeRedirect(QStringLiteral("/moved"), QStringLiteral("/gone/"));
        m_server.routeRedirect(QStringLiteral("/loop/"), QStringLiteral("/loop/"));
        m_server.routeBody(QStringLiteral("/gbk/"), "<a href=\"\xC4\xE3\xBA\xC3-1.0.dmg\">\xC4\xE3</a>", "text/html");
        m_server.routeBody(QStringLiteral("/cut/"), "<a href=\"MyApp-1.0.dmg\">\xE4\xB8", "text/html");
        m_server.route(QStringLiteral("/stall/"), {.stall = true});
        m_server.routeBody(QStringLiteral("/huge/"), huge, "text/html");
        m_server.route(QStringLiteral("/huge-x/"), {.body = huge, .sendContentLength = false});

        const auto requestsBefore = m_server.requests().size();
        NginxIndexParser parser(&m_network, 1000, 100 * 1000);
        auto future = parser.parseVersions(address.replace(u'~', m_server.url(QString()).toString()));
        if (code == UrlError::Code::badURL)
            QVERIFY(future.isFinished());
        QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 10000);
        try {
            future.result();
            QFAIL("no failure");
        } catch (const UrlError &error) {
            QCOMPARE(error.code(), code);
            QVERIFY2(error.localizedDescription().contains(mentions, Qt::CaseInsensitive),
                     qPrintable(error.localizedDescription()));
            if (code == UrlError::Code::transport) {
                QCOMPARE(error.networkError(), QNetworkReply::ConnectionRefusedError);
                // Qt's English words stay for whoever looks into the failure.
                QVERIFY(error.technicalText().contains(QStringLiteral("refused"), Qt::CaseInsensitive));
            }
        }
        if (code == UrlError::Code::badURL) {
            QTest::qWait(50);
            QCOMPARE(m_server.requests().size(), requestsBefore);
        }
    }

    void realServerListings_data()
    {
        QTest::addColumn<QString>("server");
        QTest::newRow("nginx autoindex") << "nginx";
        QTest::newRow("Python http.server") << "python3";
    }

    void realServerListings()
    {
        QFETCH(QString, server);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString www = root.filePath(QStringLiteral("www")), releases = www + QStringLiteral("/rel");
        for (const QString name : {"MyApp-1.2.0.dmg", "MyApp-1.2.0.dmg.sha256", "MyApp-1.10.0.dmg", "MyApp-1.9.0.dmg",
                                   "My App 4.5.6.zip", "a&b-6.0.zip", "quote'd-7.0.zip", "中文版-3.1.pkg", "notes.txt"})
            TestFolders::writeFile(releases, name, "contents of " + name.toUtf8());
        QVERIFY(QDir(releases).mkpath(QStringLiteral("2.0.1")));
        QVERIFY(QDir(releases).mkpath(QStringLiteral("v3.0")));
        RealServer running;
        const QString failure =
            server == u"nginx"
                ? running.startNginx(root.filePath(QStringLiteral("nginx")), www)
                : running.start(server, [&](quint16 port) {
                      return QStringList{"-m", "http.server", QString::number(port), "--bind", "127.0.0.1",
                                         "--directory", www};
                  });
        QVERIFY2(failure.isEmpty(), qPrintable(failure));

        // Asked for without the trailing slash, both servers redirect first.
        for (const char *path : {"/rel/", "/rel"}) {
            NginxIndexParser parser(&m_network);
            auto future = parser.parseVersions(running.url(QString::fromLatin1(path)));
            QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 15000);
            // Every address must fetch the very file its version was read from.
            QStringList found;
            for (const auto &v : future.result()) {
                QString fetched = QStringLiteral("(folder)");
                if (v.downloadUrl) {
                    std::unique_ptr<QNetworkReply> reply(m_network.get(QNetworkRequest(QUrl(*v.downloadUrl))));
                    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 10000);
                    fetched = QString::fromUtf8(reply->readAll());
                }
                found << v.version + u' ' + fetched;
            }
            QCOMPARE(found, (QStringList{"7.0 contents of quote'd-7.0.zip", "6.0 contents of a&b-6.0.zip",
                                         "4.5.6 contents of My App 4.5.6.zip", "3.1 contents of 中文版-3.1.pkg",
                                         "3.0 (folder)", "2.0.1 (folder)", "1.10.0 contents of MyApp-1.10.0.dmg",
                                         "1.9.0 contents of MyApp-1.9.0.dmg", "1.2.0 contents of MyApp-1.2.0.dmg"}));
        }
    }
};

QTEST_GUILESS_MAIN(tst_NginxIndexParser)
#include "tst_NginxIndexParser.moc"
