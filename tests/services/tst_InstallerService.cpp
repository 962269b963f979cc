#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <optional>

#include "services/InstallerService.h"
#include "support/FileSizeLimit.h"
#include "support/TestFolders.h"

namespace {

const QString kMounting = QStringLiteral("正在挂载 DMG 磁盘镜像...");
const QString kDetecting = QStringLiteral("正在检测镜像中的应用程序...");
const QString kUnzipping = QStringLiteral("正在解压 ZIP 文件...");
const QString kDone = QStringLiteral("安装成功完成！");
const QString kNoApp = QStringLiteral("安装包内未检测到有效的 .app 应用程序文件");

QString copying(const QString &bundle)
{
    return QStringLiteral("正在将 %1 安装到应用程序目录...").arg(bundle);
}

struct Outcome
{
    QStringList messages;
    QString error; // empty on success
    std::optional<InstallError::Kind> kind;
};

Outcome runInstall(const InstallerService &installer, const QString &packagePath)
{
    Outcome outcome;
    QMutex mutex;
    QFuture<void> future = installer.install(packagePath, [&](const QString &message) {
        const QMutexLocker lock(&mutex);
        outcome.messages.append(message);
    });
    try {
        future.waitForFinished();
    } catch (const InstallError &error) {
        outcome.error = error.localizedDescription();
        outcome.kind = error.kind();
    } catch (const std::exception &error) {
        outcome.error = errorText(error);
    }
    return outcome;
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

// One line per run, arguments separated by "|".
QStringList logLines(const QString &logPath)
{
    return QString::fromUtf8(TestFolders::readFile(logPath)).split(u'\n', Qt::SkipEmptyParts);
}

QByteArray loggingPrelude(const QString &logPath)
{
    return "for a in \"$@\"; do printf '%s|' \"$a\"; done >> '" + logPath.toUtf8() + "'\necho >> '" + logPath.toUtf8() +
           "'\n";
}

// Foo.app with what frameworks rely on: a relative link, an executable and a private file.
void makeRichBundle(const QString &folder, const QString &name)
{
    const QString bundle = TestFolders::makeBundle(folder, name, QStringLiteral("com.example.") + name, "1.0");
    const QString exe = TestFolders::writeFile(bundle, "Contents/MacOS/" + name, "#!/bin/sh\n");
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                   QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    const QString secret = TestFolders::writeFile(bundle, "Contents/Resources/secret", "s");
    QFile::setPermissions(secret, QFile::ReadOwner | QFile::WriteOwner);
    TestFolders::writeFile(bundle, "Contents/Frameworks/X.framework/Versions/A/X", "lib");
    QFile::link("A", bundle + "/Contents/Frameworks/X.framework/Versions/Current");
}

void verifyRichBundle(const QString &bundle)
{
    const QFileInfo link(bundle + "/Contents/Frameworks/X.framework/Versions/Current");
    QVERIFY(link.isSymLink());
    QCOMPARE(std::filesystem::read_symlink(link.filePath().toStdString()).string(), std::string("A"));
    QVERIFY(QFileInfo(bundle + "/Contents/MacOS/" + QFileInfo(bundle).completeBaseName()).isExecutable());
    using std::filesystem::perms;
    QCOMPARE(std::filesystem::status((bundle + "/Contents/Resources/secret").toStdString()).permissions(),
             perms::owner_read | perms::owner_write);
}

void run(const QString &program, const QStringList &arguments, const QString &workingFolder = {})
{
    QProcess process;
    process.setWorkingDirectory(workingFolder);
    process.start(program, arguments);
    QVERIFY2(process.waitForFinished(60000) && process.exitCode() == 0,
             qPrintable(program + ": " + process.readAllStandardError()));
}

} // namespace

class tst_InstallerService : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString m_temp, m_apps, m_tools, m_log;

    InstallerService installer(DiskImageMounter mounter = DiskImageMounter(), ZipExpander expander = ZipExpander(),
                               Workspace workspace = Workspace()) const
    {
        return InstallerService(m_apps, m_temp, std::move(mounter), std::move(expander), std::move(workspace));
    }

