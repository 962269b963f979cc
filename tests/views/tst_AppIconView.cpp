#include <QBuffer>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "support/TestFolders.h"
#include "support/TestHttpServer.h"
#include "views/components/AppIconView.h"
#include "views/components/IconCache.h"

namespace {

QByteArray encoded(const QColor &color, const char *format)
{
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    return image.save(&buffer, format) ? bytes : QByteArray();
}

// Foo.app whose Info.plist names its icon without the ".icns" ending, as bundles often do.
QString bundleWithIcon(const QString &folder, const QColor &color)
{
    const QString bundle = QDir(folder).filePath("Foo.app");
    TestFolders::writeFile(bundle, "Contents/Info.plist",
                           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                           "<key>CFBundleIdentifier</key><string>com.example.foo</string>"
                           "<key>CFBundleIconFile</key><string>AppIcon</string></dict></plist>\n");
    TestFolders::writeFile(bundle, "Contents/Resources/AppIcon.icns", encoded(color, "icns"));
    return bundle;
}

AppItem record(const QString &iconUrl)
{
    return {.id = "foo", .name = "Foo", .iconUrl = iconUrl, .category = "开发工具"};
}

QColor centre(AppIconView &view)
{
    const QImage image = view.grab().toImage();
    return image.pixelColor(image.width() / 2, image.width() / 2);
}

} // namespace

class tst_AppIconView final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    TestHttpServer m_server;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(!encoded(Qt::red, "icns").isEmpty());
        m_server.routeBody("/blue.png", encoded(Qt::blue, "png"), "image/png");
        m_server.routeBody("/readme.txt", "not an image", "text/plain");
    }

    void installedBundleIconWinsOverTheAddress()
    {
        IconCache cache(m_dir.filePath("bundle-icons"));
        const AppItem app = record(m_server.url("/blue.png").toString());
        AppIconView withIcon(cache, app, 88, bundleWithIcon(m_dir.filePath("Applications"), Qt::red));
        QTRY_COMPARE_WITH_TIMEOUT(withIcon.source(), IconCache::Source::bundle, 10000);
        QCOMPARE(centre(withIcon), QColor(Qt::red));
        QCOMPARE(cache.networkRequestCount(), 0);
        // A bundle without an icon falls back to the address.
        const QString plainBundle = TestFolders::makeBundle(m_dir.filePath("Plain"), "Foo", "com.example.foo", "1.0");
        AppIconView plain(cache, app, 58, plainBundle);
        QTRY_COMPARE_WITH_TIMEOUT(plain.source(), IconCache::Source::remote, 10000);
        QCOMPARE(centre(plain), QColor(Qt::blue));
    }

    // Each address is fetched once: by the first card, and on later runs from disk.
    void remoteIconIsFetchedOnce()
    {
        const QString folder = m_dir.filePath("remote-icons");
        const AppItem app = record(m_server.url("/blue.png").toString());
        {
            IconCache cache(folder);
            AppIconView card(cache, app, 58);
            AppIconView detail(cache, app, 88);
            QTRY_COMPARE_WITH_TIMEOUT(card.source(), IconCache::Source::remote, 10000);
            QCOMPARE(detail.source(), IconCache::Source::remote);
            QCOMPARE(cache.networkRequestCount(), 1);
        }
        IconCache nextRun(folder);
        AppIconView card(nextRun, app, 58);
        QTRY_COMPARE_WITH_TIMEOUT(card.source(), IconCache::Source::remote, 10000);
        QCOMPARE(centre(card), QColor(Qt::blue));
        QCOMPARE(nextRun.networkRequestCount(), 0);
    }

    void unusableIconUrlFallsBack_data()
    {
        QTest::addColumn<QString>("iconUrl");
        QTest::addColumn<int>("requests");
        QTest::newRow("text answer") << m_server.url("/readme.txt").toString() << 1;
        QTest::newRow("missing") << m_server.url("/missing.png").toString() << 1;
        QTest::newRow("file scheme") << "file:///usr/share/pixmaps/debian-logo.png" << 0;
        QTest::newRow("no address") << "http://exa mple.invalid/icon.png" << 0;
    }

    void unusableIconUrlFallsBack()
    {
        QFETCH(QString, iconUrl);
        QFETCH(int, requests);
        IconCache cache(m_dir.filePath("fallback-icons"));
        AppIconView view(cache, record(iconUrl), 58);
        QSignalSpy ready(&cache, &IconCache::iconReady);
        view.show();
        if (requests > 0) {
            QVERIFY(ready.wait(10000));
            // Failed addresses are not asked again by the next card.
            AppIconView again(cache, record(iconUrl), 58);
            QCOMPARE(again.source(), IconCache::Source::symbol);
        }
        QCOMPARE(view.source(), IconCache::Source::symbol);
        QCOMPARE(cache.networkRequestCount(), requests);
        QVERIFY(QDir(cache.diskFolder()).isEmpty());
    }
};

QTEST_MAIN(tst_AppIconView)
#include "tst_AppIconView.moc"
