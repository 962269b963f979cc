#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "models/ByteFormat.h"
#include "platform/ExtendedAttributes.h"
#include "services/DownloadManager.h"
#include "support/TestFolders.h"
#include "support/TestHttpServer.h"

using namespace std::chrono_literals;
using Reply = TestHttpServer::Reply;
using Kind = DownloadStatus::Kind;

namespace {

const QString key = QStringLiteral("foo-1.0");
// Bytes no sniffing rule recognises as a package or a page.
const QByteArray opaqueBody = QByteArray("opaque package bytes ").repeated(50);
// A ZIP archive by its first bytes.
const QByteArray packageBody = "PK\x03\x04" + opaqueBody;

QByteArray diskImageBody()
{
    return QByteArray(4096, '\0') + "koly" + QByteArray(508, '\0');
}

Reply held(qint64 length, const QByteArray &body = {})
{
    return Reply{.body = body, .contentLength = length, .hold = true};
}

} // namespace

class tst_DownloadManager : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<TestHttpServer> m_server;
    std::unique_ptr<DownloadManager> m_manager;
    QDateTime m_now;

    QString cachePath() const { return m_root->filePath("cache"); }

    void start(const QString &path, const QString &appId = "foo", const QString &version = "1.0")
    {
        m_manager->startDownload(appId, "Foo", version, m_server->url(path));
    }

    DownloadTaskItem waitForEnd(const QString &taskKey = key)
    {
        // Callers check the returned status, so a record still running fails there.
        const auto ended = [&] {
            return !m_manager->task(taskKey).value_or(DownloadTaskItem{}).status.isDownloading();
        };
        (void)QTest::qWaitFor(ended, 10000);
        return m_manager->task(taskKey).value_or(DownloadTaskItem{});
    }

    // Every entry of the cache folder, hidden ones included.
    QStringList cacheEntries() const
    {
        return TestFolders::entries(cachePath());
    }

