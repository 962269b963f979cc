#include "InstallerService.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include "platform/FileTree.h"
#include "platform/Platform.h"

namespace {

void report(const InstallerService::Progress &onProgress, const QString &message)
{
    if (onProgress)
        onProgress(message);
}

// Turns a tool run that did not succeed into the error the user sees. A tool
// that cannot start keeps the system's reason; one that fails gets `detail`.
void throwUnlessSucceeded(const ToolResult &result, const ToolCommand &tool, const QString &detail)
{
    switch (result.outcome) {
    case ToolResult::Outcome::Exited:
        if (result.exitCode == 0)
            return;
        break;
    case ToolResult::Outcome::FailedToStart:
        throw ZelvoError(result.errorText);
    case ToolResult::Outcome::TimedOut:
        throw InstallError::processFailed(
            QStringLiteral("%1 运行超过 %2 秒仍未结束，已被停止")
                .arg(tool.displayName())
                .arg(std::chrono::duration_cast<std::chrono::seconds>(tool.timeLimit).count()));
    case ToolResult::Outcome::Crashed:
        break;
    }
    throw InstallError::processFailed(detail);
}

// The first application bundle at the folder's top level, by name. A link
// named like a bundle is passed over: it would point into the image that is
// about to go away, or out of it.
std::optional<QFileInfo> firstBundleIn(const QString &folder)
{
    const auto entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &entry : entries) {
        if (entry.suffix() == QLatin1String("app") && !entry.isSymLink())
            return entry;
    }
    return std::nullopt;
}

} // namespace

InstallError::InstallError(Kind kind, QString payload, const QString &description)
    : ZelvoError(description), m_kind(kind), m_payload(std::move(payload))
{
}

InstallError InstallError::fileNotFound(const QString &path)
{
    return {Kind::fileNotFound, path, QStringLiteral("未找到安装包文件：") + path};
}

InstallError InstallError::unsupportedType(const QString &extension)
{
    return {Kind::unsupportedType, extension, QStringLiteral("暂不支持的安装包格式：") + extension};
}

InstallError InstallError::processFailed(const QString &detail)
{
    return {Kind::processFailed, detail, QStringLiteral("安装执行失败：") + detail};
}

