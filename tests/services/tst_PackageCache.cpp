#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sys/file.h>

#include "platform/ExtendedAttributes.h"
#include "services/DownloadManager.h"
#include "support/TestFolders.h"

// The cache side of DownloadManager: listing, deletion and lookup over a real folder.
class tst_PackageCache : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_root;

    QString cachePath() const { return m_root->filePath("Caches/ZelvoAppStore/Downloads"); }
    QString cached(const QString &name) const { return QDir(cachePath()).filePath(name); }

    // Creates the files oldest first, far enough apart that their birth times
    // differ; "name=appId/version" remembers what it was downloaded for.
    void createInOrder(const QStringList &names)
    {
        for (const QString &entry : names) {
            const QString name = entry.section('=', 0, 0), record = entry.section('=', 1);
            TestFolders::writeFile(cachePath(), name, "package " + name.toUtf8());
            if (!record.isEmpty())
                QVERIFY(ExtendedAttributes::write(cached(name), "appId", record.section('/', 0, 0).toUtf8()) &&
                        ExtendedAttributes::write(cached(name), "version", record.section('/', 1).toUtf8()));
            QThread::msleep(15);
        }
    }

private Q_SLOTS:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
    }

    // files: oldest first; "dir/" a folder, "!" before a name: a partial a running transfer holds.
    // remove: the names given to deletePackages, or "*" to clear. listed: "+" after an unfinished partial.
    void listingAndRemoval_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("remove");
        QTest::addColumn<QStringList>("listed");    // before the removal
        QTest::addColumn<QStringList>("remaining"); // on disk afterwards, hidden entries included, sorted
        const QString left = DownloadManager::partialFileName("foo-1.0"),
                      running = DownloadManager::partialFileName("bar-2.0");

        QTest::newRow("newest first; hidden files and folders are no packages")
            << QStringList{"b-old.dmg", ".DS_Store", "a-middle.zip", "folder.dmg/inner", "c-new.pkg"} << QStringList{}
            << QStringList{"c-new.pkg", "a-middle.zip", "b-old.dmg"}
            << QStringList{".DS_Store", "a-middle.zip", "b-old.dmg", "c-new.pkg", "folder.dmg"};
        QTest::newRow("only the given files go")
            << QStringList{"a.dmg", "b.zip", "c.pkg"} << QStringList{"a.dmg", "gone.dmg", "c.pkg"}
            << QStringList{"c.pkg", "b.zip", "a.dmg"} << QStringList{"b.zip"};
        QTest::newRow("a folder is never removed") << QStringList{"a.dmg", "d/x/y.txt"} << QStringList{"d", "a.dmg"}
                                                   << QStringList{"a.dmg"} << QStringList{"d"};
        QTest::newRow("clear takes abandoned partials, not running ones")
            << QStringList{"a.dmg", left, "!" + running, "folder/inner.bin"} << QStringList{"*"}
            << QStringList{left + "+", "a.dmg"} << QStringList{running, "folder"};
        QTest::newRow("a running partial is not removed by name")
            << QStringList{"!" + running} << QStringList{running} << QStringList{} << QStringList{running};
        QTest::newRow("nothing outside the cache, nor the cache itself")
            << QStringList{"kept.dmg", "../outside.dmg"} << QStringList{"../outside.dmg", ".", ".."}
            << QStringList{"kept.dmg"} << QStringList{"kept.dmg"};
    }

    void listingAndRemoval()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, remove);
        QFETCH(QStringList, listed);
        QFETCH(QStringList, remaining);
        QList<std::shared_ptr<QFile>> held;
        for (QString name : files) {
            const bool busy = name.startsWith('!');
            name.remove(0, busy ? 1 : 0);
            createInOrder({name});
            if (!busy)
                continue;
            held << std::make_shared<QFile>(cached(name));
            QVERIFY(held.last()->open(QIODevice::ReadOnly));
            QCOMPARE(::flock(held.last()->handle(), LOCK_EX | LOCK_NB), 0);
        }
        DownloadManager manager(cachePath());
        QStringList shown;
        for (const LocalPackage &package : manager.localPackages())
            shown << package.fileName + (package.unfinished ? "+" : "");
        QCOMPARE(shown, listed);

        QSignalSpy changes(&manager, &DownloadManager::localPackagesChanged);
        if (remove == QStringList{"*"}) {
            manager.clearAllPackages();
        } else if (!remove.isEmpty()) {
            QStringList paths;
            for (const QString &name : remove)
                paths << cached(name);
            manager.deletePackages(paths);
        }
        QCOMPARE(changes.size(), remove.isEmpty() ? 0 : 1);
        QCOMPARE(TestFolders::entries(cachePath()),
                 remaining);
        QCOMPARE(QFileInfo::exists(cached("../outside.dmg")), files.contains("../outside.dmg"));
    }

    void findExistingPackage_data()
    {
        QTest::addColumn<QStringList>("files"); // oldest first
        QTest::addColumn<QString>("version");   // of the record "Foo"
        QTest::addColumn<QString>("found");     // empty: nothing
        const auto row = [](const char *name, const QStringList &files, const char *version, const char *found) {
            QTest::newRow(name) << files << version << found;
        };
        row("id in any case, prefix", {"foo-1.2.3.dmg"}, "1.2", "foo-1.2.3.dmg");
        row("exact version", {"foo-1.2.dmg"}, "1.2", "foo-1.2.dmg");
        row("other version", {"foo-1.3.dmg"}, "1.2", "");
        row("other app", {"bar-1.2.dmg"}, "1.2", "");
        row("empty version takes newest with id", {"foo-1.dmg", "foo-2.dmg", "bar-3.dmg"}, "", "foo-2.dmg");
        row("version case is kept", {"Foo-1.0-Beta.dmg"}, "1.0-Beta", "");
        row("lower-case version", {"Foo-1.0-Beta.dmg"}, "1.0-beta", "Foo-1.0-Beta.dmg");
        row("an unfinished download is no package", {DownloadManager::partialFileName("foo-1.2")}, "1.2", "");
        row("several match: newest", {"foo-1.0-a.dmg", "foo-1.0-b.dmg", "foo-0.9.dmg"}, "1.0", "foo-1.0-b.dmg");
        // What a file remembers wins over a newer name match; another version falls back to names.
        row("remembered record first", {"chrome.dmg=Foo/1.2", "foo-1.2.dmg"}, "1.2", "chrome.dmg");
        row("remembered, any version", {"chrome.dmg=Foo/1.2", "foo-1.3.dmg"}, "", "chrome.dmg");
        row("remembered, other version", {"chrome.dmg=Foo/1.2", "foo-1.3.dmg"}, "1.3", "foo-1.3.dmg");
    }

    void findExistingPackage()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, version);
        QFETCH(QString, found);
        createInOrder(files);
        const auto package = DownloadManager(cachePath()).findExistingPackage("Foo", version);
        QCOMPARE(package ? package->fileName : QString(), found);
    }
};

QTEST_GUILESS_MAIN(tst_PackageCache)
#include "tst_PackageCache.moc"
