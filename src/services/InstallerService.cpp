#include "InstallerService.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QScopeGuard>
#include <QStorageInfo>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>

#include "models/SafeText.h"
#include "platform/ArchiveListing.h"
#include "platform/ExtendedAttributes.h"
#include "platform/FileTree.h"
#include "platform/FolderLock.h"
#include "platform/Platform.h"
#include "services/PackageContent.h"
#include "services/Sha256.h"

namespace {

const QString kMountPrefix = QStringLiteral("ZelvoMount_");
const QString kZipPrefix = QStringLiteral("ZelvoZip_");
const QString kStagingPrefix = QStringLiteral(".zelvo-new-");
// Left by earlier versions: a set-aside bundle of its own.
const QString kOldAsidePrefix = QStringLiteral(".zelvo-old-");
// Inside a staging folder: the installed bundle while it is set aside.
const QString kAsideFolder = QStringLiteral("old");
// Inside a disk-image work folder: where the volume appears.
const QString kVolumeFolder = QStringLiteral("volume");

// Apps compress to a half or a third; even sparse game data stays far below
// this. Small expansions are never refused for their ratio.
constexpr qint64 kMaxExpansionRatio = 100;
constexpr qint64 kRatioFreeBytes = 256LL * 1024 * 1024;
// Kept free on the work folder's volume: the system needs room to go on.
constexpr qint64 kReserveBytes = 64LL * 1024 * 1024;

const auto kAllEntries = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;

void report(const InstallerService::Progress &onProgress, const QString &message)
{
    if (onProgress)
        onProgress(message);
}

// The last lines a tool wrote to its standard error, fit to show: a tool's
// own words say what went wrong ("No space left on device") where the exit
// status does not.
QString toolWords(const QByteArray &errorOutput)
{
    QStringList lines;
    for (const QString &line : QString::fromLocal8Bit(errorOutput).split(u'\n', Qt::SkipEmptyParts)) {
        const QString trimmed = neutralizeControls(line.trimmed());
        if (!trimmed.isEmpty())
            lines.append(trimmed);
    }
    QString words = lines.mid(qMax(0, lines.size() - 4)).join(QStringLiteral("；"));
    if (words.size() > 600)
        words = QStringLiteral("…") + words.right(600);
    return words;
}

// Turns a tool run that did not succeed into the error the user sees: the
// step that failed, in Chinese, then the tool's own reason. The tool's words
// also go to the progress report, which ends up on the console. When the
// tool ran and refused the file (`packageAtFault`), the package itself is
// unusable: fetching it again may help, installing the same file never will.
void throwUnlessSucceeded(const ToolResult &result, const ToolCommand &tool, const QString &step,
                          const QString &whenStopped, const InstallerService::Progress &onProgress,
                          bool packageAtFault)
{
    QString reason;
    switch (result.outcome) {
    case ToolResult::Outcome::Exited:
        if (result.exitCode == 0)
            return;
        reason = toolWords(result.errorOutput);
        if (reason.isEmpty())
            reason = QStringLiteral("退出码 %1").arg(result.exitCode);
        break;
    case ToolResult::Outcome::Crashed:
        reason = toolWords(result.errorOutput);
        if (reason.isEmpty())
            reason = result.errorText;
        break;
    case ToolResult::Outcome::FailedToStart:
        reason = QStringLiteral("无法运行 %1：%2").arg(tool.displayName(), result.errorText);
        packageAtFault = false;
        break;
    case ToolResult::Outcome::TimedOut:
        reason = QStringLiteral("运行超过 %1 秒仍未结束，已被停止")
                     .arg(std::chrono::duration_cast<std::chrono::seconds>(tool.timeLimit).count());
        packageAtFault = false;
        break;
    case ToolResult::Outcome::Stopped:
        reason = whenStopped;
        packageAtFault = false;
        break;
    }
    report(onProgress, tool.displayName() + QStringLiteral(": ") + reason);
    if (packageAtFault)
        throw InstallError::cannotOpenPackage(step);
    throw InstallError::processFailed(step + QStringLiteral("：") + reason);
}

// An application bundle is a folder with Contents inside; a file or a link
// that is merely named like one is not. The first bundle at the folder's top
// level, by name. A link is passed over: it would point into the image that
// is about to go away, or out of it.
std::optional<QFileInfo> firstBundleIn(const QString &folder)
{
    const auto entries = QDir(folder).entryInfoList(kAllEntries, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &entry : entries) {
        if (entry.suffix() != QLatin1String("app") || entry.isSymLink() || !entry.isDir())
            continue;
        const QFileInfo contents(entry.filePath() + QStringLiteral("/Contents"));
        if (contents.isDir() && !contents.isSymLink())
            return entry;
    }
    return std::nullopt;
}

// The file's own bytes decide how it is installed; the installer is refused
// what it cannot read rather than guessing from the name.
PackageType sniff(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ZelvoError(QStringLiteral("无法读取安装包文件 %1：%2").arg(path, file.errorString()));
    return PackageContent::typeOfFile(path);
}

QString sizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

QString explainRename(const FileTree::RenameError &error, const QString &bundleName)
{
    // Since macOS 13 replacing another developer's app needs the App
    // Management permission; the refusal arrives as EPERM.
    if (error.code() == EPERM)
        return QStringLiteral("macOS 不允许替换 %1。请在“系统设置 › 隐私与安全性 › App 管理”中允许本应用，然后重试；"
                              "原有的应用保持不变")
            .arg(bundleName);
    return QStringLiteral("无法将 %1 放入应用程序目录：%2").arg(bundleName, error.localizedDescription());
}

// Measures what lands in a work folder while a tool expands into it: a
// listing can understate what an archive holds. Measured about once a second
// while the tool runs, and once more when it is done.
class ExpansionWatch final
{
public:
    ExpansionWatch(QString folder, qint64 listedBytes, const std::atomic<bool> &stop)
        : m_folder(std::move(folder)), m_allowed(listedBytes + listedBytes / 8 + 16 * 1024 * 1024), m_stop(stop)
    {
        m_timer.start();
    }

