#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "models/ZelvoError.h"
#include "services/AppStoreService.h"
#include "services/InstalledDetector.h"
#include "support/TestFolders.h"

namespace {

QByteArray record(const QString &id, const QString &version = QStringLiteral("1.0"))
{
    return QStringLiteral(R"({"id":"%1","name":"N%1","category":"c","summary":"s","description":"d",
        "sourceType":"direct","currentVersion":"%2","packageType":"dmg"})")
        .arg(id, version)
        .toUtf8();
}

QStringList ids(const QList<AppItem> &apps)
{
    QStringList list;
    for (const auto &app : apps)
        list << app.id;
    return list;
}

} // namespace

class TestAppStoreService final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    InstalledDetector m_detector{QStringList{}};

    QString libraryPath() const { return m_dir.filePath(QStringLiteral("lib/apps.json")); }
    std::unique_ptr<AppStoreService> makeStore()
    {
        return std::make_unique<AppStoreService>(m_dir.filePath(QStringLiteral("lib")), m_detector);
    }
    QStringList backups() const
    {
        return QDir(m_dir.filePath(QStringLiteral("lib")))
            .entryList({QStringLiteral("apps.json.corrupt-*")}, QDir::Files, QDir::Name);
    }

private Q_SLOTS:
    void init()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.filePath(QStringLiteral("lib")));
    }

    void firstStartWritesPresetsSortedAndPretty()
    {
        QFile::remove(libraryPath());
        auto store = makeStore();
        QCOMPARE(store->apps(), AppStoreService::defaultPresetApps());
        QCOMPARE(ids(store->apps()), QStringList({"google-chrome", "visual-studio-code", "iterm2", "docker",
                                                  "wechat", "obsidian"}));
        const auto bytes = TestFolders::readFile(libraryPath());
        QVERIFY(bytes.contains("\n    {"));
        const auto first = QJsonDocument::fromJson(bytes).array().first().toObject();
        QCOMPARE(first.keys().first(), QStringLiteral("appFilename")); // sorted keys
        // Keys in the file appear in sorted order as text too.
        QVERIFY(bytes.indexOf("\"appFilename\"") < bytes.indexOf("\"bundleId\""));
        QVERIFY(bytes.indexOf("\"bundleId\"") < bytes.indexOf("\"category\""));
    }

    void presetsEncodeOnlyTheirValues()
    {
        const auto &presets = AppStoreService::defaultPresetApps();
        for (int i = 0; i < presets.size(); ++i) {
            const auto json = presets[i].toJson();
            for (const auto *key : {"versions", "tags", "fileSize", "sha256", "updatedAt", "versionListUrl"})
                QVERIFY2(!json.contains(QLatin1String(key)), key);
            QCOMPARE(json.contains(QStringLiteral("brewName")), i < 4);
            QCOMPARE(presets[i].resolvedPackageType(), i < 4 ? PackageType::brew : PackageType::dmg);
        }
        const auto &obsidian = presets[5];
        QCOMPARE(obsidian.resolveDownloadUrl(), obsidian.downloadUrl);
        QVERIFY(obsidian.resolveDownloadUrl(QStringLiteral("9.9.9"))->endsWith(QLatin1String("/v9.9.9/Obsidian-9.9.9-arm64.dmg")));
        QCOMPARE(presets[0].displayVersion(), QStringLiteral("128.0.6613.120"));
    }

    void emptyArrayLoadsEmptyAndIsNotRewritten()
    {
        TestFolders::writeFile(m_dir.path(), QStringLiteral("lib/apps.json"), "[]");
        auto store = makeStore();
        QVERIFY(store->apps().isEmpty());
        QCOMPARE(TestFolders::readFile(libraryPath()), QByteArray("[]"));
        QVERIFY(backups().isEmpty());
    }

    void unusableFileIsKeptAsideBeforePresets_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("malformed") << QByteArray("[{\"id\": ");
        QTest::newRow("record missing currentVersion")
            << QByteArray("[" + record("a").replace("\"currentVersion\":\"1.0\",", "") + "]");
        QTest::newRow("object instead of array") << record("a");
        QTest::newRow("unknown enum") << QByteArray("[" + record("a").replace("\"dmg\"", "\"DMG\"") + "]");
    }

    void unusableFileIsKeptAsideBeforePresets()
    {
        QFETCH(QByteArray, content);
        TestFolders::writeFile(m_dir.path(), QStringLiteral("lib/apps.json"), content);
        auto store = makeStore();
        QCOMPARE(store->apps(), AppStoreService::defaultPresetApps());
        const auto saved = backups();
        QCOMPARE(saved.size(), 1);
        QVERIFY(QRegularExpression(QStringLiteral("^apps\\.json\\.corrupt-\\d{8}-\\d{6}$")).match(saved.first()).hasMatch());
        QCOMPARE(TestFolders::readFile(m_dir.filePath(QStringLiteral("lib/") + saved.first())), content);
        QCOMPARE(AppItem::listFromJson(TestFolders::readFile(libraryPath())), AppStoreService::defaultPresetApps());
    }

    void backupsNeverOverwriteEachOther()
    {
        for (int round = 0; round < 3; ++round) {
            TestFolders::writeFile(m_dir.path(), QStringLiteral("lib/apps.json"), "broken " + QByteArray::number(round));
            makeStore();
        }
        const auto saved = backups();
        QCOMPARE(saved.size(), 3); // all within the same second in practice: counters keep them apart
        QSet<QByteArray> contents;
        for (const auto &name : saved)
            contents.insert(TestFolders::readFile(m_dir.filePath(QStringLiteral("lib/") + name)));
        QCOMPARE(contents.size(), 3);
    }

    void upsertKeepsPositionOrPrepends()
    {
        auto store = makeStore();
        QSignalSpy changed(store.get(), &AppStoreService::appsChanged);
        auto docker = store->apps().at(3);
        docker.name = QStringLiteral("Docker 2");
        docker.tags = QStringList{QStringLiteral("t")};
        QVERIFY(store->saveAppItem(docker).ok);
        QCOMPARE(store->apps().at(3), docker);
        AppItem fresh = AppItem::fromJson(QJsonDocument::fromJson(record("zz")).object());
        QVERIFY(store->saveAppItem(fresh).ok);
        QCOMPARE(store->apps().first().id, QStringLiteral("zz"));
        QCOMPARE(store->apps().size(), 7);
        QCOMPARE(changed.count(), 2);
        // What is on disk is what is in memory.
        QCOMPARE(AppItem::listFromJson(TestFolders::readFile(libraryPath())), store->apps());
    }

    void removeDropsEveryMatch()
    {
        TestFolders::writeFile(m_dir.path(), QStringLiteral("lib/apps.json"),
                               "[" + record("a") + "," + record("b") + "," + record("a", "2") + "]");
        auto store = makeStore();
        QVERIFY(store->removeApp(QStringLiteral("a")).ok);
        QCOMPARE(ids(store->apps()), QStringList({"b"}));
        QVERIFY(store->removeApp(QStringLiteral("missing")).ok);
        QCOMPARE(ids(AppItem::listFromJson(TestFolders::readFile(libraryPath()))), QStringList({"b"}));
    }

    void importOrder_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("array of new ids") << QByteArray("[" + record("A") + "," + record("B") + "," + record("C") + "]")
                                          << 3 << QStringList({"C", "B", "A", "x", "y"});
        QTest::newRow("single object") << record("A") << 1 << QStringList({"A", "x", "y"});
        QTest::newRow("replace in place") << QByteArray("[" + record("y", "9") + "]") << 1 << QStringList({"x", "y"});
        QTest::newRow("same id twice") << QByteArray("[" + record("A", "1") + "," + record("A", "2") + "]") << 2
                                       << QStringList({"A", "x", "y"});
        QTest::newRow("empty array") << QByteArray("[]") << 0 << QStringList({"x", "y"});
    }

    void importOrder()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, count);
        QFETCH(QStringList, expected);
        TestFolders::writeFile(m_dir.path(), QStringLiteral("lib/apps.json"), "[" + record("x") + "," + record("y") + "]");
        auto store = makeStore();
        QFile::remove(libraryPath());
        const auto result = store->importFromJson(QString::fromUtf8(json));
        QCOMPARE(result.count, count);
        QVERIFY(result.save.ok);
        QCOMPARE(ids(store->apps()), expected);
        QVERIFY(QFile::exists(libraryPath())); // written even for an empty import
        if (json.contains("\"2\""))
            QCOMPARE(store->apps().first().currentVersion, QStringLiteral("2"));
        if (json.contains("\"9\""))
            QCOMPARE(store->apps().at(1).currentVersion, QStringLiteral("9"));
    }

    void badImportsChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("number") << QByteArray("42");
        QTest::newRow("object lacking keys") << QByteArray("{\"id\":\"a\"}");
        QTest::newRow("one bad record in array") << QByteArray("[" + record("ok") + ",{\"id\":\"b\"}]");
        QTest::newRow("not json") << QByteArray("hello");
    }

    void badImportsChangeNothing()
    {
        QFETCH(QByteArray, json);
        auto store = makeStore();
        const auto before = store->apps();
        const auto fileBefore = TestFolders::readFile(libraryPath());
        try {
            store->importFromData(json);
            QFAIL("import should fail");
        } catch (const DecodingError &error) {
            QCOMPARE(error.localizedDescription(), QStringLiteral("JSON 格式既不是 AppItem 对象，也不是 AppItem 数组"));
        }
        QCOMPARE(store->apps(), before);
        QCOMPARE(TestFolders::readFile(libraryPath()), fileBefore);
    }

    void failedWritesAreReportedAndKeptInMemory()
    {
        auto store = makeStore();
        // A folder where the file should be makes every atomic write fail.
        QFile::remove(libraryPath());
        QDir().mkpath(libraryPath());
        AppItem fresh = AppItem::fromJson(QJsonDocument::fromJson(record("new")).object());
        const auto save = store->saveAppItem(fresh);
        QVERIFY(!save.ok);
        QVERIFY(!save.error.isEmpty());
        QCOMPARE(store->apps().first().id, QStringLiteral("new"));
        QVERIFY(!store->removeApp(QStringLiteral("new")).ok);
        const auto imported = store->importFromData("[" + record("z") + "]");
        QCOMPARE(imported.count, 1);
        QVERIFY(!imported.save.ok);
    }

    void exportMatchesTheFile()
    {
        auto store = makeStore();
        QCOMPARE(store->exportToJson().toUtf8(), TestFolders::readFile(libraryPath()));
    }

    void changesOfAnotherStoreAreNeverLost_data()
    {
        QTest::addColumn<QString>("kind"); // how the other store changes the library
        QTest::newRow("import") << QStringLiteral("import");
        QTest::newRow("upsert") << QStringLiteral("upsert");
        QTest::newRow("remove") << QStringLiteral("remove");
    }

    void changesOfAnotherStoreAreNeverLost()
    {
        QFETCH(QString, kind);
        auto window = makeStore();
        auto other = makeStore();
        if (kind == QLatin1String("import"))
            QCOMPARE(other->importFromData("[" + record("imported") + "]").count, 1);
        else if (kind == QLatin1String("upsert"))
            QVERIFY(other->saveAppItem(AppItem::fromJson(QJsonDocument::fromJson(record("imported")).object())).ok);
        else
            QVERIFY(other->removeApp(QStringLiteral("wechat")).ok);
        // No event loop has run: the window has not reloaded yet, and its save
        // must still build on the file rather than on its stale memory.
        QVERIFY(!window->app(QStringLiteral("mine")));
        QVERIFY(window->saveAppItem(AppItem::fromJson(QJsonDocument::fromJson(record("mine")).object())).ok);
        const auto onDisk = ids(AppItem::listFromJson(TestFolders::readFile(libraryPath())));
        QCOMPARE(onDisk.first(), QStringLiteral("mine"));
        QCOMPARE(onDisk.contains(QStringLiteral("imported")), kind != QLatin1String("remove"));
        QCOMPARE(onDisk.contains(QStringLiteral("wechat")), kind != QLatin1String("remove"));
        QCOMPARE(ids(window->apps()), onDisk);
        // The other store notices the window's write in turn.
        QTRY_COMPARE(ids(other->apps()), onDisk);
    }

    void externalWritesAreReloaded()
    {
        auto store = makeStore();
        QSignalSpy changed(store.get(), &AppStoreService::appsChanged);
        // Twice replaced atomically (the watch on the first file ends with it),
        // then rewritten in place.
        for (const auto &id : {QStringLiteral("a"), QStringLiteral("b")}) {
            QSaveFile file(libraryPath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[" + record(id) + "]");
            QVERIFY(file.commit());
            QTRY_COMPARE(ids(store->apps()), QStringList{id});
        }
        QFile inPlace(libraryPath());
        QVERIFY(inPlace.open(QIODevice::WriteOnly | QIODevice::Truncate));
        inPlace.write("[" + record("c") + "," + record("b") + "]");
        inPlace.close();
        QTRY_COMPARE(ids(store->apps()), QStringList({"c", "b"}));
        QCOMPARE(changed.count(), 3);
    }

    void ownWritesAndBrokenFilesDoNotReload()
    {
        auto store = makeStore();
        QSignalSpy changed(store.get(), &AppStoreService::appsChanged);
        QVERIFY(store->saveAppItem(AppItem::fromJson(QJsonDocument::fromJson(record("x")).object())).ok);
        QVERIFY(store->removeApp(QStringLiteral("docker")).ok);
        QTest::qWait(300);
        QCOMPARE(changed.count(), 2);
        // A file broken while the store runs is not loaded; the next change
        // keeps it aside and writes the records in memory.
        const auto before = store->apps();
        TestFolders::writeFile(m_dir.path(), QStringLiteral("lib/apps.json"), "[{\"id\": ");
        QTest::qWait(300);
        QCOMPARE(store->apps(), before);
        QVERIFY(store->removeApp(QStringLiteral("x")).ok);
        QCOMPARE(backups().size(), 1);
        QCOMPARE(AppItem::listFromJson(TestFolders::readFile(libraryPath())), store->apps());
        QCOMPARE(store->apps().size(), before.size() - 1);
    }

    void installedMapComesFromTheDetector()
    {
        QTemporaryDir apps;
        TestFolders::makeBundle(apps.path(), QStringLiteral("WeChat"), QStringLiteral("com.tencent.xinWeChat"),
                                QStringLiteral("3.8.7"));
        InstalledDetector detector({apps.path()});
        AppStoreService store(m_dir.filePath(QStringLiteral("lib")), detector);
        const auto wechat = *store.app(QStringLiteral("wechat"));
        QCOMPARE(store.getInstallStatus(wechat).kind, AppInstallStatus::Kind::updateAvailable);
        QSignalSpy changed(&store, &AppStoreService::installedAppMapChanged);
        TestFolders::makeBundle(apps.path(), QStringLiteral("WeChat"), QStringLiteral("com.tencent.xinWeChat"),
                                QStringLiteral("3.8.8"));
        store.refreshInstalledStatus();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(store.getInstallStatus(wechat).kind, AppInstallStatus::Kind::installed);
    }
};

QTEST_GUILESS_MAIN(TestAppStoreService)
#include "tst_AppStoreService.moc"
