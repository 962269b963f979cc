#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "cli/CliCommand.h"

// The catalog sources (`source list|add|remove|refresh`) and one search over
// the library and every source (`search`).
class CatalogCommands final
{
public:
    static QList<CliCommand> commands();

private:
    static int source(CliContext &context, const QString &path, const QStringList &arguments);
    static int list(CliContext &context, const QString &path, const QStringList &arguments);
    static int add(CliContext &context, const QString &path, const QStringList &arguments);
    static int remove(CliContext &context, const QString &path, const QStringList &arguments);
    static int refresh(CliContext &context, const QString &path, const QStringList &arguments);
    static int search(CliContext &context, const QString &path, const QStringList &arguments);
};
