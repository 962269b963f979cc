#include "cli/TerminalAskPass.h"

#include <QByteArray>
#include <QString>

#include <optional>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "services/AskPass.h"

namespace TerminalAskPass {

namespace {

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const auto written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

// One line typed on fd; nothing when the terminal ended (Ctrl-D) before a line break.
std::optional<QByteArray> readLine(int fd)
{
    QByteArray line;
    char c = 0;
    while (true) {
        const auto got = ::read(fd, &c, 1);
        if (got <= 0)
            return std::nullopt;
        if (c == '\n' || c == '\r')
            return line;
        line.append(c);
    }
}

} // namespace

void publishTerminal()
{
    for (const int fd : {STDIN_FILENO, STDERR_FILENO, STDOUT_FILENO}) {
        if (::isatty(fd) != 1)
            continue;
        if (const char *name = ::ttyname(fd)) {
            qputenv(AskPass::terminalVariable, name);
            return;
        }
    }
    qunsetenv(AskPass::terminalVariable);
}

int run()
{
    const QByteArray path = qgetenv(AskPass::terminalVariable);
    // Not our controlling terminal, and it must not become one.
    const int fd = path.isEmpty() ? -1 : ::open(path.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 || ::isatty(fd) != 1) {
        if (fd >= 0)
            ::close(fd);
        return AskPass::finish(AskPass::Outcome::noTerminal);
    }
    termios original{};
    const bool canHide = ::tcgetattr(fd, &original) == 0;
    if (canHide) {
        termios hidden = original;
        hidden.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(fd, TCSAFLUSH, &hidden);
    }
    std::optional<QByteArray> line;
    if (writeAll(fd, '\n' + AskPass::question().toUtf8()))
        line = readLine(fd);
    if (canHide)
        ::tcsetattr(fd, TCSAFLUSH, &original);
    writeAll(fd, "\n");
    ::close(fd);
    if (!line)
        return AskPass::finish(AskPass::Outcome::cancelled);
    return AskPass::finish(AskPass::Outcome::answered, QString::fromUtf8(*line));
}

} // namespace TerminalAskPass
