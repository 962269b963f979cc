#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "platform/Workspace.h"
#include "support/TestFolders.h"

class tst_Workspace : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_log, m_file, m_folder, m_opener;

    QString logged() const { return QString::fromUtf8(TestFolders::readFile(m_log)); }

private Q_SLOTS:
    void initTestCase()
    {
        m_log = m_dir.filePath("log");
        m_folder = m_dir.filePath("Some Folder");
        m_file = TestFolders::writeFile(m_folder, "Foo 1.0.pkg", "pkg");
        m_opener = TestFolders::writeScript(m_dir.path(), "opener",
                                            "for a in \"$@\"; do printf '%s|' \"$a\"; done >> '" + m_log.toUtf8() +
                                                "'\necho >> '" + m_log.toUtf8() +
                                                "'\n");
    }

    void init() { QFile::remove(m_log); }

    void handOver_data()
    {
        QTest::addColumn<bool>("mac");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");

        QTest::newRow("open a file") << true << "open" << m_file << m_file + "|";
        QTest::newRow("open a file address")
            << false << "open" << QUrl::fromLocalFile(m_file).toString() << m_file + "|";
        QTest::newRow("open a web address") << false << "open"
                                            << "https://example.com/a b?x=1"
                                            << "https://example.com/a b?x=1|";
        QTest::newRow("open a relative path") << false << "open"
                                              << "-rf" << QDir::current().filePath("-rf") + "|";
        QTest::newRow("reveal selects on macOS") << true << "reveal" << m_file << "-R|" + m_file + "|";
        QTest::newRow("reveal opens the folder") << false << "reveal" << m_file << m_folder + "|";
        QTest::newRow("reveal a folder") << false << "reveal" << m_folder << m_folder + "|";
        QTest::newRow("launch") << true << "launch" << m_folder << m_folder + "|";
    }

    void handOver()
    {
        QFETCH(bool, mac);
        QFETCH(QString, action);
        QFETCH(QString, input);
        QFETCH(QString, expected);

        const Workspace workspace(mac ? Workspace::openTools(m_opener) : Workspace::xdgOpenTools(m_opener));
        if (action == "open")
            workspace.open(input);
        else if (action == "reveal")
            workspace.reveal(input);
        else
            workspace.launchApp(input);
        QTRY_COMPARE(logged(), expected + "\n");
    }
};

QTEST_GUILESS_MAIN(tst_Workspace)
#include "tst_Workspace.moc"
