#include <QDir>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <memory>

#include "models/ByteFormat.h"
#include "platform/ExtendedAttributes.h"
#include "services/DownloadManager.h"
#include "support/FileSizeLimit.h"
#include "support/TestFolders.h"
#include "support/TestHttpServer.h"

using namespace std::chrono_literals;

namespace {

const QString appId = QStringLiteral("foo");
const QString version = QStringLiteral("1.0");
const QString key = QStringLiteral("foo-1.0");
// Bytes no sniffing rule recognises as a package or a page.
const QByteArray opaqueBody = QByteArray("opaque package bytes ").repeated(50);

QByteArray diskImageBody()
{
    QByteArray body(4096, '\0');
    body += "koly";
    body += QByteArray(508, '\0');
    return body;
}

} // namespace

class tst_DownloadManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void downloadLandsInCache();
    void fileName_data();
    void fileName();
    void extensionFromContent_data();
    void extensionFromContent();
    void failuresLeaveCacheUntouched_data();
    void failuresLeaveCacheUntouched();
    void speedTextFollowsHalfSecondRule();
    void unknownLengthShowsUnknownTotal();
    void sameKeyTwiceWhileRunning();
    void restartReplacesFinishedRecord_data();
    void restartReplacesFinishedRecord();
    void twoVersionsSideBySide();
    void cancelLeavesNothingBehind();
    void replacesCachedFileWithSameName();
    void rememberedIdFoundAfterRescan();
    void unwritableCacheFails();
    void fullDiskSaysWhy();

private:
    DownloadTaskItem waitForEnd(const QString &taskKey = key);
    // Every entry of the cache folder, hidden ones included.
    QStringList cacheEntries() const;
    QString cachePath() const { return m_root->filePath(QStringLiteral("cache")); }

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<TestHttpServer> m_server;
    std::unique_ptr<DownloadManager> m_manager;
    QDateTime m_now;
};

void tst_DownloadManager::init()
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

void tst_DownloadManager::cleanup()
{
    m_manager.reset();
    m_server.reset();
    m_root.reset();
}

DownloadTaskItem tst_DownloadManager::waitForEnd(const QString &taskKey)
{
    const auto running = [&] {
        const auto item = m_manager->task(taskKey);
        return item && item->status.isDownloading();
    };
    // Callers check the returned status, so a record still running fails there.
    (void)QTest::qWaitFor([&] { return !running(); }, 10000);
    return m_manager->task(taskKey).value_or(DownloadTaskItem{});
}

QStringList tst_DownloadManager::cacheEntries() const
{
    return QDir(cachePath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                       QDir::Name);
}

void tst_DownloadManager::downloadLandsInCache()
{
    const QByteArray body = opaqueBody.repeated(100);
    m_server->routeBody(QStringLiteral("/files/App.dmg"), body);
    m_manager->startDownload(appId, QStringLiteral("Foo App"), version, m_server->url(QStringLiteral("/files/App.dmg")));

    const DownloadTaskItem started = m_manager->activeTasks().constFirst();
    QCOMPARE(started.id, key);
    QCOMPARE(started.createdAt, m_now);
    QCOMPARE(started.speedText, QStringLiteral("0 KB/s"));
    QCOMPARE(started.status, DownloadStatus::downloading(0, QStringLiteral("连接中..."), QStringLiteral("0 MB"),
                                                         QStringLiteral("--")));

    const DownloadTaskItem done = waitForEnd();
    const QString destination = QDir(cachePath()).filePath(QStringLiteral("App.dmg"));
    QCOMPARE(done.status, DownloadStatus::completed(destination));
    QCOMPARE(done.destinationUrl, destination);
    QCOMPARE(done.progress, 1.0);
    QCOMPARE(done.receivedBytes, body.size());
    QCOMPARE(done.totalBytes, body.size());
    QCOMPARE(TestFolders::readFile(destination), body);
    QCOMPARE(cacheEntries(), QStringList{QStringLiteral("App.dmg")});
    QCOMPARE(m_manager->localPackages().size(), 1);
    QCOMPARE(m_manager->localPackages().constFirst().filePath, destination);
    QCOMPARE(m_manager->runningCount(), 0);
}