    // A stand-in for hdiutil: logs its arguments; "attach" runs attachBody with $MP as the mount point.
    DiskImageMounter fakeHdiutil(const QByteArray &attachBody, const QByteArray &detachBody = "exit 0") const
    {
        const QString script =
            TestFolders::writeScript(m_tools, "hdiutil",
                                     loggingPrelude(m_log) + "case \"$1\" in\nattach) MP=\"$5\"\n" + attachBody +
                                         "\n;;\ndetach) " + detachBody + "\n;;\nesac\nexit 0\n");
        return DiskImageMounter(DiskImageMounter::hdiutilTools(script));
    }

    Workspace fakeOpener(const QByteArray &body) const
    {
        const QString script = TestFolders::writeScript(m_tools, "open", loggingPrelude(m_log) + body);
        return Workspace(Workspace::openTools(script));
    }

    QString package(const QString &name, const QByteArray &bytes = "package") const
    {
        return TestFolders::writeFile(m_root.path(), "packages/" + name, bytes);
    }

    void verifyNoWorkFolderLeft() const { QVERIFY2(entries(m_temp).isEmpty(), qPrintable(entries(m_temp).join(", "))); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        m_temp = m_root.filePath("tmp");
        m_apps = m_root.filePath("Applications");
        m_tools = m_root.filePath("tools");
        m_log = m_root.filePath("tools/log");
    }

    void init()
    {
        for (const char *name : {"tmp", "Applications", "tools", "packages", "src", "outside"})
            QDir(m_root.filePath(name)).removeRecursively();
        QDir().mkpath(m_temp);
        QDir().mkpath(m_tools);
    }

    void diskImage_data()
    {
        QTest::addColumn<QString>("packageName");
        QTest::addColumn<QByteArray>("attach");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("installed");

        const QByteArray fooApp = "mkdir -p \"$MP/Foo.app/Contents\" && echo new > \"$MP/Foo.app/Contents/marker\"";
        const QStringList fooSuccess{kMounting, kDetecting, copying("Foo.app"), kDone};
        QTest::newRow("one app") << "Foo.dmg" << fooApp << fooSuccess << QString() << QStringList{"Foo.app"};
        QTest::newRow("upper-case extension")
            << "Foo.DMG" << fooApp << fooSuccess << QString() << QStringList{"Foo.app"};
        QTest::newRow("installer package only") << "Foo.dmg" << QByteArray("touch \"$MP/Setup.pkg\"")
                                                << QStringList{kMounting, kDetecting} << kNoApp << QStringList();
        QTest::newRow("two apps: the first by name")
            << "Two.dmg" << QByteArray("mkdir -p \"$MP/Beta.app\" \"$MP/Alpha.app\"")
            << QStringList{kMounting, kDetecting, copying("Alpha.app"), kDone} << QString() << QStringList{"Alpha.app"};
        QTest::newRow("link named like a bundle is passed over")
            << "Foo.dmg" << QByteArray("ln -s /usr \"$MP/Foo.app\"") << QStringList{kMounting, kDetecting} << kNoApp
            << QStringList();
        QTest::newRow("damaged image") << "Foo.dmg" << QByteArray("exit 1") << QStringList{kMounting}
                                       << QStringLiteral("安装执行失败：hdiutil 挂载镜像失败，退出码: 1")
                                       << QStringList();
    }

