#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "cli/CliCommand.h"

// `zelvo outdated [--json]`, `zelvo update ID|--all` and
// `zelvo uninstall ID [--zap]`: the "可更新" screen and the detail page's
// "卸载" on the command line, over the same update center.
class UpdateCommands final
{
public:
    static QList<CliCommand> commands();

private:
    static int outdated(CliContext &context, const QString &path, const QStringList &arguments);
    static int update(CliContext &context, const QString &path, const QStringList &arguments);
    static int uninstall(CliContext &context, const QString &path, const QStringList &arguments);
};
