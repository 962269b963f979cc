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

    // Downloads the package into the cache with progress on standard error;
    // Ctrl-C cancels and leaves nothing behind. Resumes what an earlier run
    // left unless resume is false. Returns the cached path, or nothing after
    // printing why not.
    static std::optional<QString> fetch(CliContext &context, const AppItem &app, const QString &version,
                                        const QUrl &url, bool resume = true);
    // Follows the download of this task key, already started, to its end
    // (progress, resumes and retries, Ctrl-C and failure as above).
    static std::optional<QString> follow(CliContext &context, const QString &key);

private:
    static int download(CliContext &context, const QString &path, const QStringList &arguments);
    static int cache(CliContext &context, const QString &path, const QStringList &arguments);
    static int cacheList(CliContext &context, const QString &path, const QStringList &arguments);
    static int cacheRemove(CliContext &context, const QString &path, const QStringList &arguments);
    static int cacheClear(CliContext &context, const QString &path, const QStringList &arguments);
};
