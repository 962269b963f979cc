#include "ToolCommand.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

namespace {

constexpr qsizetype kErrorOutputTail = 16 * 1024;
constexpr int kPollMs = 200;

void prepare(QProcess &process, const ToolCommand &command)
{
    process.setProgram(command.program);
    process.setArguments(command.arguments);
    if (command.input.isEmpty())
        process.setStandardInputFile(QProcess::nullDevice());
    if (command.outputLimit <= 0)
        process.setStandardOutputFile(QProcess::nullDevice());
    if (!command.environment.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString &entry : command.environment)
            environment.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        process.setProcessEnvironment(environment);
    }
}

void stop(QProcess &process, ToolResult &result, ToolResult::Outcome outcome)
{
    process.kill();
    process.waitForFinished(-1);
    result.outcome = outcome;
    result.errorText = process.errorString();
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

ToolResult ToolCommand::run(const Check &keepGoing) const
{
    ToolResult result;
    QProcess process;
    prepare(process, *this);
    process.start();
    if (!process.waitForStarted()) {
        result.errorText = process.errorString();
        return result;
    }
    if (!input.isEmpty()) {
        process.write(input);
        process.closeWriteChannel();
    }

    const QDeadlineTimer deadline(timeLimit);
    const auto collect = [&] {
        keepTail(result.errorOutput, process.readAllStandardError());
        if (outputLimit > 0)
            result.output.append(process.readAllStandardOutput());
    };
    while (!process.waitForFinished(kPollMs)) {
        collect();
        if (process.state() == QProcess::NotRunning)
            break;
        if (deadline.hasExpired()) {
            stop(process, result, ToolResult::Outcome::TimedOut);
            return result;
        }
        if ((keepGoing && !keepGoing()) || (outputLimit > 0 && result.output.size() > outputLimit)) {
            stop(process, result, ToolResult::Outcome::Stopped);
            return result;
        }
    }
    collect();
    if (outputLimit > 0 && result.output.size() > outputLimit) {
        result.outcome = ToolResult::Outcome::Stopped;
        return result;
    }

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
