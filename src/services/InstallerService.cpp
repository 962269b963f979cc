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

// Turns a tool run that did not succeed into the error the user sees: the
// step in Chinese. The tool's own words (its name means nothing to the user,
// and the tool differs between systems) go to the progress report, which
// ends up on the console.
void throwUnlessSucceeded(const ToolResult &result, const ToolCommand &tool, const QString &step,
                          const InstallerService::Progress &onProgress)
{
    if (result.succeeded())
        return;
    QString words = tool.displayName() + QStringLiteral(": ");
    switch (result.outcome) {
    case ToolResult::Outcome::Exited:
        words += QStringLiteral("退出码 %1").arg(result.exitCode);
        break;
    case ToolResult::Outcome::FailedToStart:
        words += result.errorText;
        break;
    case ToolResult::Outcome::TimedOut:
        words += QStringLiteral("超时");
        break;
    case ToolResult::Outcome::Crashed:
        words += QStringLiteral("异常退出");
        break;
    }
    const QString output = QString::fromLocal8Bit(result.errorOutput).trimmed();
    report(onProgress, output.isEmpty() ? words : words + QStringLiteral(": ") + output);

    switch (result.outcome) {
    case ToolResult::Outcome::FailedToStart:
        throw InstallError::processFailed(step + QStringLiteral("：系统缺少所需的工具"));
    case ToolResult::Outcome::TimedOut:
        throw InstallError::processFailed(
            step + QStringLiteral("：%1 秒内没有完成，已停止")
                       .arg(std::chrono::duration_cast<std::chrono::seconds>(tool.timeLimit).count()));
    case ToolResult::Outcome::Exited:
    case ToolResult::Outcome::Crashed:
        break;
    }
    throw InstallError::cannotOpenPackage(step);
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

InstallError InstallError::cannotOpenPackage(const QString &step)
{
    return {Kind::cannotOpenPackage, step, step + QStringLiteral("，安装包可能已损坏")};
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

QFuture<QString> InstallerService::install(const QString &packagePath, Progress onProgress) const
{
    // The flow works on its own copy, so the future does not depend on this
    // instance outliving it.
    return QtConcurrent::run([installer = *this, packagePath, onProgress = std::move(onProgress)] {
        try {
            return installer.installNow(packagePath, onProgress);
        } catch (const QException &) {
            throw;
        } catch (const std::exception &error) {
            // Only QExceptions keep their text across a future.
            throw ZelvoError(QString::fromLocal8Bit(error.what()));
        }
    });
}

QString InstallerService::installNow(const QString &packagePath, const Progress &onProgress) const
{
    const QFileInfo package(packagePath);
    if (!package.exists())
        throw InstallError::fileNotFound(packagePath);

    const QString extension = package.suffix().toLower();
    if (extension == QLatin1String("dmg"))
        return installDmg(packagePath, onProgress);
    if (extension == QLatin1String("zip"))
        return installZip(packagePath, onProgress);
    if (extension == QLatin1String("pkg")) {
        installPkg(packagePath, onProgress);
    } else {
        report(onProgress, QStringLiteral("正在通过系统打开安装程序..."));
        m_workspace.open(packagePath);
    }
    return {};
}

void InstallerService::launchApp(const QString &bundlePath) const
{
    m_workspace.launchApp(bundlePath);
}

QString InstallerService::installDmg(const QString &imagePath, const Progress &onProgress) const
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
    throwUnlessSucceeded(attached, m_mounter.tools().attach, QStringLiteral("无法打开磁盘镜像"), onProgress);

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
    const QString workFolder = newWorkFolderPath(QStringLiteral("ZelvoZip_"));
    FileTree::makeFolder(workFolder);
    const auto cleanup = qScopeGuard([&] { FileTree::remove(workFolder); });

    throwUnlessSucceeded(m_expander.expand(archivePath, workFolder), m_expander.tool(),
                         QStringLiteral("无法解压 ZIP 文件"), onProgress);

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
