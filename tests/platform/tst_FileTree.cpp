#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

#include "platform/FileTree.h"
#include "support/TestFolders.h"

namespace fs = std::filesystem;

namespace {

fs::path p(const QString &path)
{
    return fs::path(path.toStdString());
}

} // namespace

class tst_FileTree : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // A bundle with links of every kind, an executable, a private file and a
    // read-only folder, plus a folder outside it that links point at.
    QString makeSource()
    {
        const QString bundle = m_dir.filePath("src/Foo.app");
        TestFolders::writeFile(bundle, "Contents/Frameworks/X.framework/Versions/A/X", "lib");
        fs::create_symlink("A", p(bundle + "/Contents/Frameworks/X.framework/Versions/Current"));
        fs::create_symlink("Versions/Current/X", p(bundle + "/Contents/Frameworks/X.framework/X"));
        fs::create_symlink("missing", p(bundle + "/Contents/dangling"));
        TestFolders::writeFile(m_dir.path(), "outside/data", "outside");
        fs::create_symlink(p(m_dir.filePath("outside")), p(bundle + "/Contents/out"));
        fs::permissions(p(TestFolders::writeFile(bundle, "Contents/MacOS/Foo", "#!")), fs::perms(0755));
        fs::permissions(p(TestFolders::writeFile(bundle, "Contents/Resources/secret", "s")), fs::perms(0600));
        TestFolders::writeFile(bundle, "Contents/Locked/inside", "i");
        fs::permissions(p(bundle + "/Contents/Locked"), fs::perms(0555));
        return bundle;
    }

private Q_SLOTS:
    void copyKeepsLinksAndModes()
    {
        const QString from = makeSource();
        const QString to = m_dir.filePath("dest/Foo.app");
        QDir().mkpath(m_dir.filePath("dest"));
        FileTree::copy(from, to);

        const auto link = [&](const char *relative) { return fs::read_symlink(p(to + "/" + relative)).string(); };
        QCOMPARE(link("Contents/Frameworks/X.framework/Versions/Current"), std::string("A"));
        QCOMPARE(link("Contents/Frameworks/X.framework/X"), std::string("Versions/Current/X"));
        QCOMPARE(link("Contents/dangling"), std::string("missing"));
        QCOMPARE(link("Contents/out"), m_dir.filePath("outside").toStdString());
        QCOMPARE(TestFolders::readFile(to + "/Contents/Frameworks/X.framework/X"), QByteArray("lib"));

        const auto mode = [&](const char *relative) {
            return fs::symlink_status(p(to + "/" + relative)).permissions();
        };
        QCOMPARE(mode("Contents/MacOS/Foo"), fs::perms(0755));
        QCOMPARE(mode("Contents/Resources/secret"), fs::perms(0600));
        QCOMPARE(mode("Contents/Locked"), fs::perms(0555));
        QCOMPARE(TestFolders::readFile(to + "/Contents/Locked/inside"), QByteArray("i"));

        QVERIFY(FileTree::remove(to));
        QVERIFY(!FileTree::exists(to));
        QCOMPARE(TestFolders::readFile(m_dir.filePath("outside/data")), QByteArray("outside"));
        QVERIFY(FileTree::remove(m_dir.filePath("src")));
    }

    void existsSeesDanglingLinks()
    {
        const QString link = m_dir.filePath("dangling");
        fs::create_symlink("nowhere", p(link));
        QVERIFY(FileTree::exists(link));
        QVERIFY(FileTree::remove(link));
        QVERIFY(!FileTree::exists(link));
        QVERIFY(FileTree::remove(link)); // already gone counts as removed
    }
};

QTEST_GUILESS_MAIN(tst_FileTree)
#include "tst_FileTree.moc"
