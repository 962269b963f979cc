#include "InterruptWatcher.h"

#include <QList>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array kSignals{SIGINT, SIGTERM, SIGHUP};

// The pipe lives for the process: a late signal after the watchers are gone
// must still find a valid descriptor to write to.
int pipeFds[2] = {-1, -1};

struct Handling
{
    QSocketNotifier *notifier = nullptr;
    QList<InterruptWatcher *> watchers;
    std::array<struct sigaction, kSignals.size()> previous = {};
};

Handling &handling()
{
    static Handling instance;
    return instance;
}

void onSignal(int signalNumber)
{
    const int saved = errno;
    const char byte = char(signalNumber);
    [[maybe_unused]] const auto written = ::write(pipeFds[1], &byte, 1);
    errno = saved;
}

bool ensurePipe()
{
    if (pipeFds[0] >= 0)
        return true;
    if (::pipe(pipeFds) != 0)
        return false;
    for (const int fd : pipeFds) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    return true;
}

} // namespace

InterruptWatcher::InterruptWatcher(QObject *parent) : QObject(parent)
{
    Handling &state = handling();
    state.watchers.append(this);
    if (state.notifier || !ensurePipe())
        return; // without a pipe the default handling (ending the process) stays
    state.notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read);
    QObject::connect(state.notifier, &QSocketNotifier::activated, state.notifier, [] {
        char buffer[64];
        int last = 0;
        for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
            last = buffer[got - 1];
        // A copy: a watcher told may destroy others.
        for (InterruptWatcher *watcher : QList(handling().watchers)) {
            if (handling().watchers.contains(watcher))
                watcher->notify(last);
        }
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &state.previous[i]);
}

InterruptWatcher::~InterruptWatcher()
{
    Handling &state = handling();
    state.watchers.removeAll(this);
    if (!state.watchers.isEmpty() || !state.notifier)
        return;
    for (size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &state.previous[i], nullptr);
    state.notifier->deleteLater();
    state.notifier = nullptr;
}

void InterruptWatcher::notify(int signalNumber)
{
    if (m_interrupted)
        return;
    m_interrupted = true;
    m_signal = signalNumber;
    Q_EMIT interrupted();
}
