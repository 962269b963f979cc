#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QNetworkProxyFactory>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "models/ByteFormat.h"
#include "platform/ExtendedAttributes.h"
#include "platform/Platform.h"
#include "services/DownloadManager.h"
#include "services/Sha256.h"
#include "support/TestFolders.h"
#include "support/TestHttpServer.h"
#include "support/RealServer.h"
#include "support/TunnelProxy.h"

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

QByteArray digest(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

// What a server answers that keeps ranges for the file its validator names
// (none: it ignores ranges): the rest of the body when the request continues
// that file, else the whole body.
Reply ranged(const QByteArray &body, const QByteArray &validator, const QByteArray &head)
{
    const QByteArray lines = head + "\r"; // each header line ends in \r
    const auto range = QRegularExpression("\r\nRange: bytes=(\\d+)-\r").match(QString::fromLatin1(lines));
    if (range.hasMatch() && !validator.isEmpty() && lines.contains("\r\nIf-Range: " + validator + "\r")) {
        const qint64 from = range.captured(1).toLongLong();
        if (from >= body.size())
            return Reply{.status = 416, .headers = {{"Content-Range", "bytes */" + QByteArray::number(body.size())}}};
        return Reply{206, body.mid(from),
                     {{"ETag", validator},
                      {"Content-Range", "bytes " + QByteArray::number(from) + '-' +
                                            QByteArray::number(body.size() - 1) + '/' + QByteArray::number(body.size())}}};
    }
    return validator.isEmpty() ? Reply{.body = body} : Reply{200, body, {{"ETag", validator}}};
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
        m_manager->setRetryPolicy({.attempts = 1, .firstDelay = 1ms, .longestDelay = 5s});
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
        QTest::addColumn<bool>("retried"); // a failure of the moment is tried again
        const auto typed = [](int status, const QByteArray &body, const QByteArray &type) {
            return Reply{status, body, {{"Content-Type", type}}};
        };
        const QByteArray loginPage("<!DOCTYPE html>\n<html><head><title>Login</title></head></html>");
        const QString file = "/files/App.dmg", http = "服务器返回错误: HTTP ", page = "服务器返回的是网页而不是安装包",
                      timeout = "下载超时: 0.3 秒内没有收到任何数据",
                      notPackage = "服务器返回的内容不是可识别的安装包（DMG、PKG 或 ZIP），可能是一条错误信息";

        const bool once = false, again = true;
        QTest::newRow("404") << typed(404, "<html>Not Found</html>", "text/html") << file << http + "404" << once;
        QTest::newRow("500 after redirect") << Reply{500, packageBody} << "/go" << http + "500" << again;
        QTest::newRow("connection closed early") << Reply{.body = packageBody, .contentLength = packageBody.size() * 4}
                                                 << file << "连接提前断开，下载不完整: 收到 1 KB，应为 4 KB" << again;
        QTest::newRow("no room for the announced length")
            << Reply{.body = packageBody, .contentLength = 8'000'000'000'000} << file
            << "保存下载文件失败: 磁盘空间不足（还需 8 TB）" << once;
        QTest::newRow("web page") << typed(200, loginPage, "text/html; charset=utf-8") << file << page << once;
        QTest::newRow("web page sent as binary")
            << typed(200, "\xEF\xBB\xBF  \n<html><body>File moved</body></html>", "application/octet-stream") << "/go"
            << page << once;
        QTest::newRow("empty body") << Reply{} << file << "服务器返回了空文件，没有安装包可保存" << once;
        QTest::newRow("JSON error") << typed(200, R"({"error":"quota exceeded"})", "application/json") << file
                                    << notPackage << once;
        QTest::newRow("bytes of no known package") << Reply{.body = opaqueBody} << file << notPackage << once;
        QTest::newRow("checksum mismatch") << Reply{.body = packageBody + "x"} << file
                                           << "校验失败：文件的 SHA-256 与记录不符" << once;
        QTest::newRow("no answer") << Reply{.stall = true} << file << timeout << again;
        QTest::newRow("stops mid-body") << held(2 * packageBody.size(), packageBody) << file << timeout << again;
        QTest::newRow("redirect loop") << Reply{} << "/loop"
                                       << "网址跳转次数过多，可能陷入了循环跳转" << once;
        QTest::newRow("redirect to a local file")
            << Reply{} << "/to-file"
            << "已拒绝跳转到“file:///etc/passwd”：只支持 http:// 或 https:// 开头的网址" << once;
        QTest::newRow("redirect without an address") << Reply{} << "/nowhere"
                                                     << "服务器要求跳转（HTTP 302），却没有给出新地址" << once;
        QTest::newRow("local file address")
            << Reply{} << "file:///etc/passwd"
            << "已拒绝下载地址“file:///etc/passwd”：只支持 http:// 或 https:// 开头的网址" << once;
    }

    void failuresLeaveCacheUntouched()
    {
        QFETCH(Reply, reply);
        QFETCH(QString, path);
        QFETCH(QString, reason);
        QFETCH(bool, retried);
        const QString cached = TestFolders::writeFile(cachePath(), "App.dmg", "the good package");
        m_manager->refreshLocalPackages();
        const QList<LocalPackage> before = m_manager->localPackages();
        m_server->route("/files/App.dmg", reply);
        m_server->routeRedirect("/go", "/files/App.dmg");
        m_server->routeRedirect("/loop", "/loop");
        m_server->routeRedirect("/to-file", "file:///etc/passwd");
        m_server->route("/nowhere", Reply{.status = 302});
        m_manager->setIdleTimeout(300ms);
        QSignalSpy notices(m_manager.get(), &DownloadManager::taskNotice);

        // The record's checksum is that of the package the server should have sent.
        const auto sha256 = reason.startsWith("校验失败") ? std::optional(digest(packageBody)) : std::nullopt;
        m_manager->startDownload("foo", "Foo", "1.0", path.startsWith('/') ? m_server->url(path) : QUrl(path), sha256);
        const DownloadTaskItem done = waitForEnd();
        QCOMPARE(done.status.kind, Kind::failed);
        QCOMPARE(done.status.reason, reason);
        QVERIFY(!done.destinationUrl);
        QCOMPARE(cacheEntries(), QStringList{"App.dmg"});
        QCOMPARE(TestFolders::readFile(cached), QByteArray("the good package"));
        QCOMPARE(m_manager->localPackages(), before);
        QCOMPARE(notices.size(), retried ? 1 : 0);
    }

    void progressAndSpeedTexts_data()
    {
        QTest::addColumn<bool>("lengthKnown");
        QTest::addColumn<int>("kept"); // bytes a killed run left, continued with a range request
        QTest::newRow("length announced") << true << 0;
        QTest::newRow("length unknown") << false << 0;
        QTest::newRow("resumed from a killed run") << true << 1000;
    }

    // Figures never run backwards, and the speed counts only what this run fetched.
    void progressAndSpeedTexts()
    {
        QFETCH(bool, lengthKnown);
        QFETCH(int, kept);
        const QString partial = QDir(cachePath()).filePath(DownloadManager::partialFileName(key));
        if (kept > 0) {
            TestFolders::writeFile(cachePath(), DownloadManager::partialFileName(key),
                                   QByteArray("PK\x03\x04").leftJustified(kept, 'k'));
            QVERIFY(ExtendedAttributes::write(partial, "url", m_server->url("/slow.dmg").toEncoded()) &&
                    ExtendedAttributes::write(partial, "validator", "\"v1\"") &&
                    ExtendedAttributes::write(partial, "length", "10000"));
        }
        m_server->routeHandler("/slow.dmg", [&](const QByteArray &) {
            const bool range = (m_server->requestHeads().constLast() + "\r").contains("\r\nRange: bytes=1000-\r");
            if (!range)
                return Reply{.sendContentLength = lengthKnown, .contentLength = 10'000, .hold = true};
            return Reply{.status = 206, .headers = {{"Content-Range", "bytes 1000-9999/10000"}}, .contentLength = 9000,
                         .hold = true};
        });
        const QDateTime begin = m_now;
        start("/slow.dmg");
        QCOMPARE(m_manager->activeTasks().constFirst().createdAt, begin);
        QCOMPARE(m_manager->task(key)->status, DownloadStatus::downloading(0, "连接中...", "0 MB", "--"));
        QTRY_COMPARE(m_server->heldCount(), 1);
        QList<qint64> seen;
        connect(m_manager.get(), &DownloadManager::taskChanged, this,
                [&](const QString &changed) { seen << m_manager->find(changed)->receivedBytes; });

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
        qint64 received = kept;
        for (const auto &step : steps) {
            m_now = begin.addMSecs(step.atMs);
            QByteArray chunk(step.bytes, 'x');
            m_server->push(received == 0 ? chunk.replace(0, 4, "PK\x03\x04") : chunk); // a ZIP by its start
            received += step.bytes;
            QTRY_COMPARE(m_manager->task(key)->receivedBytes, received);
            const DownloadTaskItem item = *m_manager->task(key);
            QCOMPARE(item.speedText, QString::fromUtf8(step.speed));
            QCOMPARE(item.resumedBytes, kept);
            QCOMPARE(item.status, DownloadStatus::downloading(lengthKnown ? received / 10'000.0 : 0,
                                                              QString::fromUtf8(step.speed),
                                                              ByteFormat::fileSize(received),
                                                              lengthKnown ? "10 KB" : "未知"));
        }
        m_now = begin.addMSecs(1700);
        m_server->push(QByteArray(10'000 - received, 'x'));
        m_server->closeHeld();
        const DownloadTaskItem done = waitForEnd();
        QCOMPARE(done.status.kind, Kind::completed);
        QCOMPARE(done.speedText, QStringLiteral("4 KB/s"));
        QCOMPARE(QFileInfo(done.status.fileUrl).size(), 10'000);
        QVERIFY(std::is_sorted(seen.cbegin(), seen.cend()));
    }

    void resumesAndRetries_data()
    {
        QTest::addColumn<Reply>("firstTry");
        QTest::addColumn<QByteArray>("later");     // the file of the later tries (the package expected)...
        QTest::addColumn<QByteArray>("validator"); // ...and its ETag; empty: the server ignores ranges
        QTest::addColumn<QStringList>("notices");  // what a follower is told, in order
        QTest::addColumn<int>("pauseMs");          // the least time between the two tries
        const QByteArray first = packageBody.repeated(20), second = "PK\x03\x04" + first.mid(4).toUpper(), v1 = "\"v1\"";
        const qint64 half = first.size() / 2;
        const Reply cut{.body = first, .headers = {{"ETag", v1}}, .resetAfter = half};
        const QString resumed = "从 " + ByteFormat::fileSize(half) + " 处继续下载", retry = "网络中断，正在重试 (1/3)";
        QTest::newRow("dropped mid-way, resumed with If-Range") << cut << first << v1 << QStringList{retry, resumed} << 0;
        QTest::newRow("file changed between tries")
            << cut << second << QByteArray("\"v2\"") << QStringList{retry, "服务器上的文件已更新，从头下载"} << 0;
        QTest::newRow("server ignores ranges")
            << Reply{.body = first, .headers = {{"Last-Modified", "Tue, 01 Oct 2024 10:00:00 GMT"}}, .resetAfter = half}
            << first << QByteArray() << QStringList{retry, "服务器不支持断点续传，从头下载"} << 0;
        // Qt tells a reset from an orderly close by nothing: the end of a body without a length is asked for.
        QTest::newRow("no length, reset mid-way")
            << Reply{.body = first, .headers = {{"ETag", v1}}, .sendContentLength = false, .resetAfter = half} << first
            << v1 << QStringList{resumed} << 0;
        QTest::newRow("no length, whole") << Reply{.body = first, .headers = {{"ETag", v1}}, .sendContentLength = false}
                                          << first << v1 << QStringList{} << 0;
        QTest::newRow("503 then 200") << Reply{503, first} << first << QByteArray()
                                      << QStringList{retry + "：服务器返回错误: HTTP 503"} << 0;
        QTest::newRow("429 with Retry-After") << Reply{429, "slow down", {{"Retry-After", "1"}}} << first << QByteArray()
                                              << QStringList{retry + "：服务器返回错误: HTTP 429"} << 900;
    }

    void resumesAndRetries()
    {
        QFETCH(Reply, firstTry);
        QFETCH(QByteArray, later);
        QFETCH(QByteArray, validator);
        QFETCH(QStringList, notices);
        QFETCH(int, pauseMs);
        m_manager->setRetryPolicy({.attempts = 3, .firstDelay = 1ms, .longestDelay = 5s});
        QList<qint64> times;
        QElapsedTimer clock;
        clock.start();
        m_server->routeHandler("/App.zip", [&](const QByteArray &) {
            times << clock.elapsed();
            return times.size() == 1 ? firstTry : ranged(later, validator, m_server->requestHeads().constLast());
        });
        QStringList told;
        connect(m_manager.get(), &DownloadManager::taskNotice, this,
                [&](const QString &, const QString &text) { told << text; });
        m_manager->startDownload("foo", "Foo", "1.0", m_server->url("/App.zip"), digest(later));
        const DownloadTaskItem done = waitForEnd();
        QCOMPARE(done.status.kind, Kind::completed);
        QVERIFY(done.verified);
        QCOMPARE(TestFolders::readFile(done.status.fileUrl), later);
        QCOMPARE(cacheEntries(), QStringList{"App.zip"});
        QCOMPARE(told.size(), notices.size());
        for (qsizetype i = 0; i < notices.size(); ++i)
            QVERIFY2(told.at(i).startsWith(notices.at(i)), qPrintable(told.at(i)));
        QCOMPARE(times.size(), 2);
        QVERIFY(times.at(1) - times.at(0) >= pauseMs);
    }

    void resumesFromNginx()
    {
        const QByteArray body = packageBody.repeated(64);
        TestFolders::writeFile(m_root->filePath("www"), "App.zip", body);
        RealServer nginx;
        const QString failure = nginx.startNginx(m_root->filePath("nginx"), m_root->filePath("www"));
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        // nginx's ETag: the file's modification time and size in hex.
        const QFileInfo served(m_root->filePath("www/App.zip"));
        const QByteArray etag =
            QString("\"%1-%2\"").arg(served.lastModified().toSecsSinceEpoch(), 0, 16).arg(served.size(), 0, 16).toLatin1();
        const QString partial = TestFolders::writeFile(cachePath(), DownloadManager::partialFileName(key),
                                                       body.left(body.size() / 2));
        QVERIFY(ExtendedAttributes::write(partial, "url", QUrl(nginx.url("/App.zip")).toEncoded()) &&
                ExtendedAttributes::write(partial, "validator", etag) &&
                ExtendedAttributes::write(partial, "length", QByteArray::number(body.size())));

        m_manager->startDownload("foo", "Foo", "1.0", QUrl(nginx.url("/App.zip")), digest(body));
        const DownloadTaskItem done = waitForEnd();
        QCOMPARE(done.status.kind, Kind::completed);
        QCOMPARE(TestFolders::readFile(done.status.fileUrl), body);
        QCOMPARE(done.resumedBytes, body.size() / 2);
    }

    // At most so many transfers run; the rest wait their turn in order.
    void queueWaitsItsTurn()
    {
        m_manager->setMaxConcurrent(1);
        m_server->route("/a.zip", held(packageBody.size(), packageBody.left(10)));
        m_server->routeBody("/b.zip", packageBody);
        start("/a.zip");
        start("/b.zip", "bar");
        QCOMPARE(m_manager->task("bar-1.0")->status, DownloadStatus::pending());
        QCOMPARE(m_manager->runningCount(), 2);
        QTRY_COMPARE(m_server->heldCount(), 1);
        QTest::qWait(100);
        QCOMPARE(m_server->requests().size(), 1);
        m_server->push(packageBody.mid(10));
        QCOMPARE(waitForEnd().status.kind, Kind::completed);
        QCOMPARE(waitForEnd("bar-1.0").status.kind, Kind::completed);
        // A new start of a finished key replaces its record at the end, in start order.
        m_now = m_now.addSecs(60);
        start("/b.zip");
        QCOMPARE(m_manager->activeTasks().size(), 2);
        QCOMPARE(m_manager->activeTasks().constLast().id, key);
        QCOMPARE(m_manager->activeTasks().constLast().createdAt, m_now);
        QCOMPARE(waitForEnd().status.kind, Kind::completed);
    }

    // The system's proxy carries downloads (here Linux's proxy variables):
    // plain addresses as requests to the proxy, TLS through a CONNECT tunnel.
    void downloadsGoThroughTheSystemProxy()
    {
        const QByteArray savedHttp = qgetenv("http_proxy"), savedHttps = qgetenv("https_proxy"),
                         savedBypass = qgetenv("no_proxy");
        const QSslConfiguration savedTls = QSslConfiguration::defaultConfiguration();
        const auto restore = qScopeGuard([&] {
            qputenv("http_proxy", savedHttp);
            qputenv("https_proxy", savedHttps);
            qputenv("no_proxy", savedBypass);
            QNetworkProxyFactory::setUseSystemConfiguration(false);
            QSslConfiguration::setDefaultConfiguration(savedTls);
        });
        qputenv("no_proxy", "");
        qputenv("http_proxy", m_server->url().toEncoded());
        Platform::useSystemProxy();
        m_server->routeBody("http://downloads.example/App.zip", packageBody);
        m_manager->startDownload("foo", "Foo", "1.0", QUrl("http://downloads.example/App.zip"));
        DownloadTaskItem done = waitForEnd();
        QCOMPARE(done.status.kind, Kind::completed);
        QCOMPARE(TestFolders::readFile(done.status.fileUrl), packageBody);

        TestFolders::writeFile(m_root->filePath("www"), "App.zip", packageBody);
        RealServer nginx;
        const QString failure = nginx.startNginx(m_root->filePath("nginx"), m_root->filePath("www"), "downloads.example");
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        TunnelProxy proxy(nginx.port());
        qputenv("https_proxy", proxy.address().toLatin1());
        Platform::useSystemProxy();
        QSslConfiguration trusting = savedTls;
        trusting.addCaCertificates(QSslCertificate::fromData(nginx.certificate()));
        QSslConfiguration::setDefaultConfiguration(trusting);
        m_manager->startDownload("bar", "Bar", "1.0", QUrl("https://downloads.example/App.zip"), digest(packageBody));
        done = waitForEnd("bar-1.0");
        QCOMPARE(done.status.kind, Kind::completed);
        QVERIFY(done.verified);
        QCOMPARE(proxy.requested(), QStringList{"downloads.example:443"});
    }

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
