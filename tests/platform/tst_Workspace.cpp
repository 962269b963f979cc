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
        const QByteArray log = "'" + m_log.toUtf8() + "'";
        m_opener = TestFolders::writeScript(
            m_dir.path(), "opener", "for a in \"$@\"; do printf '%s|' \"$a\"; done >> " + log + "\necho >> " + log);
    }

    void init() { QFile::remove(m_log); }

    void handOver_data()
    {
        QTest::addColumn<bool>("mac");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");

        const auto row = [](const char *name, bool mac, const char *action, const QString &input,
                            const QString &expected) { QTest::newRow(name) << mac << action << input << expected; };
        row("open a file", true, "open", m_file, m_file + "|");
        row("open a file address", false, "open", QUrl::fromLocalFile(m_file).toString(), m_file + "|");
        row("open a web address", false, "open", "https://example.com/a b?x=1", "https://example.com/a b?x=1|");
        row("open a relative path", false, "open", "-rf", QDir::current().filePath("-rf") + "|");
        row("reveal selects on macOS", true, "reveal", m_file, "-R|" + m_file + "|");
        row("reveal opens the folder", false, "reveal", m_file, m_folder + "|");
        row("reveal a folder", false, "reveal", m_folder, m_folder + "|");
        row("launch", true, "launch", m_folder, m_folder + "|");
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