    bool keepGoing()
    {
        if (m_stop.load())
            return false;
        if (m_timer.elapsed() < 1000)
            return true;
        m_timer.restart();
        return !overranNow();
    }

    bool overranNow()
    {
        m_overran = m_overran || FileTree::size(m_folder) > m_allowed;
        return m_overran;
    }

private:
    QString m_folder;
    qint64 m_allowed;
    const std::atomic<bool> &m_stop;
    QElapsedTimer m_timer;
    bool m_overran = false;
};

} // namespace

InstallError::InstallError(Kind kind, QString payload, const QString &description)
    : ZelvoError(description), m_kind(kind), m_payload(std::move(payload))
{
}

InstallError InstallError::fileNotFound(const QString &path)
{
    return {Kind::fileNotFound, path, QStringLiteral("未找到安装包文件：") + path};
}

InstallError InstallError::unsupportedType(const QString &fileName, const QString &why)
{
    return {Kind::unsupportedType, fileName,
            QStringLiteral("暂不支持的安装包格式：%1（%2）").arg(neutralizeControls(fileName), why)};
}

InstallError InstallError::processFailed(const QString &detail)
{
    return {Kind::processFailed, detail, QStringLiteral("安装执行失败：") + detail};
}

InstallError InstallError::appNotFoundInPackage()
{
    return {Kind::appNotFoundInPackage, QString(), QStringLiteral("安装包内未检测到有效的 .app 应用程序文件")};
}

InstallError InstallError::cannotOpenPackage(const QString &step)
{
    return {Kind::cannotOpenPackage, step, step + QStringLiteral("，安装包可能已损坏")};
}

InstallError InstallError::checksumMismatch(const QString &path)
{
    return {Kind::checksumMismatch, path, QStringLiteral("校验失败：文件的 SHA-256 与记录不符")};
}

InstallerService::InstallerService(QString installFolder, QString tempFolder, DiskImageMounter mounter,
                                   ZipExpander expander, Workspace workspace)
    : m_installFolder(std::move(installFolder)), m_tempFolder(std::move(tempFolder)), m_mounter(std::move(mounter)),
      m_expander(std::move(expander)), m_workspace(std::move(workspace))
{
}

InstallerService &InstallerService::shared()
{
    static InstallerService instance(Platform::installTargetFolder());
    return instance;
}

