#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include "platform/ExtendedAttributes.h"
#include "services/DownloadManager.h"
#include "support/TestFolders.h"

// The cache side of DownloadManager: listing, deletion and lookup over a real folder.
class tst_PackageCache : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void missingFolderIsCreatedAndEmpty();
    void entriesAreTypedByExtension_data();
    void entriesAreTypedByExtension();
    void hiddenEntriesAreNotListed();
    void newestFirst();
    void findExistingPackage_data();
    void findExistingPackage();
    void rememberedPackageIsFoundBeforeNameRule();
    void deletePackagesRemovesOnlyGivenEntries();
    void clearAllPackagesEmptiesTheCache();
    void deletionNeverLeavesTheCache_data();
    void deletionNeverLeavesTheCache();

private:
    // Creates the files oldest first, far enough apart that their birth times differ.
    void createInOrder(const QStringList &names);
    QString cachePath() const { return m_root->filePath(QStringLiteral("Caches/ZelvoAppStore/Downloads")); }

    std::unique_ptr<QTemporaryDir> m_root;
};

void tst_PackageCache::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
}

void tst_PackageCache::createInOrder(const QStringList &names)
{
    for (const QString &name : names) {
        TestFolders::writeFile(cachePath(), name, "package " + name.toUtf8());
        QThread::msleep(15);
    }
}

void tst_PackageCache::missingFolderIsCreatedAndEmpty()
{
    DownloadManager manager(cachePath());
    QVERIFY(QFileInfo(manager.cacheDirectory()).isDir());
    QVERIFY(manager.localPackages().isEmpty());
    QVERIFY(!manager.findExistingPackage(QStringLiteral("foo"), QString()));
}

void tst_PackageCache::entriesAreTypedByExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<PackageType>("type");
    QTest::newRow("upper-case dmg") << "App.DMG" << false << PackageType::dmg;
    QTest::newRow("pkg") << "Tool-1.0.pkg" << false << PackageType::pkg;
    QTest::newRow("zip") << "iTerm2-3_5_4.zip" << false << PackageType::zip;
    QTest::newRow("no extension") << "download" << false << PackageType::unknown;
    QTest::newRow("folder named like a package") << "Folder.dmg" << true << PackageType::dmg;
    QTest::newRow("plain folder") << "sub" << true << PackageType::unknown;
}

void tst_PackageCache::entriesAreTypedByExtension()
{
    QFETCH(QString, name);
    QFETCH(bool, folder);
    QFETCH(PackageType, type);
    if (folder)
        TestFolders::writeFile(QDir(cachePath()).filePath(name), QStringLiteral("inner.txt"), "x");
    else
        TestFolders::writeFile(cachePath(), name, "12345");

    DownloadManager manager(cachePath());
    QCOMPARE(manager.localPackages().size(), 1);
    const LocalPackage package = manager.localPackages().constFirst();
    QCOMPARE(package.fileName, name);
    QCOMPARE(package.filePath, QDir(cachePath()).filePath(name));
    QCOMPARE(package.packageType, type);
    QVERIFY(package.creationDate.isValid());
    QVERIFY(!package.appId && !package.appName && !package.version);
    if (!folder) {
        QCOMPARE(package.fileSize, 5);
        QCOMPARE(package.formattedSize, QStringLiteral("5 bytes"));
    }
}

void tst_PackageCache::hiddenEntriesAreNotListed()
{
    createInOrder({QStringLiteral(".Foo.dmg.partial"), QStringLiteral(".DS_Store"), QStringLiteral("Foo.dmg")});
    DownloadManager manager(cachePath());
    QCOMPARE(manager.localPackages().size(), 1);
    QCOMPARE(manager.localPackages().constFirst().fileName, QStringLiteral("Foo.dmg"));
}

void tst_PackageCache::newestFirst()
{
    createInOrder({QStringLiteral("b-old.dmg"), QStringLiteral("a-middle.zip"), QStringLiteral("c-new.pkg")});
    DownloadManager manager(cachePath());
    QStringList names;
    for (const LocalPackage &package : manager.localPackages())
        names << package.fileName;
    QCOMPARE(names, QStringList({"c-new.pkg", "a-middle.zip", "b-old.dmg"}));
}

void tst_PackageCache::findExistingPackage_data()
{
    QTest::addColumn<QStringList>("files"); // oldest first
    QTest::addColumn<QString>("appId");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("found"); // empty: nothing

    QTest::newRow("id any case, version prefix") << QStringList{"foo-1.2.3.dmg"} << "Foo" << "1.2" << "foo-1.2.3.dmg";
    QTest::newRow("exact version") << QStringList{"foo-1.2.dmg"} << "Foo" << "1.2" << "foo-1.2.dmg";
    QTest::newRow("other version") << QStringList{"foo-1.3.dmg"} << "Foo" << "1.2" << "";
    QTest::newRow("other app") << QStringList{"bar-1.2.dmg"} << "Foo" << "1.2" << "";
    QTest::newRow("empty version takes newest with id")
        << QStringList{"foo-1.dmg", "foo-2.dmg", "bar-3.dmg"} << "foo" << "" << "foo-2.dmg";
    QTest::newRow("version case is kept") << QStringList{"Foo-1.0-Beta.dmg"} << "foo" << "1.0-Beta" << "";
    QTest::newRow("lower-case version matches") << QStringList{"Foo-1.0-Beta.dmg"} << "foo" << "1.0-beta"
                                                << "Foo-1.0-Beta.dmg";
    QTest::newRow("several match: newest") << QStringList{"foo-1.0-a.dmg", "foo-1.0-b.dmg", "foo-0.9.dmg"} << "foo"
                                           << "1.0" << "foo-1.0-b.dmg";
}

