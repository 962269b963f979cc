#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

// Turns Ctrl-C (SIGINT) and SIGTERM into a Qt signal on the main thread while
// it exists, so a long command can stop its work and clean up instead of
// dying with a half-written file. The signal handler only writes one byte to
// a pipe; everything else happens in the event loop.
class InterruptWatcher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InterruptWatcher)

public:
    explicit InterruptWatcher(QObject *parent = nullptr);
    ~InterruptWatcher() override;

    bool wasInterrupted() const { return m_interrupted; }

Q_SIGNALS:
    void interrupted();

private:
    void onReadable();

    QSocketNotifier *m_notifier = nullptr;
    struct sigaction m_previousInt = {};
    struct sigaction m_previousTerm = {};
    bool m_interrupted = false;
};