InstallError InstallError::appNotFoundInPackage()
{
    return {Kind::appNotFoundInPackage, QString(), QStringLiteral("安装包内未检测到有效的 .app 应用程序文件")};
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

QFuture<void> InstallerService::install(const QString &packagePath, Progress onProgress) const
{
    // The flow works on its own copy, so the future does not depend on this
    // instance outliving it.
    return QtConcurrent::run([installer = *this, packagePath, onProgress = std::move(onProgress)] {
        try {
            installer.installNow(packagePath, onProgress);
        } catch (const QException &) {
            throw;
        } catch (const std::exception &error) {
            // Only QExceptions keep their text across a future.
            throw ZelvoError(QString::fromLocal8Bit(error.what()));
        }
    });
}

void InstallerService::installNow(const QString &packagePath, const Progress &onProgress) const
{
    const QFileInfo package(packagePath);
    if (!package.exists())
        throw InstallError::fileNotFound(packagePath);

    const QString extension = package.suffix().toLower();
    if (extension == QLatin1String("dmg")) {
        installDmg(packagePath, onProgress);
    } else if (extension == QLatin1String("pkg")) {
        installPkg(packagePath, onProgress);
    } else if (extension == QLatin1String("zip")) {
        installZip(packagePath, onProgress);
    } else {
        report(onProgress, QStringLiteral("正在通过系统打开安装程序..."));
        m_workspace.open(packagePath);
    }
}

void InstallerService::launchApp(const QString &bundlePath) const
{
    m_workspace.launchApp(bundlePath);
}

void InstallerService::installDmg(const QString &imagePath, const Progress &onProgress) const
{
    report(onProgress, QStringLiteral("正在挂载 DMG 磁盘镜像..."));
    const QString mountPoint = newWorkFolderPath(QStringLiteral("ZelvoMount_"));
    QDir().mkpath(mountPoint); // a failure shows up as the mount failing
    const auto cleanup = qScopeGuard([&] {
        // While a volume may still be attached, the folder's contents are the
        // image's own: only an empty folder is removed then.
        if (m_mounter.detach(mountPoint))
            FileTree::remove(mountPoint);
        else
            QDir().rmdir(mountPoint);
    });

    const ToolResult attached = m_mounter.attach(imagePath, mountPoint);
    throwUnlessSucceeded(attached, m_mounter.tools().attach,
                         QStringLiteral("hdiutil 挂载镜像失败，退出码: %1").arg(attached.exitCode));

    report(onProgress, QStringLiteral("正在检测镜像中的应用程序..."));
    const auto bundle = firstBundleIn(mountPoint);
    if (!bundle)
        throw InstallError::appNotFoundInPackage();

    report(onProgress, QStringLiteral("正在将 %1 安装到应用程序目录...").arg(bundle->fileName()));
    replaceBundle(bundle->filePath(), QDir(m_installFolder).filePath(bundle->fileName()));
    report(onProgress, QStringLiteral("安装成功完成！"));
}

void InstallerService::installZip(const QString &archivePath, const Progress &onProgress) const
{
    report(onProgress, QStringLiteral("正在解压 ZIP 文件..."));
    const QString workFolder = newWorkFolderPath(QStringLiteral("ZelvoZip_"));
    FileTree::makeFolder(workFolder);
    const auto cleanup = qScopeGuard([&] { FileTree::remove(workFolder); });

    throwUnlessSucceeded(m_expander.expand(archivePath, workFolder), m_expander.tool(),
                         QStringLiteral("解压 ZIP 文件失败"));

    const auto bundle = firstBundleIn(workFolder);
    if (!bundle)
        throw InstallError::appNotFoundInPackage();

    replaceBundle(bundle->filePath(), QDir(m_installFolder).filePath(bundle->fileName()));
    report(onProgress, QStringLiteral("安装成功完成！"));
}

void InstallerService::installPkg(const QString &packagePath, const Progress &onProgress) const
{
    report(onProgress, QStringLiteral("正在启动 macOS 系统安装向导..."));
    m_workspace.openAndWait(packagePath);
    report(onProgress, QStringLiteral("已启动安装器，请跟随系统提示完成安装。"));
}

QString InstallerService::newWorkFolderPath(const QString &prefix) const
{
    return QDir(m_tempFolder).filePath(prefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
}

void InstallerService::replaceBundle(const QString &source, const QString &destination) const
{
    // The new bundle is copied in full beside the old one and only then
    // swapped in, so a failed copy never costs the user the installed app.
    FileTree::makeFolder(m_installFolder);
    const QDir folder(m_installFolder);
    const QString tag = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QString staging = folder.filePath(QStringLiteral(".zelvo-new-") + tag);
    auto dropStaging = qScopeGuard([&] { FileTree::remove(staging); });

    try {
        FileTree::copy(source, staging);
    } catch (const ZelvoError &error) {
        // The system's reason alone ("No space left on device") does not say
        // what was being done; the staging name means nothing to the user.
        throw InstallError::processFailed(QStringLiteral("无法将 %1 复制到 %2：%3")
                                              .arg(QFileInfo(destination).fileName(), m_installFolder,
                                                   error.localizedDescription()));
    }
    if (!FileTree::exists(destination)) {
        FileTree::rename(staging, destination);
        dropStaging.dismiss();
        return;
    }

    const QString aside = folder.filePath(QStringLiteral(".zelvo-old-") + tag);
    FileTree::rename(destination, aside);
    try {
        FileTree::rename(staging, destination);
    } catch (...) {
        try {
            FileTree::rename(aside, destination);
        } catch (...) {
            // Both renames failing on one folder leaves nothing better to do;
            // the old bundle stays whole under its hidden name.
        }
        throw;
    }
    dropStaging.dismiss();
    FileTree::remove(aside);
}
