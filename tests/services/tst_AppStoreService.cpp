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

QByteArray record(const QString &id, const QString &version = "1.0")
{
    return QStringLiteral(R"({"id":"%1","name":"N%1","category":"c","summary":"s","description":"d",
        "sourceType":"direct","currentVersion":"%2","packageType":"dmg"})")
        .arg(id, version)
        .toUtf8();
}

QByteArray list(const QList<QByteArray> &records)
{
    return "[" + QByteArrayList(records).join(',') + "]";
}

AppItem item(const QString &id)
{
    return AppItem::fromJson(QJsonDocument::fromJson(record(id)).object());
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

    QString libraryPath() const { return m_dir.filePath("lib/apps.json"); }
    void writeLibrary(const QByteArray &bytes) const { TestFolders::writeFile(m_dir.path(), "lib/apps.json", bytes); }
    QByteArray fileBytes() const { return TestFolders::readFile(libraryPath()); }
    QList<AppItem> onDisk() const { return AppItem::listFromJson(fileBytes()); }
    std::unique_ptr<AppStoreService> makeStore()
    {
        return std::make_unique<AppStoreService>(m_dir.filePath("lib"), m_detector);
    }
    QStringList backups() const
    {
        return QDir(m_dir.filePath("lib")).entryList({"apps.json.corrupt-*"}, QDir::Files, QDir::Name);
    }

private Q_SLOTS:
    void init()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.filePath("lib"));
    }

    void firstStartWritesPresetsSortedAndPretty()
    {
        auto store = makeStore();
        QCOMPARE(store->apps(), AppStoreService::defaultPresetApps());
        QCOMPARE(onDisk(), store->apps());
        const auto bytes = fileBytes();
        QVERIFY(bytes.contains("\n    {"));
        QVERIFY(bytes.indexOf("\"appFilename\"") < bytes.indexOf("\"bundleId\""));
        QVERIFY(bytes.indexOf("\"bundleId\"") < bytes.indexOf("\"category\""));
        QCOMPARE(store->exportToJson().toUtf8(), bytes);
    }

    void emptyArrayLoadsEmptyAndIsNotRewritten()
    {
        writeLibrary("[]");
        QVERIFY(makeStore()->apps().isEmpty());
        QCOMPARE(fileBytes(), QByteArray("[]"));
        QVERIFY(backups().isEmpty());
    }

    void unusableFileIsKeptAsideBeforePresets_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("malformed") << QByteArray("[{\"id\": ");
        QTest::newRow("no currentVersion") << list({record("a").replace("\"currentVersion\":\"1.0\",", "")});
        QTest::newRow("object instead of array") << record("a");
        QTest::newRow("unknown enum") << list({record("a").replace("\"dmg\"", "\"DMG\"")});
    }

    void unusableFileIsKeptAsideBeforePresets()
    {
        QFETCH(QByteArray, content);
        writeLibrary(content);
        QCOMPARE(makeStore()->apps(), AppStoreService::defaultPresetApps());
        const auto saved = backups();
        QCOMPARE(saved.size(), 1);
        QVERIFY(QRegularExpression("^apps\\.json\\.corrupt-\\d{8}-\\d{6}$").match(saved.first()).hasMatch());
        QCOMPARE(TestFolders::readFile(m_dir.filePath("lib/" + saved.first())), content);
        QCOMPARE(onDisk(), AppStoreService::defaultPresetApps());
    }

    void backupsNeverOverwriteEachOther()
    {
        for (int round = 0; round < 3; ++round) {
            writeLibrary("broken " + QByteArray::number(round));
            makeStore();
        }
        // All within the same second in practice: counters keep them apart.
        QSet<QByteArray> contents;
        for (const auto &name : backups())
            contents.insert(TestFolders::readFile(m_dir.filePath("lib/" + name)));
        QCOMPARE(contents.size(), 3);
    }

    // Saving a known id keeps its place, a new one goes first; removing drops every record of the id.
    void saveAndRemove()
    {
        writeLibrary(list({record("a"), record("b"), record("a", "2")}));
        auto store = makeStore();
        QSignalSpy changed(store.get(), &AppStoreService::appsChanged);
        auto b = store->apps().at(1);
        b.name = "B 2";
        b.tags = QStringList{"t"};
        QVERIFY(store->saveAppItem(b).ok);
        QCOMPARE(store->apps().at(1), b);
        QVERIFY(store->saveAppItem(item("zz")).ok);
        QVERIFY(store->removeApp("a").ok);
        QVERIFY(store->removeApp("missing").ok);
        QCOMPARE(ids(store->apps()), QStringList({"zz", "b"}));
        QCOMPARE(store->apps().at(1), b);
        QCOMPARE(changed.count(), 4);
        QCOMPARE(onDisk(), store->apps());
    }

    void importOrder_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("expected"); // "id@version"
        QTest::newRow("array of new ids") << list({record("A"), record("B"), record("C")}) << 3
                                          << QStringList({"C@1.0", "B@1.0", "A@1.0", "x@1.0", "y@1.0"});
        QTest::newRow("single object") << record("A") << 1 << QStringList({"A@1.0", "x@1.0", "y@1.0"});
        QTest::newRow("replace in place") << list({record("y", "9")}) << 1 << QStringList({"x@1.0", "y@9"});
        QTest::newRow("same id twice") << list({record("A", "1"), record("A", "2")}) << 2
                                       << QStringList({"A@2", "x@1.0", "y@1.0"});
        QTest::newRow("empty array") << QByteArray("[]") << 0 << QStringList({"x@1.0", "y@1.0"});
    }

    void importOrder()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, count);
        QFETCH(QStringList, expected);
        writeLibrary(list({record("x"), record("y")}));
        auto store = makeStore();
        QFile::remove(libraryPath());
        const auto result = store->importFromJson(QString::fromUtf8(json));
        QCOMPARE(result.count, count);
        QVERIFY(result.save.ok);
        QStringList seen;
        for (const auto &app : store->apps())
            seen << app.id + "@" + app.currentVersion;
        QCOMPARE(seen, expected);
        QCOMPARE(onDisk(), store->apps()); // written even for an empty import
    }

    void badImportsChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("number") << QByteArray("42");
        QTest::newRow("object lacking keys") << QByteArray("{\"id\":\"a\"}");
        QTest::newRow("one bad record in array") << list({record("ok"), "{\"id\":\"b\"}"});
        QTest::newRow("not json") << QByteArray("hello");
    }

    void badImportsChangeNothing()
    {
        QFETCH(QByteArray, json);
        auto store = makeStore();
        const auto before = store->apps();
        const auto fileBefore = fileBytes();
        try {
            store->importFromData(json);
            QFAIL("import should fail");
        } catch (const DecodingError &error) {
            QCOMPARE(error.localizedDescription(), AppStoreService::importFormatError());
        }
        QCOMPARE(store->apps(), before);
        QCOMPARE(fileBytes(), fileBefore);
    }

    void failedWritesAreReportedAndKeptInMemory()
    {
        auto store = makeStore();
        // A folder where the file should be makes every atomic write fail.
        QFile::remove(libraryPath());
        QDir().mkpath(libraryPath());
        const auto save = store->saveAppItem(item("new"));
        QVERIFY(!save.ok);
        QVERIFY(!save.error.isEmpty());
        QCOMPARE(store->apps().first().id, QStringLiteral("new"));
        QVERIFY(!store->removeApp("new").ok);
        const auto imported = store->importFromData(list({record("z")}));
        QCOMPARE(imported.count, 1);
        QVERIFY(!imported.save.ok);
    }

    void changesOfAnotherStoreAreNeverLost_data()
    {
        QTest::addColumn<QString>("kind"); // how the other store changes the library
        QTest::newRow("import") << "import";
        QTest::newRow("upsert") << "upsert";
        QTest::newRow("remove") << "remove";
    }

    void changesOfAnotherStoreAreNeverLost()
    {
        QFETCH(QString, kind);
        auto window = makeStore();
        auto other = makeStore();
        if (kind == "import")
            QCOMPARE(other->importFromData(list({record("imported")})).count, 1);
        else if (kind == "upsert")
            QVERIFY(other->saveAppItem(item("imported")).ok);
        else
            QVERIFY(other->removeApp("wechat").ok);
        // No event loop has run: the window has not reloaded yet, and its save
        // must still build on the file rather than on its stale memory.
        QVERIFY(!window->app("mine"));
        QVERIFY(window->saveAppItem(item("mine")).ok);
        const auto saved = ids(onDisk());
        QCOMPARE(saved.first(), QStringLiteral("mine"));
        QCOMPARE(saved.contains("imported"), kind != "remove");
        QCOMPARE(saved.contains("wechat"), kind != "remove");
        QCOMPARE(ids(window->apps()), saved);
        // The other store notices the window's write in turn.
        QTRY_COMPARE(ids(other->apps()), saved);
    }

    // Another process's writes are reloaded: twice replaced atomically (the
    // watch on the first file ends with it), then rewritten in place. The
    // store's own writes and a broken file are not; the next change keeps the
    // broken file aside and writes the records in memory.
    void fileWatch()
    {
        auto store = makeStore();
        QSignalSpy changed(store.get(), &AppStoreService::appsChanged);
        for (const QString id : {"a", "b"}) {
            QSaveFile file(libraryPath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(list({record(id)}));
            QVERIFY(file.commit());
            QTRY_COMPARE(ids(store->apps()), QStringList{id});
        }
        writeLibrary(list({record("c"), record("b")}));
        QTRY_COMPARE(ids(store->apps()), QStringList({"c", "b"}));
        QVERIFY(store->saveAppItem(item("x")).ok);
        QVERIFY(store->removeApp("b").ok);
        QTest::qWait(300);
        QCOMPARE(changed.count(), 5);

        writeLibrary("[{\"id\": ");
        QTest::qWait(300);
        QCOMPARE(ids(store->apps()), QStringList({"x", "c"}));
        QVERIFY(store->removeApp("x").ok);
        QCOMPARE(backups().size(), 1);
        QCOMPARE(ids(onDisk()), QStringList{"c"});
        QCOMPARE(changed.count(), 6);
    }
};

QTEST_GUILESS_MAIN(TestAppStoreService)
#include "tst_AppStoreService.moc"
