#include "InstallCommand.h"

#include <QFileInfo>

#include "cli/CliContext.h"
#include "cli/CliOutput.h"
#include "cli/CliParser.h"
#include "cli/DownloadCommands.h"
#include "services/AppStoreService.h"
#include "services/BrewService.h"
#include "services/DownloadManager.h"
#include "services/InstallerService.h"

QList<CliCommand> InstallCommand::commands()
{
    return {{QStringLiteral("install"), QStringLiteral("安装应用库中的应用或一个安装包文件"), &InstallCommand::install}};
}

int InstallCommand::install(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral(
        "安装应用。给出应用 ID 时与窗口中的安装按钮相同：Homebrew 应用先用 brew 安装，失败或非 Homebrew 应用则使用"
        "缓存中的安装包，没有时先下载，然后安装。给出文件路径时直接安装该安装包（DMG、ZIP 或 PKG）。"));
    parser.addPositional(QStringLiteral("TARGET"), QStringLiteral("应用 ID 或安装包路径"), QStringLiteral("ID|PATH"));
    if (const auto done = parser.parse(arguments, 1, 1))
        return *done;

    const QString target = parser.positional().first();
    if (QFileInfo(target).isFile())
        return installPackage(context, QFileInfo(target).absoluteFilePath());
    const auto app = context.store().app(target);
    if (!app) {
        // A path that names nothing gets the installer's own message.
        if (target.contains(u'/'))
            return installPackage(context, QFileInfo(target).absoluteFilePath());
        CliOutput::err(QStringLiteral("应用库中没有此应用: ") + target);
        return exitFailure;
    }

    // Homebrew first: the record's cask name when it has one (even an empty
    // one), else its id; when brew fails the direct road follows.
    if (app->sourceType == AppSourceType::brew && (app->brewName || !app->id.isEmpty())) {
        const QString token = app->brewName.value_or(app->id);
        QString error;
        if (context.succeeded(context.brew().installViaBrew(token, &CliOutput::write), error))
            return exitSuccess;
        CliOutput::err(QStringLiteral("Homebrew 安装失败，改用直接下载: ") + error);
    }

    const auto url = DownloadCommands::versionUrl(*app, app->currentVersion);
    if (!url) {
        CliOutput::err(QStringLiteral("没有此版本的下载地址: ") + app->id + QStringLiteral(" v") + app->currentVersion);
        return exitFailure;
    }
    if (const auto cached = context.downloads().findExistingPackage(app->id, app->currentVersion)) {
        CliOutput::err(QStringLiteral("使用缓存的安装包: ") + cached->filePath);
        return installPackage(context, cached->filePath);
    }
    const auto downloaded = DownloadCommands::fetch(context, *app, app->currentVersion, *url);
    if (!downloaded)
        return exitFailure;
    return installPackage(context, *downloaded);
}

int InstallCommand::installPackage(CliContext &context, const QString &packagePath)
{
    QString error;
    // Progress comes from a pool thread; the output functions write whole
    // lines at once, so lines never mix.
    if (!context.succeeded(context.installer().install(packagePath, &CliOutput::out), error)) {
        CliOutput::err(QStringLiteral("安装失败: ") + error);
        return exitFailure;
    }
    return exitSuccess;
}