QString InstallerService::defaultTempFolder()
{
    return QDir::tempPath();
}

QFuture<QString> InstallerService::install(const QString &packagePath, Progress onProgress,
                                           std::optional<QByteArray> sha256) const
{
    // The flow works on its own copy, so the future does not depend on this
    // instance outliving it.
    return QtConcurrent::run([installer = *this, packagePath, onProgress = std::move(onProgress), sha256] {
        try {
            return installer.installNow(packagePath, onProgress, sha256);
        } catch (const QException &) {
            throw;
        } catch (const std::exception &error) {
            // Only QExceptions keep their text across a future.
            throw ZelvoError(QString::fromLocal8Bit(error.what()));
        }
    });
}

QString InstallerService::installNow(const QString &packagePath, const Progress &onProgress,
                                     const std::optional<QByteArray> &sha256) const
{
    throwIfStopped();
    const QFileInfo package(packagePath);
    if (!package.exists())
        throw InstallError::fileNotFound(packagePath);
    if (package.isDir())
        throw InstallError::unsupportedType(package.fileName(), QStringLiteral("这是一个文件夹，不是安装包文件"));
    if (!package.isFile())
        throw InstallError::unsupportedType(package.fileName(), QStringLiteral("这不是普通文件"));
    // A cached package may have been damaged or replaced since its download.
    if (sha256 && Sha256::ofFile(packagePath) != *sha256)
        throw InstallError::checksumMismatch(packagePath);
    sweepLeftovers();

    QString bundle;
    switch (sniff(packagePath)) {
    case PackageType::dmg:
        bundle = installDmg(packagePath, onProgress);
        break;
    case PackageType::zip:
        bundle = installZip(packagePath, onProgress);
        break;
    case PackageType::pkg:
        installPkg(packagePath, onProgress);
        break;
    case PackageType::brew:
    case PackageType::unknown:
        throw InstallError::unsupportedType(package.fileName(),
                                            QStringLiteral("文件内容不是 DMG 磁盘镜像、ZIP 压缩包或 PKG 安装包"));
    }
    // The system's first-launch check must see the app as downloaded, as it
    // would have seen the package.
    if (!bundle.isEmpty())
        ExtendedAttributes::carryDownloadMark(packagePath, bundle);
    return bundle;
}

void InstallerService::launchApp(const QString &bundlePath) const
{
    m_workspace.launchApp(bundlePath);
}

void InstallerService::stopAll() const
{
    m_stop->store(true);
}

void InstallerService::throwIfStopped() const
{
    if (stopped())
        throw InstallError::processFailed(QStringLiteral("安装已被中断"));
}

void InstallerService::sweepLeftovers() const
{
    const QDir temp(m_tempFolder);
    for (const QFileInfo &entry : temp.entryInfoList({kMountPrefix + u'*', kZipPrefix + u'*'}, QDir::Dirs | QDir::Hidden)) {
        const FolderLock claim = FolderLock::tryClaim(entry.filePath());
        if (!claim.active())
            continue;
        // A volume still attached holds the image's own files: only a
        // folder that nothing is mounted in any more is removed.
        if (entry.fileName().startsWith(kMountPrefix) && !m_mounter.detach(entry.filePath() + u'/' + kVolumeFolder))
            continue;
        FileTree::remove(entry.filePath());
    }

    const QDir apps(m_installFolder);
    for (const QFileInfo &entry :
         apps.entryInfoList({kStagingPrefix + u'*', kOldAsidePrefix + u'*'}, QDir::Dirs | QDir::Hidden)) {
        const FolderLock claim = FolderLock::tryClaim(entry.filePath());
        if (!claim.active())
            continue;
        // A process that died between setting the installed bundle aside and
        // putting the new one in its place: the old one goes back.
        const QDir aside(entry.filePath() + u'/' + kAsideFolder);
        bool restored = true;
        for (const QString &name : aside.entryList(kAllEntries)) {
            if (FileTree::exists(apps.filePath(name)))
                continue;
            try {
                FileTree::rename(aside.filePath(name), apps.filePath(name));
            } catch (const ZelvoError &) {
                restored = false;
            }
        }
        if (restored)
            FileTree::remove(entry.filePath());
    }
}