void tst_DownloadManager::fileName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("disposition");
    QTest::addColumn<QString>("expected");

    QTest::newRow("last path component") << "/files/Docker.dmg" << QByteArray() << "Docker.dmg";
    QTest::newRow("percent-decoded") << "/files/My%20App.dmg" << QByteArray() << "My App.dmg";
    QTest::newRow("after redirect") << "/go" << QByteArray() << "Final.dmg";
    QTest::newRow("quoted filename") << "/d" << QByteArray("attachment; filename=\"WeChatMac.dmg\"")
                                     << "WeChatMac.dmg";
    QTest::newRow("RFC 5987 Chinese wins")
        << "/d" << QByteArray("attachment; filename=\"fallback.dmg\"; filename*=UTF-8''%E5%BE%AE%E4%BF%A1.dmg")
        << QStringLiteral("微信.dmg");
    QTest::newRow("raw UTF-8 filename") << "/d" << QByteArray("attachment; filename=\"\xE5\xBE\xAE\xE4\xBF\xA1.zip\"")
                                        << QStringLiteral("微信.zip");
    QTest::newRow("semicolon inside quotes") << "/d" << QByteArray("attachment; filename=\"a;b.dmg\"") << "a;b.dmg";
    QTest::newRow("path traversal") << "/d" << QByteArray("attachment; filename=\"../../x.dmg\"") << "x.dmg";
    QTest::newRow("encoded traversal") << "/d" << QByteArray("attachment; filename*=UTF-8''..%2F..%2Fy.dmg")
                                       << "y.dmg";
    QTest::newRow("backslashes") << "/d" << QByteArray("attachment; filename=\"..\\\\..\\\\evil.zip\"")
                                 << "evil.zip";
    QTest::newRow("hidden name") << "/d" << QByteArray("attachment; filename=\".bashrc\"") << "bashrc";
    QTest::newRow("control characters") << "/d" << QByteArray("attachment; filename=\"a\x01" "b\x7f.dmg\"")
                                        << "ab.dmg";
    QTest::newRow("only dots falls back") << "/" << QByteArray("attachment; filename=\"..\"") << "foo-1.0.pkg";
    QTest::newRow("no name at all") << "/" << QByteArray() << "foo-1.0.pkg";
}

void tst_DownloadManager::fileName()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, disposition);
    QFETCH(QString, expected);

    TestHttpServer::Reply reply;
    reply.body = opaqueBody;
    if (!disposition.isEmpty())
        reply.headers.append(qMakePair(QByteArray("Content-Disposition"), disposition));
    m_server->route(path, reply);
    m_server->route(QStringLiteral("/files/Final.dmg"), reply);
    m_server->routeRedirect(QStringLiteral("/go"), QStringLiteral("/files/Final.dmg"));

    m_manager->startDownload(appId, QStringLiteral("Foo"), version, m_server->url(path));
    const DownloadTaskItem done = waitForEnd();
    QCOMPARE(done.status.reason, QString());
    QCOMPARE(done.status.kind, DownloadStatus::Kind::completed);
    QCOMPARE(done.status.fileUrl, QDir(cachePath()).filePath(expected));
    QCOMPARE(cacheEntries(), QStringList{expected});
    QCOMPARE(TestFolders::readFile(done.status.fileUrl), opaqueBody);
    QVERIFY(!QFileInfo::exists(m_root->filePath(QStringLiteral("x.dmg"))));
}

void tst_DownloadManager::extensionFromContent_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zip archive") << "/sha/download" << QByteArray("PK\x03\x04rest of archive") << "download.zip";
    QTest::newRow("installer package") << "/sha/download" << QByteArray("xar!rest of package") << "download.pkg";
    QTest::newRow("disk image trailer") << "/sha/download" << diskImageBody() << "download.dmg";
    QTest::newRow("nothing recognisable") << "/sha/download" << opaqueBody << "download";
    QTest::newRow("name already typed") << "/files/App.dmg" << QByteArray("PK\x03\x04zip") << "App.dmg";
    QTest::newRow("fallback name keeps .pkg") << "/" << QByteArray("PK\x03\x04zip") << "foo-1.0.pkg";
}

void tst_DownloadManager::extensionFromContent()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    m_server->routeBody(path, body);
    m_manager->startDownload(appId, QStringLiteral("Foo"), version, m_server->url(path));
    const DownloadTaskItem done = waitForEnd();
    QCOMPARE(done.status.reason, QString());
    QCOMPARE(QFileInfo(done.status.fileUrl).fileName(), expected);
    QCOMPARE(TestFolders::readFile(done.status.fileUrl), body);
}