    // The macOS road with a stand-in hdiutil: exact invocations, message
    // order, and detach + folder removal on every path.
    void diskImage()
    {
        QFETCH(QString, packageName);
        QFETCH(QByteArray, attach);
        QFETCH(QStringList, messages);
        QFETCH(QString, error);
        QFETCH(QStringList, installed);

        const QString image = package(packageName);
        const Outcome outcome = runInstall(installer(fakeHdiutil(attach)), image);

        QCOMPARE(outcome.messages, messages);
        QCOMPARE(outcome.error, error);
        QCOMPARE(entries(m_apps), installed);

        const QStringList log = logLines(m_log);
        QCOMPARE(log.size(), 2);
        static const QRegularExpression mountPattern(QRegularExpression::anchoredPattern(
            QRegularExpression::escape(m_temp + "/ZelvoMount_") + "[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}"));
        const QString mountPoint = log.at(0).section(u'|', 4, 4);
        QVERIFY2(mountPattern.match(mountPoint).hasMatch(), qPrintable(mountPoint));
        QCOMPARE(log.at(0), "attach|" + image + "|-nobrowse|-mountpoint|" + mountPoint + "|");
        QCOMPARE(log.at(1), "detach|" + mountPoint + "|-force|");
        verifyNoWorkFolderLeft();
    }

    void diskImageToolTrouble_data()
    {
        QTest::addColumn<QByteArray>("attach");
        QTest::addColumn<bool>("missingTool");
        QTest::addColumn<QString>("errorPattern");
        QTest::addColumn<bool>("processFailed");

        QTest::newRow("tool missing") << QByteArray() << true << QString(".+") << false;
        QTest::newRow("tool hangs") << QByteArray("mkdir -p \"$MP/Foo.app\"; exec sleep 60") << false
                                    << QString("^安装执行失败：hdiutil .*已被停止$") << true;
    }

    void diskImageToolTrouble()
    {
        QFETCH(QByteArray, attach);
        QFETCH(bool, missingTool);
        QFETCH(QString, errorPattern);
        QFETCH(bool, processFailed);

        DiskImageMounter::Tools tools = fakeHdiutil(attach).tools();
        tools.attach.timeLimit = std::chrono::seconds(1);
        if (missingTool)
            tools.attach.program = m_root.filePath("no-such-tool");
        const Outcome outcome = runInstall(installer(DiskImageMounter(tools)), package("Foo.dmg"));

        QCOMPARE(outcome.messages, QStringList{kMounting});
        QVERIFY2(QRegularExpression(errorPattern).match(outcome.error).hasMatch(), qPrintable(outcome.error));
        QCOMPARE(outcome.kind == InstallError::Kind::processFailed, processFailed);
        QCOMPARE(entries(m_apps), QStringList());
        QVERIFY(logLines(m_log).last().startsWith("detach|"));
        verifyNoWorkFolderLeft();
    }

    // A volume that would not detach still holds the image's own files: they
    // are not deleted, only an empty mount folder would be removed.
    void failedDetachKeepsVolumeContents()
    {
        const Outcome outcome =
            runInstall(installer(fakeHdiutil("mkdir -p \"$MP/Foo.app/Contents\"", "exit 16")), package("Foo.dmg"));

        QCOMPARE(outcome.error, QString());
        QCOMPARE(entries(m_apps), QStringList{"Foo.app"});
        const QStringList left = entries(m_temp);
        QCOMPARE(left.size(), 1);
        QVERIFY(QFileInfo::exists(m_temp + "/" + left.first() + "/Foo.app/Contents"));
    }

    // The Linux road: a real image expanded by the real 7-Zip.
    void realDiskImage()
    {
        const QString genisoimage = QStandardPaths::findExecutable("genisoimage");
        if (genisoimage.isEmpty())
            QSKIP("genisoimage is not installed");
        const QString volume = m_root.filePath("src");
        makeRichBundle(volume, "Foo");
        QFile::link("/Applications", volume + "/Applications");
        TestFolders::writeFile(volume, "Read Me.txt", "hello");
        const QString image = m_root.filePath("packages/Foo.dmg");
        QDir().mkpath(QFileInfo(image).path());
        run(genisoimage, {"-quiet", "-R", "-V", "Foo", "-o", image, volume});

        const Outcome outcome = runInstall(installer(), image);

        QCOMPARE(outcome.error, QString());
        QCOMPARE(outcome.messages, (QStringList{kMounting, kDetecting, copying("Foo.app"), kDone}));
        QCOMPARE(entries(m_apps), QStringList{"Foo.app"});
        verifyRichBundle(m_apps + "/Foo.app");
        verifyNoWorkFolderLeft();
    }

