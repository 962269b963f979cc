#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "services/AppStoreService.h"
#include "services/InstalledDetector.h"
#include "support/FileSizeLimit.h"
#include "support/TestFolders.h"
#include "support/TestRecords.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

using TestRecords::ids;
using TestRecords::json;

QByteArray list(const QList<QByteArray> &records)
{
    return "[" + QByteArrayList(records).join(',') + "]";
}

AppItem item(const QString &id)
{
    return AppItem::fromJson(QJsonDocument::fromJson(json(id)).object());
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
        return QDir(m_dir.filePath("lib")).entryList({"apps.json.corrupt-*"}, QDir::Files | QDir::System, QDir::Name);
    }

private Q_SLOTS:
    void init()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.filePath("lib"));
    }

    // What a load makes of the file it finds: the records that decode, the
    // file kept aside as it was, the last good copy when nothing decodes, and
    // a notice that says so.
    void libraryOnLoad_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file; "fifo": a named pipe in its place
        QTest::addColumn<QByteArray>("lastGood");
        QTest::addColumn<QStringList>("expected"); // "presets": the six defaults
        QTest::addColumn<QString>("notice");
        const QByteArray malformed = "[{\"id\": ";
        const QString unusable = "应用库文件无法解析，已备份为: ";
        const QStringList presets{"presets"};
        QTest::newRow("first start") << QByteArray() << QByteArray() << presets << QString();
        QTest::newRow("empty array") << QByteArray("[]") << QByteArray() << QStringList() << QString();
        QTest::newRow("malformed") << malformed << QByteArray() << presets << unusable;
        QTest::newRow("object instead of array") << json("a") << QByteArray() << presets << unusable;
        QTest::newRow("every record bad") << list({json("a").replace("\"dmg\"", "\"DMG\"")}) << QByteArray()
                                          << presets << unusable;
        QTest::newRow("bad records among good")
            << list({json("a"), json("b").replace("\"dmg\"", "\"DMG\""), "{\"id\":1}", "7", json("c")})
            << QByteArray() << QStringList{"a", "c"}
            << "应用库中有 3 条记录无法解析，已跳过，其余 2 个应用照常可用；原文件已备份为: ";
        QTest::newRow("last good copy restored") << malformed << list({json("x")}) << QStringList{"x"}
                                                 << unusable;
        QTest::newRow("last good copy broken too") << malformed << QByteArray("[") << presets << unusable;
        QTest::newRow("named pipe") << QByteArray("fifo") << QByteArray() << presets << unusable;
    }

    void libraryOnLoad()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, lastGood);
        QFETCH(QStringList, expected);
        QFETCH(QString, notice);
        if (content == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(libraryPath()), 0644), 0);
        else if (!content.isNull())
            writeLibrary(content);
        if (!lastGood.isEmpty())
            TestFolders::writeFile(m_dir.path(), "lib/apps.json.last-good", lastGood);
        auto store = makeStore();
        if (expected == QStringList{"presets"})
            expected = ids(AppStoreService::defaultPresetApps());
        QCOMPARE(ids(store->apps()), expected);
        QCOMPARE(onDisk(), store->apps());
        QCOMPARE(TestFolders::readFile(libraryPath() + ".last-good"), fileBytes());
        if (content != "[]") // written by the store, in the form export gives
            QCOMPARE(store->exportToJson().toUtf8(), fileBytes());
        QVERIFY2(store->notice().startsWith(notice), qPrintable(store->notice()));
        const auto saved = backups();
        QCOMPARE(saved.size(), notice.isEmpty() ? 0 : 1);
        if (notice.isEmpty())
            return;
        QVERIFY(QRegularExpression("^apps\\.json\\.corrupt-\\d{8}-\\d{6}$").match(saved.first()).hasMatch());
        QVERIFY(store->notice().contains(saved.first()));
        QCOMPARE(store->notice().contains("已从上次完好的副本恢复"), expected == QStringList{"x"});
        if (content != "fifo")
            QCOMPARE(TestFolders::readFile(m_dir.filePath("lib/" + saved.first())), content);
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
        writeLibrary(list({json("a"), json("b"), json("a", "2")}));
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
        QTest::newRow("array of new ids") << list({json("A"), json("B"), json("C")}) << 3
                                          << QStringList({"C@1.0", "B@1.0", "A@1.0", "x@1.0", "y@1.0"});
        QTest::newRow("single object") << json("A") << 1 << QStringList({"A@1.0", "x@1.0", "y@1.0"});
        QTest::newRow("replace in place") << list({json("y", "9")}) << 1 << QStringList({"x@1.0", "y@9"});
        QTest::newRow("same id twice") << list({json("A", "1"), json("A", "2")}) << 2
                                       << QStringList({"A@2", "x@1.0", "y@1.0"});
        QTest::newRow("empty array") << QByteArray("[]") << 0 << QStringList({"x@1.0", "y@1.0"});
    }

    void importOrder()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, count);
        QFETCH(QStringList, expected);
        writeLibrary(list({TestRecords::json("x"), TestRecords::json("y")}));
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

    // A disk that fills up at any point of a save: the library on disk stays
    // as it was, nothing is left behind, the failure is reported with its
    // reason and the change stays in memory.
    void fullDiskNeverDamagesTheLibrary_data()
    {
        QTest::addColumn<double>("share"); // of the new file that fits
        QTest::addColumn<int>("offset");   // bytes added to that
        for (const double share : {0.0, 0.002, 0.1, 0.25, 0.5, 0.75, 0.99})
            QTest::addRow("%g of the file fits", share) << share << 0;
        QTest::newRow("all but its last byte") << 1.0 << -1;
        QTest::newRow("all of it") << 1.0 << 0;
    }

    void fullDiskNeverDamagesTheLibrary()
    {
        QFETCH(double, share);
        QFETCH(int, offset);
        QList<QByteArray> records;
        for (int i = 0; i < 20; ++i)
            records << json(QString::number(i));
        writeLibrary(list(records));
        auto store = makeStore();
        const QByteArray before = fileBytes();
        const QByteArray big = json("big").replace("\"d\"", "\"" + QByteArray(20'000, 'd') + "\"");
        QList<AppItem> after = store->apps();
        after.prepend(AppItem::fromJson(QJsonDocument::fromJson(big).object()));
        const qint64 limit = qint64(share * AppItem::listToJson(after).size()) + offset;
        const bool fits = share == 1.0 && offset == 0;

        FileSizeLimit full(limit);
        QVERIFY(full.active());
        const auto result = store->importFromData(big);
        full.end();
        QCOMPARE(result.save.ok, fits);
        QVERIFY(store->app("big"));
        QCOMPARE(QDir(m_dir.filePath("lib")).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList({"apps.json", "apps.json.last-good"}));
        QCOMPARE(TestFolders::readFile(libraryPath() + ".last-good"), fits ? fileBytes() : before);
        if (fits)
            return;
        QVERIFY2(result.save.error.endsWith("：文件超出系统允许的大小"), qPrintable(result.save.error));
        QCOMPARE(fileBytes(), before);
        QCOMPARE(makeStore()->apps().size(), 20);
    }

    // Failing to take the lock has other causes than another process; each
    // is named, and a file found unusable meanwhile is left where it is.
    void lockProblemsSayWhatHappened_data()
    {
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QString>("expected");
        QTest::newRow("folder cannot be created") << "file in the way" << "无法创建应用库文件夹 ";
        QTest::newRow("read-only folder") << "read-only" << "无法创建应用库锁文件 ";
        QTest::newRow("disk too full for the lock") << "full" << "无法创建应用库锁文件 ";
    }

    void lockProblemsSayWhatHappened()
    {
        QFETCH(QString, problem);
        QFETCH(QString, expected);
        QString folder = m_dir.filePath("lib");
        writeLibrary("[{");
        std::optional<FileSizeLimit> full;
        const QByteArray bytes = QFile::encodeName(folder);
        const bool root = ::geteuid() == 0;
        if (problem == "file in the way") {
            folder = libraryPath() + "/lib";
        } else if (problem == "full") {
            full.emplace(0);
        } else if (root) { // permissions do not hold root back; a read-only mount does
            QCOMPARE(QProcess::execute("mount", {"--bind", folder, folder}), 0);
            QCOMPARE(QProcess::execute("mount", {"-o", "remount,ro,bind", folder}), 0);
        } else {
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        }
        AppStoreService store(folder, m_detector);
        const auto save = store.saveAppItem(item("new"));
        full.reset();
        if (problem == "read-only" && root)
            QProcess::execute("umount", {folder});
        QFile::setPermissions(m_dir.filePath("lib"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!save.ok);
        QVERIFY2(save.error.startsWith(expected), qPrintable(save.error));
        QVERIFY(!save.error.endsWith("："));
        QCOMPARE(store.apps().first().id, QStringLiteral("new"));
        QCOMPARE(fileBytes(), QByteArray("[{"));
        QVERIFY(backups().isEmpty());
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
            QCOMPARE(other->importFromData(list({json("imported")})).count, 1);
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
            file.write(list({json(id)}));
            QVERIFY(file.commit());
            QTRY_COMPARE(ids(store->apps()), QStringList{id});
        }
        writeLibrary(list({json("c"), json("b")}));
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
