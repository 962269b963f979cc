#include <QCoreApplication>

#include "cli/CatalogCommands.h"
#include "cli/CliCommand.h"
#include "cli/CliContext.h"
#include "cli/CliOutput.h"
#include "cli/DownloadCommands.h"
#include "cli/InstallCommand.h"
#include "cli/LibraryCommands.h"
#include "cli/LookupCommands.h"
#include "cli/TerminalAskPass.h"
#include "cli/UpdateCommands.h"
#include "platform/Platform.h"
#include "services/AppStoreService.h"
#include "services/AskPass.h"

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (AskPass::requested())
        return TerminalAskPass::run();
    TerminalAskPass::publishTerminal();
    QCoreApplication::setApplicationName(QStringLiteral("zelvo"));
    Platform::useSystemProxy();
    // Standard output carries results (often JSON); the store's own report
    // lines belong with the errors.
    AppStoreService::setConsole(&CliOutput::err);

    CliContext context(CliEnvironment::fromProcess());
    const QList<CliCommand> commands = LibraryCommands::commands() + CatalogCommands::commands() + LookupCommands::commands() +
                                        DownloadCommands::commands() + InstallCommand::commands() +
                                        UpdateCommands::commands();
    return CliCommand::dispatch(context, QStringLiteral("zelvo"),
                                QStringLiteral("ZelvoAppStore 的命令行工具：与窗口共用同一个应用库和安装包缓存。"),
                                commands, application.arguments().mid(1), CliEnvironment::variablesHelp());
}