QString InstallerService::installDmg(const QString &imagePath, const Progress &onProgress) const
{
    report(onProgress, QStringLiteral("正在挂载 DMG 磁盘镜像..."));
    const QString step = QStringLiteral("无法打开磁盘镜像");
    const QString workFolder = newWorkFolderPath(kMountPrefix);
    const FolderLock claim = FolderLock::create(workFolder);
    const QString mountPoint = QDir(workFolder).filePath(kVolumeFolder);
    QDir().mkdir(mountPoint); // a failure shows up as the mount failing
    const auto cleanup = qScopeGuard([&] {
        // While a volume may still be attached, the folder's contents are the
        // image's own: the work folder stays then, for a later sweep.
        if (m_mounter.detach(mountPoint))
            FileTree::remove(workFolder);
    });

    // Where the image is expanded rather than attached, it must fit first.
    std::optional<ExpansionWatch> watch;
    if (!m_mounter.tools().list.isEmpty()) {
        const ToolResult listed = m_mounter.list(imagePath);
        throwIfStopped();
        throwUnlessSucceeded(listed, m_mounter.tools().list, step, QStringLiteral("文件列表过大"), onProgress, true);
        const qint64 expanded = ArchiveListing::totalSize(ArchiveListing::fromSevenZipTechnical(listed.output));
        checkExpansionFits(expanded, QFileInfo(imagePath).size());
        watch.emplace(workFolder, expanded, *m_stop);
    }
    if (m_mounter.hasLicenceAgreement(imagePath))
        report(onProgress, QStringLiteral("磁盘镜像附带软件许可协议，已代为同意"));

    ToolResult attached =
        m_mounter.attach(imagePath, mountPoint, [&] { return watch ? watch->keepGoing() : !stopped(); });
    throwIfStopped();
    if (attached.succeeded() && watch && watch->overranNow())
        attached.outcome = ToolResult::Outcome::Stopped;
    throwUnlessSucceeded(attached, m_mounter.tools().attach, step,
                         QStringLiteral("展开的内容超出了镜像声明的大小，已停止"), onProgress, false);

    report(onProgress, QStringLiteral("正在检测镜像中的应用程序..."));
    const auto bundle = firstBundleIn(mountPoint);
    if (!bundle)
        throw InstallError::appNotFoundInPackage();

    report(onProgress, QStringLiteral("正在将 %1 安装到应用程序目录...").arg(bundle->fileName()));
    const QString destination = QDir(m_installFolder).filePath(bundle->fileName());
    replaceBundle(bundle->filePath(), destination);
    report(onProgress, QStringLiteral("安装成功完成！"));
    return destination;
}

QString InstallerService::installZip(const QString &archivePath, const Progress &onProgress) const
{
    report(onProgress, QStringLiteral("正在解压 ZIP 文件..."));
    const QString step = QStringLiteral("无法解压 ZIP 文件");

    // Everything the archive holds is checked before anything is written.
    const ToolResult listed = m_expander.list(archivePath);
    throwIfStopped();
    throwUnlessSucceeded(listed, m_expander.tools().list, step, QStringLiteral("文件列表过大"), onProgress, true);
    const auto entries = ArchiveListing::fromTarVerbose(listed.output);
    if (!entries)
        throw InstallError::processFailed(step + QStringLiteral("：无法读取压缩包的文件列表"));
    if (const auto escaping = ArchiveListing::firstEscaping(*entries))
        throw InstallError::processFailed(
            QStringLiteral("压缩包中的“%1”会被解压到目标文件夹之外，已拒绝安装").arg(neutralizeControls(*escaping)));
    const qint64 expanded = ArchiveListing::totalSize(*entries);
    checkExpansionFits(expanded, QFileInfo(archivePath).size());

    const QString workFolder = newWorkFolderPath(kZipPrefix);
    const FolderLock claim = FolderLock::create(workFolder);
    const auto cleanup = qScopeGuard([&] { FileTree::remove(workFolder); });

    ExpansionWatch watch(workFolder, expanded, *m_stop);
    ToolResult result = m_expander.expand(archivePath, workFolder, [&] { return watch.keepGoing(); });
    throwIfStopped();
    if (result.succeeded() && watch.overranNow())
        result.outcome = ToolResult::Outcome::Stopped;
    throwUnlessSucceeded(result, m_expander.tools().expand, step,
                         QStringLiteral("解压出的内容超出了压缩包声明的大小，已停止"), onProgress, false);

    const auto bundle = firstBundleIn(workFolder);
    if (!bundle)
        throw InstallError::appNotFoundInPackage();

    const QString destination = QDir(m_installFolder).filePath(bundle->fileName());
    replaceBundle(bundle->filePath(), destination);
    report(onProgress, QStringLiteral("安装成功完成！"));
    return destination;
}

