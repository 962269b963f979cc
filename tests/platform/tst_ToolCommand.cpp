#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include "platform/ToolCommand.h"
#include "support/TestFolders.h"

using Outcome = ToolResult::Outcome;

class tst_ToolCommand : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    ToolCommand script(const QByteArray &body)
    {
        return {TestFolders::writeScript(m_dir.path(), "tool", body), {}, std::chrono::seconds(5)};
    }

private Q_SLOTS:
    void bound_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("whole arguments") << QStringList{"attach", "{image}", "-mountpoint", "{mountpoint}"}
                                         << QStringList{"attach", "/a b/Foo.dmg", "-mountpoint", "/tmp/{image}"};
        QTest::newRow("inside an argument") << QStringList{"-o{mountpoint}", "{image}{image}"}
                                            << QStringList{"-o/tmp/{image}", "/a b/Foo.dmg/a b/Foo.dmg"};
        QTest::newRow("unknown names stay")
            << QStringList{"{other}", "{}", "{image"} << QStringList{"{other}", "{}", "{image"};
    }

    // A path that itself looks like a placeholder is inserted verbatim.
    void bound()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, expected);
        const ToolCommand command{"tool", arguments};
        const ToolCommand filled = command.bound({{"image", "/a b/Foo.dmg"}, {"mountpoint", "/tmp/{image}"}});
        QCOMPARE(filled.arguments, expected);
        QCOMPARE(filled.program, command.program);
    }

    void run_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<qint64>("outputLimit");
        QTest::addColumn<bool>("stop"); // the caller's check says stop

        const auto row = [](const char *name, const QByteArray &body, Outcome outcome, int exitCode = 0,
                            qint64 outputLimit = 0, const QByteArray &input = {}, bool stop = false) {
            QTest::newRow(name) << body << outcome << exitCode << input << outputLimit << stop;
        };
        const QByteArray flood = "head -c 8000000 /dev/zero; ";
        row("exit status", "exit 3", Outcome::Exited, 3);
        // Far more than any pipe buffer, on both channels.
        row("floods its output", flood + "head -c 8000000 /dev/zero >&2; exit 0", Outcome::Exited);
        row("output kept", flood + "exit 0", Outcome::Exited, 0, 8000000);
        row("output beyond its limit", flood + "exit 0", Outcome::Stopped, -1, 1000);
        row("reads its input", "cat > /dev/null; exit 0", Outcome::Exited);
        row("answers from its input", "read a; [ \"$a\" = Y ]", Outcome::Exited, 0, 0, "Y\n");
        row("never ends", "exec sleep 60", Outcome::TimedOut, -1);
        row("stopped by the caller", "exec sleep 60", Outcome::Stopped, -1, 0, {}, true);
        row("crashes", "kill -KILL $$", Outcome::Crashed, -1);
    }

    void run()
    {
        QFETCH(QByteArray, body);
        QFETCH(Outcome, outcome);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, input);
        QFETCH(qint64, outputLimit);
        QFETCH(bool, stop);

        // Our own standard input is a pipe nobody writes to: a tool that
        // inherited it would wait on it until the time limit.
        int fds[2];
        QCOMPARE(pipe(fds), 0);
        const int savedInput = dup(STDIN_FILENO);
        dup2(fds[0], STDIN_FILENO);

        ToolCommand command = script(body);
        command.timeLimit = std::chrono::seconds(stop ? 30 : 2);
        command.input = input;
        command.outputLimit = outputLimit;
        const ToolResult result = command.run([stop] { return !stop; });

        dup2(savedInput, STDIN_FILENO);
        ::close(savedInput);
        ::close(fds[0]);
        ::close(fds[1]);

        QCOMPARE(result.outcome, outcome);
        if (outcome == Outcome::Exited)
            QCOMPARE(result.exitCode, exitCode);
        QVERIFY(result.errorOutput.size() <= 16 * 1024);
        QCOMPARE(result.output.size(), outcome == Outcome::Exited ? outputLimit : result.output.size());
        QCOMPARE(result.succeeded(), outcome == Outcome::Exited && exitCode == 0);
    }

    void errorOutputKeepsTheEnd()
    {
        const ToolResult result =
            script("head -c 100000 /dev/zero | tr '\\0' x >&2; echo ' the reason' >&2; exit 2").run();
        QCOMPARE(result.exitCode, 2);
        QVERIFY(result.errorOutput.endsWith("x the reason\n"));
    }
};

QTEST_GUILESS_MAIN(tst_ToolCommand)
#include "tst_ToolCommand.moc"
