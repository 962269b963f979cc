#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "cli/CliCommand.h"

// Where versions and records are looked up: the directory-listing scraper
// (`versions`) and Homebrew (`brew resolve`, `brew search`).
class LookupCommands final
{
public:
    static QList<CliCommand> commands();

private:
    static int versions(CliContext &context, const QString &path, const QStringList &arguments);
    static int brew(CliContext &context, const QString &path, const QStringList &arguments);
    static int brewResolve(CliContext &context, const QString &path, const QStringList &arguments);
    static int brewSearch(CliContext &context, const QString &path, const QStringList &arguments);
};