void tst_DownloadManager::failuresLeaveCacheUntouched_data()
{
    QTest::addColumn<TestHttpServer::Reply>("reply");
    QTest::addColumn<bool>("viaRedirect");
    QTest::addColumn<QString>("reason"); // exact; empty: any text

    TestHttpServer::Reply notFound;
    notFound.status = 404;
    notFound.body = "<html><body>Not Found</body></html>";
    notFound.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/html")));
    QTest::newRow("404") << notFound << false << QStringLiteral("服务器返回错误: HTTP 404");

    TestHttpServer::Reply serverError;
    serverError.status = 500;
    serverError.body = opaqueBody;
    QTest::newRow("500 after redirect") << serverError << true << QStringLiteral("服务器返回错误: HTTP 500");

    TestHttpServer::Reply cutShort;
    cutShort.body = opaqueBody;
    cutShort.contentLength = opaqueBody.size() * 4;
    QTest::newRow("connection closed early") << cutShort << false
                                             << QStringLiteral("连接提前断开，下载不完整: 收到 1 KB，应为 4 KB");

    TestHttpServer::Reply page;
    page.body = "<!DOCTYPE html>\n<html><head><title>Login</title></head></html>";
    page.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/html; charset=utf-8")));
    QTest::newRow("web page") << page << false << QStringLiteral("服务器返回的是网页而不是安装包");

    TestHttpServer::Reply disguisedPage;
    disguisedPage.body = "\xEF\xBB\xBF  \n<html><body>File moved</body></html>";
    disguisedPage.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/octet-stream")));
    QTest::newRow("web page sent as binary") << disguisedPage << true << QStringLiteral("服务器返回的是网页而不是安装包");

    TestHttpServer::Reply silent;
    silent.stall = true;
    QTest::newRow("no answer") << silent << false << QStringLiteral("下载超时: 0.3 秒内没有收到任何数据");

    TestHttpServer::Reply stops;
    stops.body = opaqueBody;
    stops.contentLength = opaqueBody.size() * 2;
    stops.hold = true;
    QTest::newRow("stops mid-body") << stops << false << QStringLiteral("下载超时: 0.3 秒内没有收到任何数据");
}

void tst_DownloadManager::failuresLeaveCacheUntouched()
{
    QFETCH(TestHttpServer::Reply, reply);
    QFETCH(bool, viaRedirect);
    QFETCH(QString, reason);

    const QString cached = TestFolders::writeFile(cachePath(), QStringLiteral("App.dmg"), "the good package");
    m_manager->refreshLocalPackages();
    const QList<LocalPackage> before = m_manager->localPackages();
    m_server->route(QStringLiteral("/files/App.dmg"), reply);
    m_server->routeRedirect(QStringLiteral("/go"), QStringLiteral("/files/App.dmg"));
    const QString path = viaRedirect ? QStringLiteral("/go") : QStringLiteral("/files/App.dmg");
    m_manager->setIdleTimeout(300ms);

    m_manager->startDownload(appId, QStringLiteral("Foo"), version, m_server->url(path));
    const DownloadTaskItem done = waitForEnd();
    QCOMPARE(done.status.kind, DownloadStatus::Kind::failed);
    if (reason.isEmpty())
        QVERIFY(!done.status.reason.isEmpty());
    else
        QCOMPARE(done.status.reason, reason);
    QVERIFY(!done.destinationUrl);
    QCOMPARE(cacheEntries(), QStringList{QStringLiteral("App.dmg")});
    QCOMPARE(TestFolders::readFile(cached), QByteArray("the good package"));
    QCOMPARE(m_manager->localPackages(), before);
}