void tst_PackageCache::findExistingPackage()
{
    QFETCH(QStringList, files);
    QFETCH(QString, appId);
    QFETCH(QString, version);
    QFETCH(QString, found);
    createInOrder(files);
    DownloadManager manager(cachePath());
    const auto package = manager.findExistingPackage(appId, version);
    QCOMPARE(package ? package->fileName : QString(), found);
}

void tst_PackageCache::rememberedPackageIsFoundBeforeNameRule()
{
    createInOrder({QStringLiteral("googlechrome.dmg"), QStringLiteral("google-chrome-128.0.1.dmg")});
    const QString remembered = QDir(cachePath()).filePath(QStringLiteral("googlechrome.dmg"));
    if (!ExtendedAttributes::write(remembered, QStringLiteral("appId"), "google-chrome"))
        QSKIP("this file system keeps no extended attributes");
    ExtendedAttributes::write(remembered, QStringLiteral("appName"), "Google Chrome");
    ExtendedAttributes::write(remembered, QStringLiteral("version"), "128.0");

    DownloadManager manager(cachePath());
    const auto listed = std::find_if(manager.localPackages().cbegin(), manager.localPackages().cend(),
                                     [&](const LocalPackage &p) { return p.filePath == remembered; });
    QVERIFY(listed != manager.localPackages().cend());
    QCOMPARE(listed->appId, QStringLiteral("google-chrome"));
    QCOMPARE(listed->appName, QStringLiteral("Google Chrome"));
    QCOMPARE(listed->version, QStringLiteral("128.0"));

    // The newer file matches by name too, but the remembered record wins.
    QCOMPARE(manager.findExistingPackage(QStringLiteral("google-chrome"), QStringLiteral("128.0"))->fileName,
             QStringLiteral("googlechrome.dmg"));
    QCOMPARE(manager.findExistingPackage(QStringLiteral("google-chrome"), QString())->fileName,
             QStringLiteral("googlechrome.dmg"));
    // Another version falls back to the name rule.
    QCOMPARE(manager.findExistingPackage(QStringLiteral("google-chrome"), QStringLiteral("128.0.1"))->fileName,
             QStringLiteral("google-chrome-128.0.1.dmg"));
    QVERIFY(!manager.findExistingPackage(QStringLiteral("google-chrome"), QStringLiteral("127.0")));
}

void tst_PackageCache::deletePackagesRemovesOnlyGivenEntries()
{
    createInOrder({QStringLiteral("a.dmg"), QStringLiteral("b.zip"), QStringLiteral("c.pkg")});
    TestFolders::writeFile(QDir(cachePath()).filePath(QStringLiteral("d-folder")), QStringLiteral("x/y.txt"), "y");
    DownloadManager manager(cachePath());
    QCOMPARE(manager.localPackages().size(), 4);
    QSignalSpy changes(&manager, &DownloadManager::localPackagesChanged);

    const QDir cache(cachePath());
    manager.deletePackages({cache.filePath(QStringLiteral("a.dmg")), cache.filePath(QStringLiteral("gone.dmg")),
                            cache.filePath(QStringLiteral("d-folder"))});
    QCOMPARE(changes.size(), 1);
    QCOMPARE(manager.localPackages().size(), 2);
    QVERIFY(!QFileInfo::exists(cache.filePath(QStringLiteral("d-folder"))));

    manager.deletePackage(cache.filePath(QStringLiteral("c.pkg")));
    QCOMPARE(changes.size(), 2);
    QCOMPARE(manager.localPackages().size(), 1);
    QCOMPARE(manager.localPackages().constFirst().fileName, QStringLiteral("b.zip"));
}

void tst_PackageCache::clearAllPackagesEmptiesTheCache()
{
    createInOrder({QStringLiteral("a.dmg"), QStringLiteral("b.zip")});
    TestFolders::writeFile(QDir(cachePath()).filePath(QStringLiteral("folder")), QStringLiteral("inner.bin"), "z");
    DownloadManager manager(cachePath());
    QCOMPARE(manager.localPackages().size(), 3);
    manager.clearAllPackages();
    QVERIFY(manager.localPackages().isEmpty());
    QVERIFY(QDir(cachePath()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

void tst_PackageCache::deletionNeverLeavesTheCache_data()
{
    QTest::addColumn<QString>("relativeToCache");
    QTest::newRow("sibling of the cache") << "../outside.dmg";
    QTest::newRow("the cache itself") << ".";
    QTest::newRow("parent folder") << "..";
}

void tst_PackageCache::deletionNeverLeavesTheCache()
{
    QFETCH(QString, relativeToCache);
    createInOrder({QStringLiteral("kept.dmg")});
    const QString outside = TestFolders::writeFile(QDir(cachePath()).filePath(QStringLiteral("..")),
                                                   QStringLiteral("outside.dmg"), "precious");
    DownloadManager manager(cachePath());
    manager.deletePackage(cachePath() + QLatin1Char('/') + relativeToCache);
    QVERIFY(QFileInfo::exists(outside));
    QVERIFY(QFileInfo::exists(QDir(cachePath()).filePath(QStringLiteral("kept.dmg"))));
    QCOMPARE(manager.localPackages().size(), 1);
}

QTEST_GUILESS_MAIN(tst_PackageCache)
#include "tst_PackageCache.moc"
