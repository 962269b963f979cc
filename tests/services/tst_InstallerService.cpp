#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <filesystem>
#include <optional>

#include "platform/FolderLock.h"
#include "services/InstallerService.h"
#include "support/FileSizeLimit.h"
#include "support/TestFolders.h"

namespace {

const QString kMounting = QStringLiteral("正在挂载 DMG 磁盘镜像...");
const QString kDetecting = QStringLiteral("正在检测镜像中的应用程序...");
const QString kUnzipping = QStringLiteral("正在解压 ZIP 文件...");
const QString kDone = QStringLiteral("安装成功完成！");
const QString kNoApp = QStringLiteral("安装包内未检测到有效的 .app 应用程序文件");

const QString kLicence = QStringLiteral("磁盘镜像附带软件许可协议，已代为同意");

QString copying(const QString &bundle) { return QStringLiteral("正在将 %1 安装到应用程序目录...").arg(bundle); }

// Just enough of a UDIF image for the content check: its trailing "koly" block.
const QByteArray kFakeImage = QByteArray(600, '\0') + "koly" + QByteArray(508, '\0');

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

using TestFolders::entries;

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
    bool licence = false;
};

struct ZipRow
{
    QStringList members; // none: not an archive at all
    QString rename;      // a bsdtar -s expression applied when archiving
    QByteArray prepare;  // shell commands run in the source folder first
    QString error;       // a pattern; empty: Foo.app installed
    qint64 fileSizeLimit = 0;
    QByteArray listing; // a stand-in lister's output; empty: the real tool lists
    QString name = QStringLiteral("Foo.zip");
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
    DiskImageMounter fakeHdiutil(const QByteArray &attachBody, const QByteArray &detachBody = "exit 0",
                                 bool licence = false) const
    {
        const QByteArray info = licence ? "echo '<dict><key>Properties</key><dict><key>Software License "
                                          "Agreement</key>\n  <true/></dict></dict>'"
                                        : "exit 0";
        const QString script = TestFolders::writeScript(
            m_tools, "hdiutil",
            loggingPrelude(m_log) + "case \"$1\" in\nattach) MP=\"$5\"\n" + attachBody + "\n;;\ndetach) " +
                detachBody + "\n;;\nimageinfo) " + info + "\n;;\nesac\nexit 0\n");
        return DiskImageMounter(DiskImageMounter::hdiutilTools(script));
    }

    Workspace fakeOpener(const QByteArray &body) const
    {
        const QString script = TestFolders::writeScript(m_tools, "open", loggingPrelude(m_log) + body);
        return Workspace(Workspace::openTools(script));
    }

