#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

// How one run of a command-line tool ended.
struct ToolResult
{
    enum class Outcome {
        Exited,        // ran to its end; exitCode holds its status
        FailedToStart, // missing, not executable, ...; errorText holds the system's reason
        Crashed,       // killed by a signal
        TimedOut,      // still running after the time limit, so it was stopped
        Stopped,       // stopped because the caller's check said so, or its output outgrew the limit
    };

    Outcome outcome = Outcome::FailedToStart;
    int exitCode = -1;
    QString errorText;
    // The last few KiB the tool wrote to its standard error, for diagnostics.
    QByteArray errorOutput;
    // What the tool wrote to its standard output, when the command keeps it.
    QByteArray output;

    bool succeeded() const { return outcome == Outcome::Exited && exitCode == 0; }
};

// A tool invocation as data, so tests can point it at fake scripts and the
// flows above stay the same on every system. Arguments may hold placeholders
// such as "{image}" that bound() fills in.
struct ToolCommand
{
    QString program;
    QStringList arguments;
    // A tool still running after this long is stopped: nothing waits forever
    // on a tool that hangs or asks a question nobody will answer.
    std::chrono::milliseconds timeLimit = std::chrono::minutes(10);
    // Fed to the tool's standard input, which is closed afterwards.
    QByteArray input;
    // "NAME=value" entries added to the tool's environment.
    QStringList environment;
    // Standard output is kept up to this many bytes (0: discarded); a tool
    // that writes more is stopped rather than filling memory.
    qint64 outputLimit = 0;

    bool isEmpty() const { return program.isEmpty(); }

    // A copy with every "{name}" in the arguments replaced by values[name].
    // Values are inserted verbatim and never scanned again.
    ToolCommand bound(const QHash<QString, QString> &values) const;

    // Runs the tool and waits for it, blocking the calling thread. Standard
    // input gets `input` and is closed (a tool that asks for more fails
    // instead of hanging), standard output is discarded or kept and standard
    // error drained, so the tool never stalls on a full pipe. keepGoing, when
    // given, is asked several times a second; false stops the tool.
    using Check = std::function<bool()>;
    ToolResult run(const Check &keepGoing = {}) const;

    // Starts the tool without waiting for it; the same input and output
    // rules apply. Returns false when it could not be started.
    bool startDetached() const;

    // The program's file name, for messages.
    QString displayName() const;
};
