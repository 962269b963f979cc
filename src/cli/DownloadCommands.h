#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

#include "cli/CliCommand.h"
#include "models/AppItem.h"

// The download manager's commands: `download` and `cache`.
class DownloadCommands final
{
public:
    static QList<CliCommand> commands();

    // The address of exactly this version's package. The record's own address
    // belongs to its current version only, so another version without a
    // template or an entry of its own has none.
    static std::optional<QUrl> versionUrl(const AppItem &app, const QString &version);
    // Downloads the package into the cache with progress on standard error;
    // Ctrl-C cancels and leaves nothing behind. Returns the cached path, or
    // nothing after printing why not.
    static std::optional<QString> fetch(CliContext &context, const AppItem &app, const QString &version,
                                        const QUrl &url);

private:
    static int download(CliContext &context, const QString &path, const QStringList &arguments);
    static int cache(CliContext &context, const QString &path, const QStringList &arguments);
    static int cacheList(CliContext &context, const QString &path, const QStringList &arguments);
    static int cacheRemove(CliContext &context, const QString &path, const QStringList &arguments);
    static int cacheClear(CliContext &context, const QString &path, const QStringList &arguments);
};