    QString package(const QString &name, const QByteArray &bytes = kFakeImage) const
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
        QTest::newRow("content decides, not the name") << ImageRow{"Foo.bin", fooApp, fooDone, "", false, foo};
        QTest::newRow("licence agreement accepted")
            << ImageRow{"Foo.dmg", "read answer; [ \"$answer\" = Y ] || exit 7\n" + fooApp,
                        {kMounting, kLicence, kDetecting, copying("Foo.app"), kDone}, "", false, foo, true};
        QTest::newRow("installer package only")
            << ImageRow{"Foo.dmg", "touch \"$MP/Setup.pkg\"", found, noApp, false, none};
        QTest::newRow("two apps: the first by name")
            << ImageRow{"Two.dmg", "mkdir -p \"$MP/Beta.app/Contents\" \"$MP/Alpha.app/Contents\"",
                        {kMounting, kDetecting, copying("Alpha.app"), kDone}, "", false, {"Alpha.app"}};
        QTest::newRow("link named like a bundle is passed over")
            << ImageRow{"Foo.dmg", "ln -s /usr \"$MP/Foo.app\"", found, noApp, false, none};
        QTest::newRow("file or bare folder named like a bundle")
            << ImageRow{"Foo.dmg", "touch \"$MP/A.app\"; mkdir \"$MP/B.app\"", found, noApp, false, none};
        QTest::newRow("damaged image: the tool's words")
            << ImageRow{"Foo.dmg", "echo 'attach failed - image not recognized' >&2; exit 1", mounting,
                        "安装执行失败：无法打开磁盘镜像：attach failed - image not recognized", true, none};
        QTest::newRow("damaged image, silent tool")
            << ImageRow{"Foo.dmg", "exit 1", mounting, "安装执行失败：无法打开磁盘镜像：退出码 1", true, none};
        QTest::newRow("tool missing")
            << ImageRow{"Foo.dmg", QByteArray(), mounting, "安装执行失败：无法打开磁盘镜像：无法运行 .+", true, none};
        QTest::newRow("tool hangs") << ImageRow{"Foo.dmg", "mkdir -p \"$MP/Foo.app\"; exec sleep 60", mounting,
                                                "安装执行失败：无法打开磁盘镜像：运行超过 1 秒仍未结束，已被停止",
                                                true, none};
    }

    // The macOS road with a stand-in hdiutil: exact invocations, message
    // order, and detach + folder removal on every path.
    void diskImage()
    {
        QFETCH(ImageRow, row);
        DiskImageMounter::Tools tools = fakeHdiutil(row.attach, "exit 0", row.licence).tools();
        tools.attach.timeLimit = std::chrono::seconds(row.attach.contains("sleep") ? 1 : 60);
        if (row.attach.isNull())
            tools.attach.program = m_root.filePath("no-such-tool");
        const QString image = package(row.packageName);
        const Outcome outcome = runInstall(installer(DiskImageMounter(tools)), image);

        // A failing tool's own words follow as one more report line.
        QCOMPARE(outcome.messages.mid(0, row.messages.size()), row.messages);
        QCOMPARE(outcome.messages.size() - row.messages.size(), row.processFailed ? 1 : 0);
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(row.error)).match(outcome.error).hasMatch(),
                 qPrintable(outcome.error));
        QCOMPARE(outcome.kind == InstallError::Kind::processFailed, row.processFailed);
        QCOMPARE(entries(m_apps), row.installed);
        QCOMPARE(outcome.bundle, row.installed.isEmpty() ? QString() : m_apps + "/" + row.installed.first());

        const QStringList log = logLines(m_log).filter(QRegularExpression("^(attach|detach)"));
        QCOMPARE(log.size(), row.attach.isNull() ? 1 : 2);
        const QString mountPoint = log.last().section(u'|', 1, 1);
        QVERIFY2(mountPoint.startsWith(m_temp + "/ZelvoMount_"), qPrintable(mountPoint));
        if (!row.attach.isNull())
            QCOMPARE(log.first(), "attach|" + image + "|-nobrowse|-mountpoint|" + mountPoint + "|");
        QCOMPARE(log.last(), "detach|" + mountPoint + "|-force|");
        verifyNoWorkFolderLeft();
    }

    // A volume that would not detach still holds the image's own files: they
    // are not deleted, neither now nor by a later sweep.
    void failedDetachKeepsVolumeContents()
    {
        const InstallerService stuck = installer(fakeHdiutil("mkdir -p \"$MP/Foo.app/Contents\"", "exit 16"));
        const Outcome outcome = runInstall(stuck, package("Foo.dmg"));
        stuck.sweepLeftovers();

        QCOMPARE(outcome.error, QString());
        QCOMPARE(entries(m_apps), QStringList{"Foo.app"});
        const QStringList left = entries(m_temp);
        QCOMPARE(left.size(), 1);
        QVERIFY(QFileInfo::exists(m_temp + "/" + left.first() + "/volume/Foo.app/Contents"));
    }

    void realDiskImage_data()
    {
        QTest::addColumn<QByteArray>("listing"); // a stand-in lister's output; empty: 7-Zip lists
        QTest::addColumn<QString>("error");
        QTest::newRow("expanded") << QByteArray() << QString();
        QTest::newRow("holds more than its listing says")
            << QByteArray("Path = Foo.app\nSize = 10")
            << "安装执行失败：无法打开磁盘镜像：展开的内容超出了镜像声明的大小，已停止";
    }

    // The Linux road: a real image listed and expanded by the real 7-Zip.
    void realDiskImage()
    {
        QFETCH(QByteArray, listing);
        QFETCH(QString, error);
        const QString genisoimage = QStandardPaths::findExecutable("genisoimage");
        if (genisoimage.isEmpty())
            QSKIP("genisoimage is not installed");
        const QString volume = m_root.filePath("src");
        makeRichBundle(volume, "Foo");
        QFile::link("/Applications", volume + "/Applications");
        TestFolders::writeFile(volume, "Read Me.txt", QByteArray(listing.isEmpty() ? 5 : 20 << 20, 'r'));
        const QString image = package("Foo.dmg");
        QCOMPARE(QProcess::execute(genisoimage, {"-quiet", "-R", "-V", "Foo", "-o", image, volume}), 0);
        DiskImageMounter::Tools tools = DiskImageMounter::sevenZipTools();
        if (!listing.isEmpty())
            tools.list.program = TestFolders::writeScript(m_tools, "lister", "echo '" + listing + "'");

        const Outcome outcome = runInstall(installer(DiskImageMounter(tools)), image);
        QCOMPARE(outcome.error, error);
        const int steps = error.isEmpty() ? 4 : 1;
        QCOMPARE(outcome.messages.mid(0, steps),
                 QStringList({kMounting, kDetecting, copying("Foo.app"), kDone}).mid(0, steps));
        QCOMPARE(entries(m_apps), error.isEmpty() ? QStringList{"Foo.app"} : QStringList());
        if (error.isEmpty())
            verifyRichBundle(m_apps + "/Foo.app");
        verifyNoWorkFolderLeft();
    }

    void zipArchive_data()
    {
        QTest::addColumn<ZipRow>("row");

        const QStringList top{"Foo.app", "Read Me.txt"};
        const QString noApp = QRegularExpression::escape(kNoApp), refused = "安装执行失败：压缩包中的“%1”会被解压到目标文件夹之外，已拒绝安装";
        QTest::newRow("app at the top") << ZipRow{top};
        QTest::newRow("content decides, not the name") << ZipRow{top, {}, {}, {}, 0, {}, "Foo.download"};
        QTest::newRow("app inside a folder") << ZipRow{{"Folder"}, {}, {}, noApp};
        QTest::newRow("plain file named like a bundle")
            << ZipRow{{"Fake.app", "Bare.app"}, {}, "rm -rf Foo.app; echo x > Fake.app; mkdir -p Bare.app/MacOS", noApp};
        QTest::newRow("entry climbing out")
            << ZipRow{top, ",^Read Me.txt,../escaped.txt,", {}, refused.arg("../escaped.txt")};
        QTest::newRow("absolute entry")
            << ZipRow{top, ",^Read Me.txt," + m_temp + "/escaped.txt,", {}, refused.arg(m_temp + "/escaped.txt")};
        QTest::newRow("link climbing out")
            << ZipRow{top, {}, "ln -s ../../../etc Foo.app/Contents/up", refused.arg("Foo.app/Contents/up")};
        QTest::newRow("absolute link") << ZipRow{{"Foo.app", "etc"}, {}, "ln -s /etc etc", refused.arg("etc")};
        QTest::newRow("damaged archive: the tool's words") << ZipRow{{}, {}, {}, QRegularExpression::escape("无法解压 ZIP 文件，安装包可能已损坏")};
        QTest::newRow("expands far beyond its size")
            << ZipRow{top, {}, "truncate -s 300M Foo.app/Contents/zeros", "安装执行失败：安装包展开后将达 .*已拒绝"};
        QTest::newRow("disk fills while expanding")
            << ZipRow{top, {}, "head -c 300000 /dev/urandom > Foo.app/Contents/big",
                      "安装执行失败：无法解压 ZIP 文件：.*File too large.*", 64 * 1024};
        QTest::newRow("holds more than its listing says")
            << ZipRow{top, {}, "head -c 40000000 /dev/zero > Foo.app/Contents/big",
                      "安装执行失败：无法解压 ZIP 文件：解压出的内容超出了压缩包声明的大小，已停止", 0,
                      "-rw-r--r--  0 0      0          10 Dec  6 20:10 Foo.app/Contents/big"};
    }

    // Real archives made here and listed and expanded by the real archive tool.
    void zipArchive()
    {
        QFETCH(ZipRow, row);
        const QString source = m_root.filePath("src"), archive = package(row.name, "PK\x03\x04 not really");
        makeRichBundle(source, "Foo");
        makeRichBundle(source + "/Folder", "Foo");
        TestFolders::writeFile(source, "Read Me.txt", "hello");
        const QByteArray prepare = row.prepare.isEmpty() ? "true" : row.prepare;
        QCOMPARE(QProcess::execute("sh", {"-c", "cd '" + source + "' && " + QString::fromUtf8(prepare)}), 0);
        const QStringList renaming = row.rename.isEmpty() ? QStringList() : QStringList{"-s", row.rename};
        if (!row.members.isEmpty())
            QCOMPARE(QProcess::execute("bsdtar", QStringList{"-cf", archive, "--format", "zip", "-P", "-C", source} +
                                                     renaming + row.members),
                     0);
        ZipExpander::Tools tools = ZipExpander::bsdtarTools();
        if (!row.listing.isEmpty())
            tools.list.program = TestFolders::writeScript(m_tools, "lister", "echo '" + row.listing + "'");

        std::optional<FileSizeLimit> limit;
        if (row.fileSizeLimit)
            QVERIFY(limit.emplace(row.fileSizeLimit).active());
        const Outcome outcome = runInstall(installer(DiskImageMounter(), ZipExpander(tools)), archive);
        limit.reset();

        const int steps = row.error.isEmpty() ? 2 : 1;
        QCOMPARE(outcome.messages.mid(0, steps), QStringList({kUnzipping, kDone}).mid(0, steps));
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(row.error)).match(outcome.error).hasMatch(),
                 qPrintable(outcome.error));
        QCOMPARE(entries(m_apps), row.error.isEmpty() ? QStringList{"Foo.app"} : QStringList());
        if (row.error.isEmpty())
            verifyRichBundle(m_apps + "/Foo.app");
        verifyNoWorkFolderLeft(); // "../x" from the work folder would land in the temp folder
    }

    void existingBundle_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("error"); // a pattern; empty: replaced
        QTest::newRow("replaced whole") << "" << "";
        QTest::newRow("copy fails half-way")
            << "diskFills"
            << "安装执行失败：无法将 Foo.app 复制到 " + QRegularExpression::escape(m_apps) + "：.*" +
                   QRegularExpression::escape(QString::fromLocal8Bit(std::strerror(EFBIG)));
        // macOS's App Management protection refuses the swap with EPERM, as
        // an immutable bundle does here.
        QTest::newRow("swap refused") << "immutable" << "安装执行失败：macOS 不允许替换 Foo.app。请在“系统设置 › "
                                                        "隐私与安全性 › App 管理”中允许本应用，然后重试；原有的应用保持不变";
    }

    // The installed bundle is replaced whole, or, when the copy fails half-way
    // (the file-size limit is hit) or the swap is refused, left exactly as it
    // was; its link to the outside is removed, never followed, and no staging
    // copy stays behind.
    void existingBundle()
    {
        QFETCH(QString, fault);
        QFETCH(QString, error);
        TestFolders::writeFile(m_apps, "Foo.app/Contents/old", "old");
        const QString outside = TestFolders::writeFile(m_root.path(), "outside/keep", "keep");
        QFile::link(QFileInfo(outside).path(), m_apps + "/Foo.app/Contents/link-out");
        const QString big = TestFolders::writeFile(m_root.path(), "src/big", QByteArray(256 * 1024, 'b'));
        const DiskImageMounter mounter = fakeHdiutil("mkdir -p \"$MP/Foo.app/Contents\" && echo new > "
                                                     "\"$MP/Foo.app/Contents/new\" && ln '" +
                                                     big.toUtf8() + "' \"$MP/Foo.app/Contents/big\"");
        std::optional<FileSizeLimit> limit;
        if (fault == "diskFills")
            QVERIFY(limit.emplace(64 * 1024).active());
        if (fault == "immutable" && QProcess::execute("chattr", {"+i", m_apps + "/Foo.app"}) != 0)
            QSKIP("chattr +i needs root and a file system that has it");
        const auto unlock = qScopeGuard([&] { QProcess::execute("chattr", {"-i", m_apps + "/Foo.app"}); });
        const Outcome outcome = runInstall(installer(mounter), package("Foo.dmg"));
        limit.reset();

        const QStringList done{kMounting, kDetecting, copying("Foo.app"), kDone};
        QCOMPARE(outcome.messages, error.isEmpty() ? done : done.mid(0, 3));
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(error)).match(outcome.error).hasMatch(),
                 qPrintable(outcome.error));
        QCOMPARE(entries(m_apps), QStringList{"Foo.app"});
        QCOMPARE(entries(m_apps + "/Foo.app/Contents"),
                 error.isEmpty() ? QStringList({"big", "new"}) : QStringList({"link-out", "old"}));
        QCOMPARE(TestFolders::readFile(outside), QByteArray("keep"));
        verifyNoWorkFolderLeft();
    }

    void handedToTheSystem_data()
    {
        QTest::addColumn<QString>("path"); // relative: a package of that name
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("opener"); // null: missing
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("error"); // a pattern

        const QString launching = QStringLiteral("正在启动 macOS 系统安装向导...");
        const QByteArray xar = "xar!\0\x1c\0\x01";
        const QString notPackage = "暂不支持的安装包格式：%1（文件内容不是 DMG 磁盘镜像、ZIP 压缩包或 PKG 安装包）";
        QTest::newRow("installer handed over")
            << "Foo.pkg" << xar << QByteArray("exit 0")
            << QStringList{launching, "已启动安装器，请跟随系统提示完成安装。"} << QString();
        QTest::newRow("installer refused") << "Foo.pkg" << xar
                                           << QByteArray("echo 'No application can open it.' >&2; exit 1")
                                           << QStringList{launching} << "No application can open it.";
        QTest::newRow("installer refused silently")
            << "Foo.pkg" << xar << QByteArray("exit 4") << QStringList{launching} << "open 无法打开文件，退出码: 4";
        QTest::newRow("opener missing") << "Foo.pkg" << xar << QByteArray() << QStringList{launching} << ".+";
        // Nothing that is not a package of a known kind reaches a tool or the opener.
        QTest::newRow("server's error page named .dmg")
            << "Foo.dmg" << QByteArray("{\"error\":\"not found\"}") << QByteArray("exit 0") << QStringList()
            << QRegularExpression::escape(notPackage.arg("Foo.dmg"));
        QTest::newRow("empty file") << "Foo.zip" << QByteArray("") << QByteArray("exit 0") << QStringList()
                                    << QRegularExpression::escape(notPackage.arg("Foo.zip"));
        QTest::newRow("system file") << "/etc/passwd" << QByteArray() << QByteArray("exit 0") << QStringList()
                                     << QRegularExpression::escape(notPackage.arg("passwd"));
        QTest::newRow("folder") << "/etc" << QByteArray() << QByteArray("exit 0") << QStringList()
                                << "暂不支持的安装包格式：etc（这是一个文件夹，不是安装包文件）";
    }

    void handedToTheSystem()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, opener);
        QFETCH(QStringList, messages);
        QFETCH(QString, error);
        if (!path.startsWith(u'/'))
            path = package(path, bytes);
        Workspace workspace = fakeOpener(opener);
        if (opener.isNull())
            workspace = Workspace(Workspace::openTools(m_root.filePath("no-such-opener")));
        const Outcome outcome = runInstall(installer(DiskImageMounter(), ZipExpander(), workspace), path);

        QCOMPARE(outcome.messages, messages);
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(error)).match(outcome.error).hasMatch(),
                 qPrintable(outcome.error));
        const bool handedOver = !messages.isEmpty() && !opener.isNull(); // and finished when the flow did
        QCOMPARE(logLines(m_log), handedOver ? QStringList{path + "|"} : QStringList());
        verifyNoWorkFolderLeft();
    }

    // What a process that died mid-install left is swept; what a live one
    // holds, and links that merely carry the names, are not.
    void sweepLeftovers()
    {
        const QString stale = TestFolders::writeFile(m_temp, "ZelvoZip_STALE/Foo.app/Contents/x", "x");
        TestFolders::writeFile(m_temp, "ZelvoMount_STALE/volume/Foo.app/Contents/x", "x");
        const QString live = TestFolders::writeFile(m_temp, "ZelvoZip_LIVE/Foo.app/Contents/x", "x");
        const FolderLock held = FolderLock::tryClaim(m_temp + "/ZelvoZip_LIVE");
        QVERIFY(held.active());
        const QString outside = TestFolders::writeFile(m_root.path(), "outside/keep", "keep");
        QFile::link(QFileInfo(outside).path(), m_temp + "/ZelvoZip_LINK");
        // Set aside by a process that died before the new copy took its place.
        TestFolders::writeFile(m_apps, ".zelvo-new-DEAD/old/Foo.app/Contents/old", "old");
        TestFolders::writeFile(m_apps, ".zelvo-new-DEAD/Foo.app/Contents/new", "new");
        TestFolders::writeFile(m_apps, ".zelvo-new-DONE/old/Bar.app/Contents/old", "old");
        TestFolders::writeFile(m_apps, "Bar.app/Contents/new", "new");
        TestFolders::writeFile(m_apps, ".zelvo-old-LEGACY/Contents/old", "old");

        installer().sweepLeftovers();

        QCOMPARE(entries(m_temp), (QStringList{"ZelvoZip_LINK", "ZelvoZip_LIVE"}));
        QCOMPARE(TestFolders::readFile(live), QByteArray("x"));
        QCOMPARE(TestFolders::readFile(outside), QByteArray("keep"));
        QVERIFY(!QFile::exists(stale));
        QCOMPARE(entries(m_apps), (QStringList{"Bar.app", "Foo.app"}));
        QCOMPARE(entries(m_apps + "/Foo.app/Contents"), QStringList{"old"});
        QCOMPARE(entries(m_apps + "/Bar.app/Contents"), QStringList{"new"});
        QFile::remove(m_temp + "/ZelvoZip_LINK");
    }

    // An interrupt stops the running tool; the flow removes its work folder.
    void stopAllCleansUp()
    {
        const InstallerService running = installer(fakeHdiutil("mkdir -p \"$MP/Foo.app/Contents\"; exec sleep 60"));
        QFuture<QString> future = running.install(package("Foo.dmg"), [&](const QString &) { running.stopAll(); });
        QString error;
        try {
            future.waitForFinished();
        } catch (const ZelvoError &failure) {
            error = failure.localizedDescription();
        }
        QCOMPARE(error, QStringLiteral("安装执行失败：安装已被中断"));
        QCOMPARE(entries(m_apps), QStringList());
        verifyNoWorkFolderLeft();
    }
};

QTEST_GUILESS_MAIN(tst_InstallerService)
#include "tst_InstallerService.moc"
