#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class CliContext;

// Exit status of every command.
enum ExitCode : int { exitSuccess = 0, exitFailure = 1, exitUsage = 2 };

// One entry of a command table: `zelvo <name> …` or `zelvo brew <name> …`.
struct CliCommand
{
    // path is the command as typed so far ("zelvo brew resolve"), for help and usage texts.
    using Run = std::function<int(CliContext &context, const QString &path, const QStringList &arguments)>;

    QString name;
    QString summary;
    Run run;

    // Runs the command named by the first argument; the rest are its own.
    // Handles --help and unknown commands for this level.
    static int dispatch(CliContext &context, const QString &path, const QString &description,
                        const QList<CliCommand> &commands, const QStringList &arguments,
                        const QString &epilog = QString());
};