    void realDamagedDiskImage()
    {
        const Outcome outcome = runInstall(installer(), package("Broken.dmg", QByteArray(4096, 'x')));

        QCOMPARE(outcome.messages, QStringList{kMounting});
        QCOMPARE(outcome.kind, InstallError::Kind::processFailed);
        QVERIFY2(outcome.error.startsWith("安装执行失败：hdiutil 挂载镜像失败，退出码: "), qPrintable(outcome.error));
        verifyNoWorkFolderLeft();
    }

    void zipArchive_data()
    {
        QTest::addColumn<QStringList>("members");
        QTest::addColumn<QString>("rename"); // a bsdtar -s expression applied when archiving
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("installed");

        QTest::newRow("app at the top") << QStringList{"Foo.app", "Read Me.txt"} << QString()
                                        << QStringList{kUnzipping, kDone} << QString() << QStringList{"Foo.app"};
        QTest::newRow("app inside a folder")
            << QStringList{"Folder"} << QString() << QStringList{kUnzipping} << kNoApp << QStringList();
        QTest::newRow("entry climbing out")
            << QStringList{"Foo.app", "Read Me.txt"} << ",^Read Me.txt,../escaped.txt," << QStringList{kUnzipping}
            << QStringLiteral("安装执行失败：解压 ZIP 文件失败") << QStringList();
        QTest::newRow("absolute entry stays inside")
            << QStringList{"Foo.app", "Read Me.txt"} << QStringLiteral(",^Read Me.txt,%1/escaped.txt,").arg(m_temp)
            << QStringList{kUnzipping, kDone} << QString() << QStringList{"Foo.app"};
    }

    // Real archives made here and expanded by the real archive tool.
    void zipArchive()
    {
        QFETCH(QStringList, members);
        QFETCH(QString, rename);
        QFETCH(QStringList, messages);
        QFETCH(QString, error);
        QFETCH(QStringList, installed);

        const QString source = m_root.filePath("src");
        makeRichBundle(source, "Foo");
        makeRichBundle(source + "/Folder", "Foo");
        TestFolders::writeFile(source, "Read Me.txt", "hello");
        const QString archive = m_root.filePath("packages/Foo.zip");
        QDir().mkpath(QFileInfo(archive).path());
        QStringList arguments{"-cf", archive, "--format", "zip", "-P"};
        if (!rename.isEmpty())
            arguments << "-s" << rename;
        run("bsdtar", arguments + members, source);

        const Outcome outcome = runInstall(installer(), archive);

        QCOMPARE(outcome.messages, messages);
        QCOMPARE(outcome.error, error);
        QCOMPARE(entries(m_apps), installed);
        if (!installed.isEmpty())
            verifyRichBundle(m_apps + "/Foo.app");
        verifyNoWorkFolderLeft(); // "../x" from the work folder would land in the temp folder
    }

    void damagedZipArchive()
    {
        const Outcome outcome = runInstall(installer(), package("Foo.zip", "PK\x03\x04 not really"));

        QCOMPARE(outcome.messages, QStringList{kUnzipping});
        QCOMPARE(outcome.error, QStringLiteral("安装执行失败：解压 ZIP 文件失败"));
        verifyNoWorkFolderLeft();
    }

    void replacesInstalledBundle()
    {
        TestFolders::writeFile(m_apps, "Foo.app/Contents/old", "old");
        const QString outside = TestFolders::writeFile(m_root.path(), "outside/keep", "keep");
        QFile::link(QFileInfo(outside).path(), m_apps + "/Foo.app/Contents/link-out");

        const Outcome outcome = runInstall(
            installer(fakeHdiutil("mkdir -p \"$MP/Foo.app/Contents\" && echo new > \"$MP/Foo.app/Contents/new\"")),
            package("Foo.dmg"));

        QCOMPARE(outcome.error, QString());
        QCOMPARE(entries(m_apps), QStringList{"Foo.app"});
        QCOMPARE(entries(m_apps + "/Foo.app/Contents"), QStringList{"new"});
        QCOMPARE(TestFolders::readFile(outside), QByteArray("keep")); // the old link was removed, not followed
        verifyNoWorkFolderLeft();
    }

