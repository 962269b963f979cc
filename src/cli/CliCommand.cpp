#include "CliCommand.h"

#include "cli/CliOutput.h"
#include "cli/CliParser.h"

int CliCommand::dispatch(CliContext &context, const QString &path, const QString &description,
                         const QList<CliCommand> &commands, const QStringList &arguments, const QString &epilog)
{
    CliParser parser(path, description);
    // Everything after the command name belongs to that command.
    parser.parser().setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.addPositional(QStringLiteral("command"), QStringLiteral("子命令，见下"), QStringLiteral("<命令> [参数...]"));
    QList<QStringList> rows;
    for (const auto &command : commands)
        rows.append({QStringLiteral("  ") + command.name, command.summary});
    QString text = QStringLiteral("命令:\n") + CliOutput::table(rows);
    if (!epilog.isEmpty())
        text += QLatin1Char('\n') + epilog;
    parser.setEpilog(text.trimmed());
    if (const auto done = parser.parse(arguments, 0, -1))
        return *done;
    const QStringList rest = parser.positional();
    if (rest.isEmpty())
        return parser.usageError(QStringLiteral("缺少子命令"));
    for (const auto &command : commands)
        if (command.name == rest.first())
            return command.run(context, path + QLatin1Char(' ') + command.name, rest.mid(1));
    return parser.usageError(QStringLiteral("未知的子命令: ") + rest.first());
}