void InstallerService::installPkg(const QString &packagePath, const Progress &onProgress) const
{
    report(onProgress, QStringLiteral("正在启动 macOS 系统安装向导..."));
    m_workspace.openAndWait(packagePath);
    report(onProgress, QStringLiteral("已启动安装器，请跟随系统提示完成安装。"));
}

QString InstallerService::newWorkFolderPath(const QString &prefix) const
{
    FileTree::makeFolder(m_tempFolder);
    return QDir(m_tempFolder).filePath(prefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
}

void InstallerService::checkExpansionFits(qint64 expandedBytes, qint64 packageBytes) const
{
    if (expandedBytes > kRatioFreeBytes && expandedBytes / qMax<qint64>(packageBytes, 1) > kMaxExpansionRatio)
        throw InstallError::processFailed(
            QStringLiteral("安装包展开后将达 %1，是其自身大小的 %2 倍以上，疑为恶意压缩包，已拒绝")
                .arg(sizeText(expandedBytes))
                .arg(kMaxExpansionRatio));
    FileTree::makeFolder(m_tempFolder);
    const QStorageInfo volume(m_tempFolder);
    if (volume.isValid() && expandedBytes > volume.bytesAvailable() - kReserveBytes)
        throw InstallError::processFailed(QStringLiteral("安装包展开后需要 %1，但临时文件夹所在磁盘只剩 %2 可用空间")
                                              .arg(sizeText(expandedBytes), sizeText(volume.bytesAvailable())));
}

void InstallerService::replaceBundle(const QString &source, const QString &destination) const
{
    // The new bundle is copied in full into a claimed hidden folder beside the
    // old one and only then swapped in, so a failed copy never costs the user
    // the installed app; the old one waits in the same folder until the swap
    // is done, where a sweep finds and restores it after a crash.
    const QString name = QFileInfo(destination).fileName();
    const QDir folder(m_installFolder);
    const QString staging =
        folder.filePath(kStagingPrefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    FolderLock claim;
    try {
        FileTree::makeFolder(m_installFolder);
        claim = FolderLock::create(staging);
    } catch (const ZelvoError &error) {
        throw InstallError::processFailed(
            QStringLiteral("无法写入应用程序目录 %1：%2").arg(m_installFolder, error.localizedDescription()));
    }
    auto dropStaging = qScopeGuard([&] { FileTree::remove(staging); });

    const QString fresh = QDir(staging).filePath(name);
    try {
        FileTree::copy(source, fresh);
    } catch (const ZelvoError &error) {
        // The system's reason alone ("No space left on device") does not say
        // what was being done.
        throw InstallError::processFailed(
            QStringLiteral("无法将 %1 复制到 %2：%3").arg(name, m_installFolder, error.localizedDescription()));
    }
    throwIfStopped();

    try {
        if (!FileTree::exists(destination)) {
            FileTree::rename(fresh, destination);
            return;
        }
        const QString aside = QDir(staging).filePath(kAsideFolder + u'/' + name);
        FileTree::makeFolder(QFileInfo(aside).path());
        FileTree::rename(destination, aside);
        try {
            FileTree::rename(fresh, destination);
        } catch (...) {
            try {
                FileTree::rename(aside, destination);
            } catch (...) {
                // The old bundle stays whole in the staging folder, which the
                // next sweep puts back.
                dropStaging.dismiss();
            }
            throw;
        }
    } catch (const FileTree::RenameError &error) {
        throw InstallError::processFailed(explainRename(error, name));
    }
}
