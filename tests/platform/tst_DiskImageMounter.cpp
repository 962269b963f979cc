#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "platform/DiskImageMounter.h"
#include "support/TestFolders.h"

class tst_DiskImageMounter : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // A stand-in for 7-Zip that lays out $MP the way it expands real images.
    DiskImageMounter::Tools fakeSevenZip(const QByteArray &layout)
    {
        const QString script = TestFolders::writeScript(
            m_dir.path(), "7zz", "MP=\"${4#-o}\"\nmkdir -p \"$MP\" && cd \"$MP\" || exit 9\n" + layout + "\nexit 0\n");
        return DiskImageMounter::sevenZipTools(script);
    }

private Q_SLOTS:
    void attach_data()
    {
        QTest::addColumn<QByteArray>("layout");
        QTest::addColumn<bool>("lift");
        QTest::addColumn<QStringList>("topLevel");

        QTest::newRow("volume folder with 7-Zip's entries")
            << QByteArray("mkdir -p 'Foo/Foo.app/Contents' 'Foo/.HFS+ Private Directory Data\r' '[SYSTEM]/x'\n"
                          "touch Foo/.journal Foo/.journal_info_block Foo/.VolumeIcon.icns '[HFS+ Private Data]'\n"
                          "ln -s /Applications Foo/Applications")
            << true << QStringList{".VolumeIcon.icns", "Applications", "Foo.app"};
        QTest::newRow("volume holds an item of its own name")
            << QByteArray("mkdir -p Foo/Foo Foo/Foo.app") << true << QStringList{"Foo", "Foo.app"};
        QTest::newRow("contents already at the top")
            << QByteArray("mkdir Foo.app; touch ReadMe") << true << QStringList{"Foo.app", "ReadMe"};
        QTest::newRow("a lone bundle is the content") << QByteArray("mkdir Foo.app") << true << QStringList{"Foo.app"};
        QTest::newRow("a lone link is not descended")
            << QByteArray("ln -s /usr Volume") << true << QStringList{"Volume"};
        QTest::newRow("two folders") << QByteArray("mkdir A B") << true << QStringList{"A", "B"};
        QTest::newRow("lifting switched off")
            << QByteArray("mkdir -p Foo/Foo.app '[SYSTEM]'") << false << QStringList{"Foo", "[SYSTEM]"};
    }

    void attach()
    {
        QFETCH(QByteArray, layout);
        QFETCH(bool, lift);
        QFETCH(QStringList, topLevel);

        DiskImageMounter::Tools tools = fakeSevenZip(layout);
        tools.liftVolumeFolder = lift;
        const DiskImageMounter mounter(tools);
        const QString mountPoint = m_dir.filePath("mount");
        QDir(mountPoint).removeRecursively();
        QDir().mkpath(mountPoint);

        QVERIFY(mounter.attach(m_dir.filePath("Foo.dmg"), mountPoint).succeeded());
        QCOMPARE(QDir(mountPoint)
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name),
                 topLevel);
        QVERIFY(mounter.detach(mountPoint)); // nothing stays mounted after an expansion
    }

    void failedExpansionIsLeftAlone()
    {
        const DiskImageMounter mounter(fakeSevenZip("mkdir -p Foo/Foo.app; exit 2"));
        const QString mountPoint = m_dir.filePath("failed");
        const ToolResult result = mounter.attach(m_dir.filePath("Foo.dmg"), mountPoint);
        QCOMPARE(result.exitCode, 2);
        QCOMPARE(QDir(mountPoint).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"Foo"});
    }
};

QTEST_GUILESS_MAIN(tst_DiskImageMounter)
#include "tst_DiskImageMounter.moc"