    // A copy that fails half-way (here: the file-size limit is hit) leaves the
    // installed bundle exactly as it was and no staging copy behind.
    void failedCopyKeepsInstalledBundle()
    {
        TestFolders::writeFile(m_apps, "Foo.app/Contents/old", "old");
        const QString big = TestFolders::writeFile(m_root.path(), "src/big", QByteArray(256 * 1024, 'b'));
        const DiskImageMounter mounter =
            fakeHdiutil("mkdir -p \"$MP/Foo.app/Contents\" && echo a > \"$MP/Foo.app/Contents/a\" && ln '" +
                        big.toUtf8() + "' \"$MP/Foo.app/Contents/big\"");

        FileSizeLimit limit(64 * 1024);
        QVERIFY(limit.active());
        const Outcome outcome = runInstall(installer(mounter), package("Foo.dmg"));
        limit.end();

        QCOMPARE(outcome.messages, (QStringList{kMounting, kDetecting, copying("Foo.app")}));
        QVERIFY(!outcome.error.isEmpty());
        QVERIFY(!outcome.kind.has_value());
        QCOMPARE(entries(m_apps), QStringList{"Foo.app"});
        QCOMPARE(entries(m_apps + "/Foo.app/Contents"), QStringList{"old"});
        QCOMPARE(TestFolders::readFile(m_apps + "/Foo.app/Contents/old"), QByteArray("old"));
        verifyNoWorkFolderLeft();
    }

    void missingPackage()
    {
        const QString path = m_root.filePath("packages/Nothing.dmg");
        const Outcome outcome = runInstall(installer(fakeHdiutil("exit 0")), path);

        QCOMPARE(outcome.error, "未找到安装包文件：" + path);
        QCOMPARE(outcome.kind, InstallError::Kind::fileNotFound);
        QCOMPARE(outcome.messages, QStringList());
        QVERIFY(!QFileInfo::exists(m_log));
        verifyNoWorkFolderLeft();
    }

    void installerPackage_data()
    {
        QTest::addColumn<QByteArray>("opener");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("error");

        const QString launching = QStringLiteral("正在启动 macOS 系统安装向导...");
        QTest::newRow("handed over") << QByteArray("exit 0")
                                     << QStringList{launching, "已启动安装器，请跟随系统提示完成安装。"} << QString();
        QTest::newRow("refused") << QByteArray("echo 'No application can open it.' >&2; exit 1")
                                 << QStringList{launching} << QString("No application can open it.");
    }

    void installerPackage()
    {
        QFETCH(QByteArray, opener);
        QFETCH(QStringList, messages);
        QFETCH(QString, error);

        const QString pkg = package("Foo.pkg");
        const Outcome outcome = runInstall(installer(DiskImageMounter(), ZipExpander(), fakeOpener(opener)), pkg);

        QCOMPARE(outcome.messages, messages);
        QCOMPARE(outcome.error, error);
        QCOMPARE(logLines(m_log), QStringList{pkg + "|"});
    }

    void otherFileIsOpened()
    {
        const QString archive = package("Foo.tar.gz");
        const Outcome outcome = runInstall(installer(DiskImageMounter(), ZipExpander(), fakeOpener("exit 3")), archive);

        QCOMPARE(outcome.messages, QStringList{"正在通过系统打开安装程序..."});
        QCOMPARE(outcome.error, QString());
        QTRY_COMPARE(logLines(m_log), QStringList{archive + "|"});
        verifyNoWorkFolderLeft();
    }
};

QTEST_GUILESS_MAIN(tst_InstallerService)
#include "tst_InstallerService.moc"
