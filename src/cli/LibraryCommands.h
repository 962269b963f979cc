#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include "cli/CliCommand.h"
#include "models/AppInstallStatus.h"
#include "models/AppItem.h"

// The library store's commands: list, show, scan, import, export.
class LibraryCommands final
{
public:
    static QList<CliCommand> commands();

    // An install status as JSON ({"kind": "installed", "version": …, "path": …}).
    static QJsonObject statusJson(const AppInstallStatus &status);
    static QString statusText(const AppInstallStatus &status);
    // {"app": the record in its apps.json form, "status": statusJson}.
    static QJsonObject recordWithStatus(const AppItem &app, const AppInstallStatus &status);
    // A record in full, labelled as the detail page labels it.
    static void printRecord(const AppItem &app, const AppInstallStatus &status);

private:
    static int list(CliContext &context, const QString &path, const QStringList &arguments);
    static int show(CliContext &context, const QString &path, const QStringList &arguments);
    static int scan(CliContext &context, const QString &path, const QStringList &arguments);
    static int importRecords(CliContext &context, const QString &path, const QStringList &arguments);
    static int exportRecords(CliContext &context, const QString &path, const QStringList &arguments);
};
