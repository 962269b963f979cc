#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "cli/CliCommand.h"
#include "models/AppItem.h"

// `zelvo install ID|PATH`: for a record the install button's workflow, for a
// file the installer on that package.
class InstallCommand final
{
public:
    static QList<CliCommand> commands();

private:
    static int install(CliContext &context, const QString &path, const QStringList &arguments);
    static int installRecord(CliContext &context, const AppItem &app);
    static int installPackage(CliContext &context, const QString &packagePath);
};
