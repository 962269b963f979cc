#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
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

QString copying(const QString &bundle) { return QStringLiteral("正在将 %1 安装到应用程序目录...").arg(bundle); }

struct Outcome
{
    QStringList messages;
    QString error; // empty on success
    QString bundle; // where the installed bundle went
    std::optional<InstallError::Kind> kind;
};

Outcome runInstall(const InstallerService &installer, const QString &packagePath)
{
    Outcome outcome;
    // Messages come from the worker thread only; waiting for it makes them visible here.
    QFuture<QString> future = installer.install(packagePath, [&](const QString &message) { outcome.messages << message; });
    try {
        outcome.bundle = future.result();
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
    QFile::setPermissions(TestFolders::writeFile(bundle, "Contents/MacOS/" + name, "#!/bin/sh\n"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    QFile::setPermissions(TestFolders::writeFile(bundle, "Contents/Resources/secret", "s"),
                          QFile::ReadOwner | QFile::WriteOwner);
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

struct ImageRow
{
    QString packageName;
    QByteArray attach; // null: the tool is missing
    QStringList messages;
    QString error; // a pattern
    bool processFailed;
    QStringList installed;
};

} // namespace

class tst_InstallerService : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    const QString m_temp = m_root.filePath("tmp"), m_apps = m_root.filePath("Applications");
    const QString m_tools = m_root.filePath("tools"), m_log = m_root.filePath("tools/log");

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
    void init()
    {
        for (const char *name : {"tmp", "Applications", "tools", "packages", "src", "outside"})
            QDir(m_root.filePath(name)).removeRecursively();
        QDir().mkpath(m_temp);
        QDir().mkpath(m_tools);
    }

    void diskImage_data()
    {
        QTest::addColumn<ImageRow>("row");
        const QByteArray fooApp = "mkdir -p \"$MP/Foo.app/Contents\" && echo new > \"$MP/Foo.app/Contents/marker\"";
        const QStringList fooDone{kMounting, kDetecting, copying("Foo.app"), kDone}, found{kMounting, kDetecting};
        const QString noApp = QRegularExpression::escape(kNoApp);
        const QStringList none, foo{"Foo.app"}, mounting{kMounting};
        QTest::newRow("one app") << ImageRow{"Foo.dmg", fooApp, fooDone, "", false, foo};
        QTest::newRow("upper-case extension") << ImageRow{"Foo.DMG", fooApp, fooDone, "", false, foo};
        QTest::newRow("installer package only")
            << ImageRow{"Foo.dmg", "touch \"$MP/Setup.pkg\"", found, noApp, false, none};
        QTest::newRow("two apps: the first by name")
            << ImageRow{"Two.dmg", "mkdir -p \"$MP/Beta.app\" \"$MP/Alpha.app\"",
                        {kMounting, kDetecting, copying("Alpha.app"), kDone}, "", false, {"Alpha.app"}};
        QTest::newRow("link named like a bundle is passed over")
            << ImageRow{"Foo.dmg", "ln -s /usr \"$MP/Foo.app\"", found, noApp, false, none};
        // The step in words, whatever the system's tool is called; its own words go to the report.
        QTest::newRow("damaged image")
            << ImageRow{"Foo.dmg", "echo 'hdiutil: attach failed - image not recognized' >&2; exit 1",
                        {kMounting, "hdiutil: 退出码 1: hdiutil: attach failed - image not recognized"},
                        "无法打开磁盘镜像，安装包可能已损坏", false, none};
        QTest::newRow("tool missing")
            << ImageRow{"Foo.dmg", QByteArray(), {kMounting, "no-such-tool: execvp: No such file or directory"},
                        "安装执行失败：无法打开磁盘镜像：系统缺少所需的工具", true, none};
        QTest::newRow("tool hangs") << ImageRow{"Foo.dmg", "mkdir -p \"$MP/Foo.app\"; exec sleep 60",
                                                {kMounting, "hdiutil: 超时"},
                                                "安装执行失败：无法打开磁盘镜像：1 秒内没有完成，已停止", true, none};
    }

    // The macOS road with a stand-in hdiutil: exact invocations, message
    // order, and detach + folder removal on every path.
    void diskImage()
    {
        QFETCH(ImageRow, row);
        DiskImageMounter::Tools tools = fakeHdiutil(row.attach).tools();
        tools.attach.timeLimit = std::chrono::seconds(row.attach.contains("sleep") ? 1 : 60);
        if (row.attach.isNull())
            tools.attach.program = m_root.filePath("no-such-tool");
        const QString image = package(row.packageName);
        const Outcome outcome = runInstall(installer(DiskImageMounter(tools)), image);

        QCOMPARE(outcome.messages, row.messages);
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(row.error)).match(outcome.error).hasMatch(),
                 qPrintable(outcome.error));
        QCOMPARE(outcome.kind == InstallError::Kind::processFailed, row.processFailed);
        QCOMPARE(entries(m_apps), row.installed);
        QCOMPARE(outcome.bundle, row.installed.isEmpty() ? QString() : m_apps + "/" + row.installed.first());

        const QStringList log = logLines(m_log);
        QCOMPARE(log.size(), row.attach.isNull() ? 1 : 2);
        const QString mountPoint = log.last().section(u'|', 1, 1);
        QVERIFY2(mountPoint.startsWith(m_temp + "/ZelvoMount_"), qPrintable(mountPoint));
        if (!row.attach.isNull())
            QCOMPARE(log.first(), "attach|" + image + "|-nobrowse|-mountpoint|" + mountPoint + "|");
        QCOMPARE(log.last(), "detach|" + mountPoint + "|-force|");
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
        const QString image = package("Foo.dmg");
        QCOMPARE(QProcess::execute(genisoimage, {"-quiet", "-R", "-V", "Foo", "-o", image, volume}), 0);

        const Outcome outcome = runInstall(installer(), image);
        QCOMPARE(outcome.error, QString());
        QCOMPARE(outcome.messages, (QStringList{kMounting, kDetecting, copying("Foo.app"), kDone}));
        QCOMPARE(entries(m_apps), QStringList{"Foo.app"});
        verifyRichBundle(m_apps + "/Foo.app");
        verifyNoWorkFolderLeft();
    }

    void zipArchive_data()
    {
        QTest::addColumn<QStringList>("members"); // none: not an archive at all
        QTest::addColumn<QString>("rename");      // a bsdtar -s expression applied when archiving
        QTest::addColumn<QString>("error");       // empty: Foo.app installed

        const QStringList top{"Foo.app", "Read Me.txt"};
        const QString unzipFailed = "无法解压 ZIP 文件，安装包可能已损坏";
        QTest::newRow("app at the top") << top << QString() << QString();
        QTest::newRow("app inside a folder") << QStringList{"Folder"} << QString() << kNoApp;
        QTest::newRow("entry climbing out") << top << ",^Read Me.txt,../escaped.txt," << unzipFailed;
        QTest::newRow("absolute entry stays inside") << top << ",^Read Me.txt," + m_temp + "/escaped.txt," << QString();
        QTest::newRow("damaged archive") << QStringList() << QString() << unzipFailed;
    }

    // Real archives made here and expanded by the real archive tool.
    void zipArchive()
    {
        QFETCH(QStringList, members);
        QFETCH(QString, rename);
        QFETCH(QString, error);
        const QString source = m_root.filePath("src"), archive = package("Foo.zip", "PK\x03\x04 not really");
        makeRichBundle(source, "Foo");
        makeRichBundle(source + "/Folder", "Foo");
        TestFolders::writeFile(source, "Read Me.txt", "hello");
        const QStringList renaming = rename.isEmpty() ? QStringList() : QStringList{"-s", rename};
        if (!members.isEmpty())
            QCOMPARE(QProcess::execute("bsdtar", QStringList{"-cf", archive, "--format", "zip", "-P", "-C", source} +
                                                     renaming + members),
                     0);

        const Outcome outcome = runInstall(installer(), archive);
        const int steps = error.isEmpty() ? 2 : 1;
        QCOMPARE(outcome.messages.mid(0, steps), QStringList({kUnzipping, kDone}).mid(0, steps));
        // The tool's own words are reported, not shown as the error.
        if (error.startsWith("无法解压"))
            QVERIFY2(outcome.messages.value(1).startsWith("bsdtar: 退出码 "), qPrintable(outcome.messages.join('|')));
        QCOMPARE(outcome.error, error);
        QCOMPARE(entries(m_apps), error.isEmpty() ? QStringList{"Foo.app"} : QStringList());
        if (error.isEmpty())
            verifyRichBundle(m_apps + "/Foo.app");
        verifyNoWorkFolderLeft(); // "../x" from the work folder would land in the temp folder
    }

    void existingBundle_data()
    {
        QTest::addColumn<bool>("diskFills");
        QTest::newRow("replaced whole") << false;
        QTest::newRow("copy fails half-way") << true;
    }

    // The installed bundle is replaced whole, or, when the copy fails half-way
    // (the file-size limit is hit), left exactly as it was; its link to the
    // outside is removed, never followed, and no staging copy stays behind.
    void existingBundle()
    {
        QFETCH(bool, diskFills);
        TestFolders::writeFile(m_apps, "Foo.app/Contents/old", "old");
        const QString outside = TestFolders::writeFile(m_root.path(), "outside/keep", "keep");
        QFile::link(QFileInfo(outside).path(), m_apps + "/Foo.app/Contents/link-out");
        const QString big = TestFolders::writeFile(m_root.path(), "src/big", QByteArray(256 * 1024, 'b'));
        const DiskImageMounter mounter = fakeHdiutil("mkdir -p \"$MP/Foo.app/Contents\" && echo new > "
                                                     "\"$MP/Foo.app/Contents/new\" && ln '" +
                                                     big.toUtf8() + "' \"$MP/Foo.app/Contents/big\"");
        std::optional<FileSizeLimit> limit;
        if (diskFills)
            QVERIFY(limit.emplace(64 * 1024).active());
        const Outcome outcome = runInstall(installer(mounter), package("Foo.dmg"));
        limit.reset();

        const QStringList done{kMounting, kDetecting, copying("Foo.app"), kDone};
        QCOMPARE(outcome.messages, diskFills ? done.mid(0, 3) : done);
        QCOMPARE(outcome.kind, diskFills ? std::optional(InstallError::Kind::processFailed) : std::nullopt);
        if (diskFills)
            QVERIFY2(outcome.error.startsWith("安装执行失败：无法将 Foo.app 复制到 " + m_apps + "：") &&
                         outcome.error.endsWith(QString::fromLocal8Bit(std::strerror(EFBIG))),
                     qPrintable(outcome.error));
        QCOMPARE(entries(m_apps), QStringList{"Foo.app"});
        QCOMPARE(entries(m_apps + "/Foo.app/Contents"),
                 diskFills ? QStringList({"link-out", "old"}) : QStringList({"big", "new"}));
        QCOMPARE(TestFolders::readFile(outside), QByteArray("keep"));
        verifyNoWorkFolderLeft();
    }

    void handedToTheSystem_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("opener");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("error");

        const QString launching = QStringLiteral("正在启动 macOS 系统安装向导...");
        QTest::newRow("installer handed over")
            << "Foo.pkg" << QByteArray("exit 0") << QStringList{launching, "已启动安装器，请跟随系统提示完成安装。"}
            << QString();
        QTest::newRow("installer refused") << "Foo.pkg" << QByteArray("echo 'No application can open it.' >&2; exit 1")
                                           << QStringList{launching} << "No application can open it.";
        // Any other file is only opened: what the opener then does is not waited for.
        QTest::newRow("other file") << "Foo.tar.gz" << QByteArray("exit 3")
                                    << QStringList{"正在通过系统打开安装程序..."} << QString();
    }

    void handedToTheSystem()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, opener);
        QFETCH(QStringList, messages);
        QFETCH(QString, error);
        const QString path = package(name);
        const Outcome outcome = runInstall(installer(DiskImageMounter(), ZipExpander(), fakeOpener(opener)), path);

        QCOMPARE(outcome.messages, messages);
        QCOMPARE(outcome.error, error);
        QTRY_COMPARE(logLines(m_log), QStringList{path + "|"});
        verifyNoWorkFolderLeft();
    }
};

QTEST_GUILESS_MAIN(tst_InstallerService)
#include "tst_InstallerService.moc"