void tst_DownloadManager::speedTextFollowsHalfSecondRule()
{
    TestHttpServer::Reply reply;
    reply.hold = true;
    reply.contentLength = 10'000;
    m_server->route(QStringLiteral("/slow.dmg"), reply);
    const QDateTime start = m_now;
    m_manager->startDownload(appId, QStringLiteral("Foo"), version, m_server->url(QStringLiteral("/slow.dmg")));
    QTRY_COMPARE(m_server->heldCount(), 1);

    struct Step
    {
        int atMs;
        int bytes;
        const char *speed;
    };
    const Step steps[] = {
        {200, 1000, "连接中..."}, // within half a second of the start: the starting text stays
        {600, 2000, "5 KB/s"},   // 3000 bytes over 0.6 s since the start
        {900, 1000, "5 KB/s"},   // 0.3 s after the last sample: kept
        {1600, 3000, "4 KB/s"},  // 4000 bytes over 1.0 s since the last sample
    };
    qint64 received = 0;
    for (const Step &step : steps) {
        m_now = start.addMSecs(step.atMs);
        m_server->push(QByteArray(step.bytes, 'x'));
        received += step.bytes;
        QTRY_COMPARE(m_manager->task(key)->receivedBytes, received);
        const DownloadTaskItem item = *m_manager->task(key);
        QCOMPARE(item.speedText, QString::fromUtf8(step.speed));
        QCOMPARE(item.status, DownloadStatus::downloading(received / 10'000.0, QString::fromUtf8(step.speed),
                                                          ByteFormat::fileSize(received), QStringLiteral("10 KB")));
        QCOMPARE(item.totalBytes, 10'000);
    }

    m_now = start.addMSecs(1700);
    m_server->push(QByteArray(3000, 'x'));
    m_server->closeHeld();
    const DownloadTaskItem done = waitForEnd();
    QCOMPARE(done.status.kind, DownloadStatus::Kind::completed);
    QCOMPARE(done.speedText, QStringLiteral("4 KB/s"));
    QCOMPARE(done.receivedBytes, 10'000);
}

void tst_DownloadManager::unknownLengthShowsUnknownTotal()
{
    TestHttpServer::Reply reply;
    reply.hold = true;
    reply.sendContentLength = false;
    m_server->route(QStringLiteral("/stream.zip"), reply);
    m_manager->startDownload(appId, QStringLiteral("Foo"), version, m_server->url(QStringLiteral("/stream.zip")));
    QTRY_COMPARE(m_server->heldCount(), 1);

    for (const qint64 received : {1500, 4500}) {
        m_server->push(QByteArray(static_cast<int>(received - m_manager->task(key)->receivedBytes), 'z'));
        QTRY_COMPARE(m_manager->task(key)->receivedBytes, received);
        const DownloadStatus status = m_manager->task(key)->status;
        QCOMPARE(status.total, QStringLiteral("未知"));
        QCOMPARE(status.received, ByteFormat::fileSize(received));
        QCOMPARE(status.progress, 0.0);
        QCOMPARE(status.speed, QStringLiteral("连接中..."));
    }
    m_server->closeHeld();
    const DownloadTaskItem done = waitForEnd();
    QCOMPARE(done.status.kind, DownloadStatus::Kind::completed);
    QCOMPARE(QFileInfo(done.status.fileUrl).size(), 4500);
}

void tst_DownloadManager::sameKeyTwiceWhileRunning()
{
    TestHttpServer::Reply reply;
    reply.hold = true;
    reply.contentLength = 3;
    m_server->route(QStringLiteral("/a.dmg"), reply);
    QSignalSpy changes(m_manager.get(), &DownloadManager::activeTasksChanged);
    const QUrl url = m_server->url(QStringLiteral("/a.dmg"));
    m_manager->startDownload(appId, QStringLiteral("Foo"), version, url);
    m_manager->startDownload(appId, QStringLiteral("Foo again"), version, url);
    QCOMPARE(changes.size(), 1);
    QCOMPARE(m_manager->activeTasks().size(), 1);
    QCOMPARE(m_manager->activeTasks().constFirst().appName, QStringLiteral("Foo"));
    QTRY_COMPARE(m_server->heldCount(), 1);
    m_server->push("abc");
    m_server->closeHeld();
    QCOMPARE(waitForEnd().status.kind, DownloadStatus::Kind::completed);
    QCOMPARE(m_server->requests().size(), 1);
}

void tst_DownloadManager::restartReplacesFinishedRecord_data()
{
    QTest::addColumn<int>("firstStatus");
    QTest::newRow("after completion") << 200;
    QTest::newRow("after failure") << 404;
}

void tst_DownloadManager::restartReplacesFinishedRecord()
{
    QFETCH(int, firstStatus);
    int answers = 0;
    m_server->routeHandler(QStringLiteral("/p.dmg"), [&](const QByteArray &) {
        TestHttpServer::Reply reply;
        reply.status = answers++ == 0 ? firstStatus : 200;
        reply.body = opaqueBody;
        return reply;
    });
    m_server->routeBody(QStringLiteral("/other.dmg"), opaqueBody);
    const QUrl url = m_server->url(QStringLiteral("/p.dmg"));

    m_manager->startDownload(appId, QStringLiteral("Foo"), version, url);
    QVERIFY(waitForEnd().status.kind != DownloadStatus::Kind::downloading);
    m_manager->startDownload(QStringLiteral("bar"), QStringLiteral("Bar"), version,
                             m_server->url(QStringLiteral("/other.dmg")));
    waitForEnd(QStringLiteral("bar-1.0"));

    m_now = m_now.addSecs(60);
    m_manager->startDownload(appId, QStringLiteral("Foo"), version, url);
    QCOMPARE(m_manager->activeTasks().size(), 2);
    QCOMPARE(m_manager->activeTasks().constLast().id, key); // the fresh start goes last
    QCOMPARE(m_manager->activeTasks().constLast().createdAt, m_now);
    QVERIFY(m_manager->activeTasks().constLast().status.isDownloading());
    const DownloadTaskItem done = waitForEnd();
    QCOMPARE(done.status.kind, DownloadStatus::Kind::completed);
    QCOMPARE(m_server->requests().count("/p.dmg"), 2);
}

void tst_DownloadManager::twoVersionsSideBySide()
{
    TestHttpServer::Reply reply;
    reply.hold = true;
    reply.contentLength = 4;
    m_server->route(QStringLiteral("/foo-1.0.dmg"), reply);
    m_server->route(QStringLiteral("/foo-2.0.dmg"), reply);
    m_manager->startDownload(appId, QStringLiteral("Foo"), QStringLiteral("1.0"),
                             m_server->url(QStringLiteral("/foo-1.0.dmg")));
    m_manager->startDownload(appId, QStringLiteral("Foo"), QStringLiteral("2.0"),
                             m_server->url(QStringLiteral("/foo-2.0.dmg")));
    QTRY_COMPARE(m_server->heldCount(), 2);
    QCOMPARE(m_manager->runningCount(), 2);
    QCOMPARE(m_manager->activeTasks().at(0).id, QStringLiteral("foo-1.0"));
    QCOMPARE(m_manager->activeTasks().at(1).id, QStringLiteral("foo-2.0"));

    m_server->push("data");
    m_server->closeHeld();
    QCOMPARE(waitForEnd(QStringLiteral("foo-1.0")).status.kind, DownloadStatus::Kind::completed);
    QCOMPARE(waitForEnd(QStringLiteral("foo-2.0")).status.kind, DownloadStatus::Kind::completed);
    QCOMPARE(cacheEntries(), QStringList({"foo-1.0.dmg", "foo-2.0.dmg"}));
    QCOMPARE(m_manager->findExistingPackage(appId, QStringLiteral("2.0"))->fileName, QStringLiteral("foo-2.0.dmg"));
}

void tst_DownloadManager::cancelLeavesNothingBehind()
{
    TestHttpServer::Reply reply;
    reply.hold = true;
    reply.contentLength = 100'000;
    m_server->route(QStringLiteral("/big.dmg"), reply);
    m_manager->setIdleTimeout(300ms);
    m_manager->startDownload(appId, QStringLiteral("Foo"), version, m_server->url(QStringLiteral("/big.dmg")));
    QTRY_COMPARE(m_server->heldCount(), 1);
    m_server->push(QByteArray(5000, 'b'));
    QTRY_COMPARE(m_manager->task(key)->receivedBytes, 5000);
    QCOMPARE(cacheEntries().size(), 1); // the hidden partial file

    m_manager->cancelDownload(key);
    QVERIFY(m_manager->activeTasks().isEmpty());
    QVERIFY(cacheEntries().isEmpty());
    // Past the idle time-out and the server's late bytes: no record comes back.
    m_server->push(QByteArray(5000, 'b'));
    QTest::qWait(500);
    QVERIFY(m_manager->activeTasks().isEmpty());
    QVERIFY(cacheEntries().isEmpty());
    QVERIFY(m_manager->localPackages().isEmpty());

    // Closing a finished record is a cancel too.
    m_server->routeBody(QStringLiteral("/small.dmg"), opaqueBody);
    m_manager->startDownload(appId, QStringLiteral("Foo"), version, m_server->url(QStringLiteral("/small.dmg")));
    QCOMPARE(waitForEnd().status.kind, DownloadStatus::Kind::completed);
    m_manager->cancelDownload(key);
    QVERIFY(m_manager->activeTasks().isEmpty());
    QCOMPARE(cacheEntries(), QStringList{QStringLiteral("small.dmg")});
}

void tst_DownloadManager::replacesCachedFileWithSameName()
{
    TestFolders::writeFile(cachePath(), QStringLiteral("Same.dmg"), "older download");
    m_server->routeBody(QStringLiteral("/Same.dmg"), opaqueBody);
    m_manager->startDownload(appId, QStringLiteral("Foo"), version, m_server->url(QStringLiteral("/Same.dmg")));
    const DownloadTaskItem done = waitForEnd();
    QCOMPARE(done.status.kind, DownloadStatus::Kind::completed);
    QCOMPARE(TestFolders::readFile(done.status.fileUrl), opaqueBody);
    QCOMPARE(m_manager->localPackages().size(), 1);
    QCOMPARE(m_manager->localPackages().constFirst().fileSize, opaqueBody.size());
}

void tst_DownloadManager::rememberedIdFoundAfterRescan()
{
    const QString probe = TestFolders::writeFile(m_root->path(), QStringLiteral("probe"), "p");
    if (!ExtendedAttributes::write(probe, QStringLiteral("probe"), "1"))
        QSKIP("this file system keeps no extended attributes");

    m_server->routeBody(QStringLiteral("/chrome/mac/googlechrome.dmg"), diskImageBody());
    m_manager->startDownload(QStringLiteral("google-chrome"), QStringLiteral("Google Chrome"),
                             QStringLiteral("128.0.6613.120"),
                             m_server->url(QStringLiteral("/chrome/mac/googlechrome.dmg")));
    QCOMPARE(waitForEnd(QStringLiteral("google-chrome-128.0.6613.120")).status.kind,
             DownloadStatus::Kind::completed);

    // A later run knows only what the folder holds.
    DownloadManager later(cachePath());
    QCOMPARE(later.localPackages().size(), 1);
    const LocalPackage package = later.localPackages().constFirst();
    QCOMPARE(package.fileName, QStringLiteral("googlechrome.dmg"));
    QCOMPARE(package.appId, QStringLiteral("google-chrome"));
    QCOMPARE(package.appName, QStringLiteral("Google Chrome"));
    QCOMPARE(package.version, QStringLiteral("128.0.6613.120"));
    QCOMPARE(later.findExistingPackage(QStringLiteral("google-chrome"), QStringLiteral("128.0.6613.120")), package);
    QVERIFY(!later.findExistingPackage(QStringLiteral("google-chrome"), QStringLiteral("129.0")));
}

void tst_DownloadManager::unwritableCacheFails()
{
    // A file where the cache folder should be: nothing can be saved.
    const QString blocked = TestFolders::writeFile(m_root->path(), QStringLiteral("blocked"), "a file");
    DownloadManager manager(blocked);
    m_server->routeBody(QStringLiteral("/App.dmg"), opaqueBody);
    manager.startDownload(appId, QStringLiteral("Foo"), version, m_server->url(QStringLiteral("/App.dmg")));
    const DownloadTaskItem item = manager.activeTasks().value(0);
    QCOMPARE(item.status.kind, DownloadStatus::Kind::failed);
    QVERIFY2(item.status.reason.startsWith(QStringLiteral("保存下载文件失败: ")), qPrintable(item.status.reason));
    QVERIFY(manager.localPackages().isEmpty());
    QCOMPARE(m_server->requests().size(), 0);
}

// A disk that fills up mid-download (the file-size limit stands in for it)
// takes a part of a write and refuses the rest: the reason is the system's,
// and no half file stays behind.
void tst_DownloadManager::fullDiskSaysWhy()
{
    m_server->routeBody(QStringLiteral("/App.zip"), QByteArray("PK\x03\x04") + QByteArray(256 * 1024, 'z'));
    FileSizeLimit limit(64 * 1024 + 100); // not a multiple of any read size: the write is cut short
    QVERIFY(limit.active());
    m_manager->startDownload(appId, QStringLiteral("Foo"), version, m_server->url(QStringLiteral("/App.zip")));
    const DownloadTaskItem item = waitForEnd();
    limit.end();

    QCOMPARE(item.status.kind, DownloadStatus::Kind::failed);
    QCOMPARE(item.status.reason, QStringLiteral("保存下载文件失败: ") + QString::fromLocal8Bit(std::strerror(EFBIG)));
    QCOMPARE(cacheEntries(), QStringList());
    QVERIFY(m_manager->localPackages().isEmpty());
}

QTEST_GUILESS_MAIN(tst_DownloadManager)
#include "tst_DownloadManager.moc"