private Q_SLOTS:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
        m_server = std::make_unique<TestHttpServer>();
        m_manager = std::make_unique<DownloadManager>(cachePath());
        m_now = QDateTime(QDate(2024, 5, 1), QTime(12, 0));
        m_manager->setClock([this] { return m_now; });
        // Generous, so a busy machine never times out a download that is meant to succeed.
        m_manager->setIdleTimeout(5s);
    }

    void cleanup()
    {
        m_manager.reset();
        m_server.reset();
        m_root.reset();
    }

    void fileName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("disposition");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected");
        const QByteArray none, dmg = diskImageBody(), zip = packageBody;
        const auto named = [](const QByteArray &name) { return "attachment; filename=\"" + name + "\""; };

        QTest::newRow("last path component") << "/files/Docker.dmg" << none << dmg << "Docker.dmg";
        QTest::newRow("percent-decoded") << "/files/My%20App.dmg" << none << dmg << "My App.dmg";
        QTest::newRow("after redirect") << "/go" << none << dmg << "Final.dmg";
        QTest::newRow("quoted filename") << "/d" << named("WeChatMac.dmg") << dmg << "WeChatMac.dmg";
        QTest::newRow("RFC 5987 Chinese wins")
            << "/d" << named("fallback.dmg") + "; filename*=UTF-8''%E5%BE%AE%E4%BF%A1.dmg" << dmg << "微信.dmg";
        QTest::newRow("raw UTF-8 filename") << "/d" << named("\xE5\xBE\xAE\xE4\xBF\xA1.zip") << zip << "微信.zip";
        QTest::newRow("semicolon inside quotes") << "/d" << named("a;b.dmg") << dmg << "a;b.dmg";
        QTest::newRow("path traversal") << "/d" << named("../../x.dmg") << dmg << "x.dmg";
        QTest::newRow("encoded traversal")
            << "/d" << QByteArray("attachment; filename*=UTF-8''..%2F..%2Fy.dmg") << dmg << "y.dmg";
        QTest::newRow("backslashes") << "/d" << named("..\\\\..\\\\evil.zip") << zip << "evil.zip";
        QTest::newRow("hidden name") << "/d" << named(".bashrc.zip") << zip << "bashrc.zip";
        QTest::newRow("control characters") << "/d" << named("a\001b\177.dmg") << dmg << "ab.dmg";
        QTest::newRow("bidi override") << "/d" << QByteArray("attachment; filename*=UTF-8''a%E2%80%AEgpj.zip") << zip
                                       << "agpj.zip";
        QTest::newRow("only dots falls back") << "/" << named("..") << zip << "foo-1.0.zip";
        QTest::newRow("no name at all") << "/" << none << dmg << "foo-1.0.dmg";
        // The content decides the type: an untyped name gains it, a wrong one is replaced.
        QTest::newRow("zip archive") << "/sha/download" << none << zip << "download.zip";
        QTest::newRow("installer package") << "/sha/download" << none << QByteArray("xar!rest") << "download.pkg";
        QTest::newRow("disk image trailer") << "/sha/download" << none << dmg << "download.dmg";
        QTest::newRow("raw ISO image") << "/sha/download" << none << QByteArray(32769, '\0') + "CD001" << "download.dmg";
        QTest::newRow("name claims another type") << "/files/App.dmg" << none << zip << "App.zip";
    }

    // What a killed run left under the key's partial name is started over, not appended to.
    void fileName()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, disposition);
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        TestFolders::writeFile(cachePath(), DownloadManager::partialFileName(key), "left by a killed run");
        Reply reply{.body = body};
        if (!disposition.isEmpty())
            reply.headers.append({"Content-Disposition", disposition});
        m_server->route(path, reply);
        m_server->route("/files/Final.dmg", reply);
        m_server->routeRedirect("/go", "/files/Final.dmg");

        start(path);
        const DownloadTaskItem done = waitForEnd();
        const QString destination = QDir(cachePath()).filePath(expected);
        QCOMPARE(done.status, DownloadStatus::completed(destination));
        QCOMPARE(done.destinationUrl, destination);
        QCOMPARE(done.progress, 1.0);
        QCOMPARE(done.receivedBytes, body.size());
        QCOMPARE(done.totalBytes, body.size());
        QCOMPARE(m_manager->runningCount(), 0);
        QCOMPARE(cacheEntries(), QStringList{expected});
        QCOMPARE(TestFolders::readFile(done.status.fileUrl), body);
        QVERIFY(!QFileInfo::exists(m_root->filePath("x.dmg")));
        QCOMPARE(m_manager->localPackages().size(), 1);
        QCOMPARE(m_manager->localPackages().constFirst().fileSize, body.size());
    }

    // A name already taken is replaced only by a new download of the same app and version.
    void takenNames_data()
    {
        QTest::addColumn<QStringList>(
            "taken"); // "name=appId/version", "name=" (no record), "name/" (folder), "name@" (dangling link)
        QTest::addColumn<QString>("expected");
        QTest::newRow("same app and version: replaced") << QStringList{"App.dmg=foo/1.0"} << "App.dmg";
        QTest::newRow("another app's package") << QStringList{"App.dmg=bar/1.0"} << "App (2).dmg";
        QTest::newRow("same app, other version") << QStringList{"App.dmg=foo/0.9"} << "App (2).dmg";
        QTest::newRow("file from elsewhere") << QStringList{"App.dmg="} << "App (2).dmg";
        QTest::newRow("folder of that name") << QStringList{"App.dmg/"} << "App (2).dmg";
        QTest::newRow("dangling link") << QStringList{"App.dmg@"} << "App (2).dmg";
        QTest::newRow("next number taken too") << QStringList{"App.dmg=bar/1.0", "App (2).dmg/"} << "App (3).dmg";
    }

    void takenNames()
    {
        QFETCH(QStringList, taken);
        QFETCH(QString, expected);
        const QDir cache(cachePath());
        for (const QString &entry : taken) {
            const QString name = entry.section(QRegularExpression("[=/@]"), 0, 0), record = entry.section('=', 1);
            if (entry.endsWith('/'))
                TestFolders::writeFile(cache.filePath(name), "inner.txt", "someone's folder");
            else if (entry.endsWith('@'))
                QVERIFY(QDir().mkpath(cachePath()) && QFile::link(m_root->filePath("target.dmg"), cache.filePath(name)));
            else if (!TestFolders::writeFile(cachePath(), name, "older download").isEmpty() && !record.isEmpty())
                QVERIFY(ExtendedAttributes::write(cache.filePath(name), "appId", record.section('/', 0, 0).toUtf8()) &&
                        ExtendedAttributes::write(cache.filePath(name), "version", record.section('/', 1).toUtf8()));
        }
        const QStringList before = cacheEntries();
        m_server->routeBody("/files/App.dmg", diskImageBody());
        start("/files/App.dmg");
        QCOMPARE(waitForEnd().status, DownloadStatus::completed(cache.filePath(expected)));
        QCOMPARE(TestFolders::readFile(cache.filePath(expected)), diskImageBody());
        QStringList after = before + QStringList{expected};
        after.removeDuplicates();
        after.sort();
        QCOMPARE(cacheEntries(), after);
        QCOMPARE(QFileInfo(cache.filePath("App.dmg/inner.txt")).isFile(), taken.contains("App.dmg/"));
        QVERIFY(!QFileInfo::exists(m_root->filePath("target.dmg")));
    }

    void failuresLeaveCacheUntouched_data()
    {
        QTest::addColumn<Reply>("reply");  // served at /files/App.dmg
        QTest::addColumn<QString>("path"); // asked for: a path on the server or a whole address
        QTest::addColumn<QString>("reason");
        const auto typed = [](int status, const QByteArray &body, const QByteArray &type) {
            return Reply{status, body, {{"Content-Type", type}}};
        };
        const QByteArray loginPage("<!DOCTYPE html>\n<html><head><title>Login</title></head></html>");
        const QString file = "/files/App.dmg", http = "服务器返回错误: HTTP ", page = "服务器返回的是网页而不是安装包",
                      timeout = "下载超时: 0.3 秒内没有收到任何数据",
                      notPackage = "服务器返回的内容不是可识别的安装包（DMG、PKG 或 ZIP），可能是一条错误信息";

        QTest::newRow("404") << typed(404, "<html>Not Found</html>", "text/html") << file << http + "404";
        QTest::newRow("500 after redirect") << Reply{500, packageBody} << "/go" << http + "500";
        QTest::newRow("connection closed early") << Reply{.body = packageBody, .contentLength = packageBody.size() * 4}
                                                 << file << "连接提前断开，下载不完整: 收到 1 KB，应为 4 KB";
        QTest::newRow("web page") << typed(200, loginPage, "text/html; charset=utf-8") << file << page;
        QTest::newRow("web page sent as binary")
            << typed(200, "\xEF\xBB\xBF  \n<html><body>File moved</body></html>", "application/octet-stream") << "/go"
            << page;
        QTest::newRow("empty body") << Reply{} << file << "服务器返回了空文件，没有安装包可保存";
        QTest::newRow("JSON error") << typed(200, R"({"error":"quota exceeded"})", "application/json") << file
                                    << notPackage;
        QTest::newRow("bytes of no known package") << Reply{.body = opaqueBody} << file << notPackage;
        QTest::newRow("no answer") << Reply{.stall = true} << file << timeout;
        QTest::newRow("stops mid-body") << held(2 * packageBody.size(), packageBody) << file << timeout;
        QTest::newRow("redirect loop") << Reply{} << "/loop"
                                       << "网址跳转次数过多，可能陷入了循环跳转";
        QTest::newRow("redirect to a local file")
            << Reply{} << "/to-file"
            << "已拒绝跳转到“file:///etc/passwd”：只支持 http:// 或 https:// 开头的网址";
        QTest::newRow("redirect without an address") << Reply{} << "/nowhere"
                                                     << "服务器要求跳转（HTTP 302），却没有给出新地址";
        QTest::newRow("local file address")
            << Reply{} << "file:///etc/passwd"
            << "已拒绝下载地址“file:///etc/passwd”：只支持 http:// 或 https:// 开头的网址";
        QTest::newRow("data address") << Reply{} << "data:,PK"
                                      << "已拒绝下载地址“data:,PK”：只支持 http:// 或 https:// 开头的网址";
    }

    void failuresLeaveCacheUntouched()
    {
        QFETCH(Reply, reply);
        QFETCH(QString, path);
        QFETCH(QString, reason);
        const QString cached = TestFolders::writeFile(cachePath(), "App.dmg", "the good package");
        m_manager->refreshLocalPackages();
        const QList<LocalPackage> before = m_manager->localPackages();
        m_server->route("/files/App.dmg", reply);
        m_server->routeRedirect("/go", "/files/App.dmg");
        m_server->routeRedirect("/loop", "/loop");
        m_server->routeRedirect("/to-file", "file:///etc/passwd");
        m_server->route("/nowhere", Reply{.status = 302});
        m_manager->setIdleTimeout(300ms);

        m_manager->startDownload("foo", "Foo", "1.0", path.startsWith('/') ? m_server->url(path) : QUrl(path));
        const DownloadTaskItem done = waitForEnd();
        QCOMPARE(done.status.kind, Kind::failed);
        QCOMPARE(done.status.reason, reason);
        QVERIFY(!done.destinationUrl);
        QCOMPARE(cacheEntries(), QStringList{"App.dmg"});
        QCOMPARE(TestFolders::readFile(cached), QByteArray("the good package"));
        QCOMPARE(m_manager->localPackages(), before);
    }

    void progressAndSpeedTexts_data()
    {
        QTest::addColumn<bool>("lengthKnown");
        QTest::newRow("length announced") << true;
        QTest::newRow("length unknown") << false;
    }

    void progressAndSpeedTexts()
    {
        QFETCH(bool, lengthKnown);
        m_server->route("/slow.dmg", Reply{.sendContentLength = lengthKnown, .contentLength = 10'000, .hold = true});
        const QDateTime begin = m_now;
        start("/slow.dmg");
        QCOMPARE(m_manager->activeTasks().constFirst().createdAt, begin);
        QCOMPARE(m_manager->task(key)->status, DownloadStatus::downloading(0, "连接中...", "0 MB", "--"));
        QTRY_COMPARE(m_server->heldCount(), 1);

        const struct
        {
            int atMs, bytes;
            const char *speed;
        } steps[] = {
            {200, 1000, "连接中..."}, // within half a second of the start: the starting text stays
            {600, 2000, "5 KB/s"},    // 3000 bytes over 0.6 s since the start
            {900, 1000, "5 KB/s"},    // 0.3 s after the last sample: kept
            {1600, 3000, "4 KB/s"},   // 4000 bytes over 1.0 s since the last sample
        };
        qint64 received = 0;
        for (const auto &step : steps) {
            m_now = begin.addMSecs(step.atMs);
            QByteArray chunk(step.bytes, 'x');
            m_server->push(received == 0 ? chunk.replace(0, 4, "PK\x03\x04") : chunk); // a ZIP by its start
            received += step.bytes;
            QTRY_COMPARE(m_manager->task(key)->receivedBytes, received);
            const DownloadTaskItem item = *m_manager->task(key);
            QCOMPARE(item.speedText, QString::fromUtf8(step.speed));
            QCOMPARE(item.status, DownloadStatus::downloading(lengthKnown ? received / 10'000.0 : 0,
                                                              QString::fromUtf8(step.speed),
                                                              ByteFormat::fileSize(received),
                                                              lengthKnown ? "10 KB" : "未知"));
        }
        m_now = begin.addMSecs(1700);
        m_server->push(QByteArray(3000, 'x'));
        m_server->closeHeld();
        const DownloadTaskItem done = waitForEnd();
        QCOMPARE(done.status.kind, Kind::completed);
        QCOMPARE(done.speedText, QStringLiteral("4 KB/s"));
        QCOMPARE(QFileInfo(done.status.fileUrl).size(), 10'000);
    }

    // A chunk at a time would repaint every listener hundreds of times a
    // second: figures come at most once per interval, the end at once.
    void progressIsCoalescedAndTheEndIsToldAtOnce()
    {
        constexpr int chunks = 150;
        m_server->route("/many.dmg", held(chunks * 1000));
        QElapsedTimer wall;
        wall.start();
        start("/many.dmg");
        QTRY_COMPARE(m_server->heldCount(), 1);
        QList<Kind> told;
        QObject listener;
        connect(m_manager.get(), &DownloadManager::taskChanged, &listener,
                [&](const QString &changed) { told << m_manager->find(changed)->status.kind; });
        for (int i = 0; i < chunks; ++i) {
            // The body must look like a package (a ZIP) to be kept.
            m_server->push(i == 0 ? QByteArray("PK\x03\x04").leftJustified(1000, 'c') : QByteArray(1000, 'c'));
            QTest::qWait(1);
        }
        m_server->closeHeld();
        QCOMPARE(waitForEnd().receivedBytes, chunks * 1000);
        const qint64 intervals = wall.elapsed() / DownloadManager::progressInterval.count();
        QVERIFY2(told.size() <= intervals + 3, qPrintable(QString::number(told.size())));
        QCOMPARE(told.constLast(), Kind::completed);
    }

    void restartReplacesFinishedRecord_data()
    {
        QTest::addColumn<int>("firstStatus");
        QTest::newRow("after completion") << 200;
        QTest::newRow("after failure") << 404;
    }

    void restartReplacesFinishedRecord()
    {
        QFETCH(int, firstStatus);
        int answers = 0;
        m_server->routeHandler("/p.dmg", [&](const QByteArray &) {
            return Reply{answers++ == 0 ? firstStatus : 200, packageBody};
        });
        m_server->routeBody("/other.dmg", packageBody);
        start("/p.dmg");
        QVERIFY(waitForEnd().status.kind != Kind::downloading);
        start("/other.dmg", "bar");
        waitForEnd("bar-1.0");

        m_now = m_now.addSecs(60);
        start("/p.dmg");
        const DownloadTaskItem fresh = m_manager->activeTasks().constLast(); // the fresh start goes last
        QCOMPARE(m_manager->activeTasks().size(), 2);
        QCOMPARE(fresh.id, key);
        QCOMPARE(fresh.createdAt, m_now);
        QVERIFY(fresh.status.isDownloading());
        QCOMPARE(waitForEnd().status.kind, Kind::completed);
        QCOMPARE(m_server->requests().count("/p.dmg"), 2);
    }

    // A second start of a running key is ignored; a cancel leaves nothing behind.
    void secondStartAndCancelOfRunningKey()
    {
        m_server->route("/big.dmg", held(100'000));
        m_manager->setIdleTimeout(300ms);
        QSignalSpy changes(m_manager.get(), &DownloadManager::activeTasksChanged);
        start("/big.dmg");
        m_manager->startDownload("foo", "Foo again", "1.0", m_server->url("/big.dmg"));
        QCOMPARE(changes.size(), 1);
        QCOMPARE(m_manager->activeTasks().size(), 1);
        QCOMPARE(m_manager->activeTasks().constFirst().appName, QStringLiteral("Foo"));
        QTRY_COMPARE(m_server->heldCount(), 1);
        m_server->push(QByteArray(5000, 'b'));
        QTRY_COMPARE(m_manager->task(key)->receivedBytes, 5000);
        QCOMPARE(cacheEntries().size(), 1); // the hidden partial file
        // Another process over the same cache neither takes over the key nor lists its partial.
        DownloadManager other(cachePath());
        other.startDownload("foo", "Foo", "1.0", m_server->url("/big.dmg"));
        QCOMPARE(other.task(key)->status.reason, QStringLiteral("此版本正在由另一个窗口或命令下载，请等它完成"));
        QVERIFY(other.localPackages().isEmpty());

        m_manager->cancelDownload(key);
        QVERIFY(m_manager->activeTasks().isEmpty());
        // Past the idle time-out and the server's late bytes: no record comes back.
        m_server->push(QByteArray(5000, 'b'));
        QTest::qWait(500);
        QVERIFY(m_manager->activeTasks().isEmpty());
        QVERIFY(cacheEntries().isEmpty());
        QVERIFY(m_manager->localPackages().isEmpty());
        QCOMPARE(m_server->requests().size(), 1);
    }

    void unwritableCacheFails()
    {
        // A file where the cache folder should be: nothing can be saved.
        DownloadManager manager(TestFolders::writeFile(m_root->path(), "blocked", "a file"));
        m_server->routeBody("/App.dmg", opaqueBody);
        manager.startDownload("foo", "Foo", "1.0", m_server->url("/App.dmg"));
        const DownloadTaskItem item = manager.activeTasks().value(0);
        QCOMPARE(item.status.kind, Kind::failed);
        QVERIFY2(item.status.reason.startsWith("保存下载文件失败: "), qPrintable(item.status.reason));
        QVERIFY(manager.localPackages().isEmpty());
        QCOMPARE(m_server->requests().size(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_DownloadManager)
#include "tst_DownloadManager.moc"
