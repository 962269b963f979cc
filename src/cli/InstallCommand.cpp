#include "InstallCommand.h"

#include <QEventLoop>
#include <QFileInfo>

#include "cli/CliContext.h"
#include "cli/CliOutput.h"
#include "cli/CliParser.h"
#include "cli/DownloadCommands.h"
#include "platform/InterruptWatcher.h"
#include "services/AppStoreService.h"
#include "services/DownloadManager.h"
#include "services/InstallWorkflow.h"
#include "services/InstallerService.h"

QList<CliCommand> InstallCommand::commands()
{
    return {{QStringLiteral("install"), QStringLiteral("安装应用库中的应用或一个安装包文件"), &InstallCommand::install}};
}

int InstallCommand::install(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral(
        "安装应用。给出应用 ID 时与窗口中的安装按钮相同：Homebrew 应用先用 brew 安装，失败或非 Homebrew 应用则使用"
        "缓存中的安装包，没有时先下载，然后安装。给出文件路径时直接安装该安装包（DMG、ZIP 或 PKG，按文件内容识别）。"));
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

    return installRecord(context, *app);
}

int InstallCommand::installRecord(CliContext &context, const AppItem &app)
{
    // The install button's own workflow. Its direct road stops after starting
    // a download (the window's next click installs); here the command follows
    // the download and installs the package at once.
    auto &downloads = context.downloads();
    // An interrupt stops the installation so that it removes its work
    // folders; the download's own follower handles the download phase.
    InterruptWatcher interrupt;
    QObject::connect(&interrupt, &InterruptWatcher::interrupted, &interrupt, [&] { context.installer().stopAll(); });
    InstallWorkflow workflow(app, context.store(), downloads, context.installer(), context.brew());
    workflow.setConsole([](const QString &line) {
        // The window's console lines, without the prefixes that tell them
        // apart in the window's log: here they are the command's own output.
        static const QString brewPrefix = QStringLiteral("Brew output: ");
        static const QString installerPrefix = QStringLiteral("Installer: ");
        if (line.startsWith(brewPrefix))
            CliOutput::write(line.mid(brewPrefix.size())); // chunks, not lines
        else if (line.startsWith(installerPrefix))
            CliOutput::out(line.mid(installerPrefix.size()));
        else
            CliOutput::err(line); // "安装失败: …"
    });

    QEventLoop loop;
    std::optional<int> result;
    const auto finish = [&](int code) {
        result = code;
        loop.quit();
    };
    QObject::connect(&workflow, &InstallWorkflow::installSucceeded, &loop, [&] { finish(exitSuccess); });
    QObject::connect(&workflow, &InstallWorkflow::installFailed, &loop, [&] { finish(exitFailure); });
    QObject::connect(&workflow, &InstallWorkflow::brewFailed, &loop, [](const QString &error) {
        CliOutput::err(QStringLiteral("Homebrew 安装失败，改用直接下载: ") + error);
    });
    QObject::connect(&workflow, &InstallWorkflow::directStepTaken, &loop, [&](InstallWorkflow::DirectStep step) {
        using Step = InstallWorkflow::DirectStep;
        switch (step) {
        case Step::noAddress:
            CliOutput::err(QStringLiteral("没有此版本的下载地址: ") + app.id + QStringLiteral(" v") + app.currentVersion);
            finish(exitFailure);
            break;
        case Step::installingCached:
            if (const auto cached = downloads.findExistingPackage(app.id, app.currentVersion))
                CliOutput::err(QStringLiteral("使用缓存的安装包: ") + cached->filePath);
            break;
        case Step::downloadStarted:
        case Step::alreadyDownloading:
            // Followed from the event loop, not from inside the workflow's own call.
            QMetaObject::invokeMethod(
                &loop,
                [&] {
                    const auto package = DownloadCommands::follow(context, workflow.taskKey());
                    if (package)
                        workflow.executeInstallPackage(*package);
                    else
                        finish(exitFailure);
                },
                Qt::QueuedConnection);
            break;
        }
    });
    workflow.handleInstall();
    if (!result)
        loop.exec();
    return interrupt.wasInterrupted() ? 128 + interrupt.signalNumber() : result.value_or(exitFailure);
}

int InstallCommand::installPackage(CliContext &context, const QString &packagePath)
{
    QString error;
    InterruptWatcher interrupt;
    QObject::connect(&interrupt, &InterruptWatcher::interrupted, &interrupt, [&] { context.installer().stopAll(); });
    // Progress comes from a pool thread; the output functions write whole
    // lines at once, so lines never mix.
    if (!context.succeeded(QFuture<void>(context.installer().install(packagePath, &CliOutput::out)), error)) {
        CliOutput::err(QStringLiteral("安装失败: ") + error);
        return interrupt.wasInterrupted() ? 128 + interrupt.signalNumber() : exitFailure;
    }
    return exitSuccess;
}
