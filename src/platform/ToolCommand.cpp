#include "ToolCommand.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

namespace {

constexpr qsizetype kErrorOutputTail = 16 * 1024;
constexpr int kPollMs = 200;

void prepare(QProcess &process, const ToolCommand &command)
{
    process.setProgram(command.program);
    process.setArguments(command.arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
}

void keepTail(QByteArray &tail, const QByteArray &more)
{
    tail.append(more);
    if (tail.size() > kErrorOutputTail)
        tail.remove(0, tail.size() - kErrorOutputTail);
}

} // namespace

ToolCommand ToolCommand::bound(const QHash<QString, QString> &values) const
{
    static const QRegularExpression placeholder(QStringLiteral("\\{(\\w+)\\}"));
    ToolCommand result = *this;
    for (QString &argument : result.arguments) {
        QString filled;
        qsizetype last = 0;
        auto it = placeholder.globalMatch(argument);
        while (it.hasNext()) {
            const auto match = it.next();
            const auto value = values.constFind(match.captured(1));
            if (value == values.cend())
                continue;
            filled += QStringView(argument).mid(last, match.capturedStart() - last);
            filled += *value;
            last = match.capturedEnd();
        }
        filled += QStringView(argument).mid(last);
        argument = filled;
    }
    return result;
}

ToolResult ToolCommand::run() const
{
    ToolResult result;
    QProcess process;
    prepare(process, *this);
    process.start();
    if (!process.waitForStarted()) {
        result.errorText = process.errorString();
        return result;
    }

    const QDeadlineTimer deadline(timeLimit);
    while (!process.waitForFinished(kPollMs)) {
        keepTail(result.errorOutput, process.readAllStandardError());
        if (process.state() == QProcess::NotRunning)
            break;
        if (deadline.hasExpired()) {
            process.kill();
            process.waitForFinished(-1);
            result.outcome = ToolResult::Outcome::TimedOut;
            result.errorText = process.errorString();
            return result;
        }
    }
    keepTail(result.errorOutput, process.readAllStandardError());

    result.exitCode = process.exitCode();
    if (process.exitStatus() == QProcess::CrashExit) {
        result.outcome = ToolResult::Outcome::Crashed;
        result.errorText = process.errorString();
    } else {
        result.outcome = ToolResult::Outcome::Exited;
    }
    return result;
}

bool ToolCommand::startDetached() const
{
    QProcess process;
    prepare(process, *this);
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}

QString ToolCommand::displayName() const
{
    return QFileInfo(program).fileName();
}
