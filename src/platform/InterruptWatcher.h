#pragma once

#include <QObject>

// Turns Ctrl-C (SIGINT), SIGTERM and a closed terminal (SIGHUP) into a Qt
// signal on the main thread while it exists, so a long command or the window
// can stop its work and clean up instead of dying with half-written files
// and work folders. Watchers may nest: every live one is told. The signal
// handler only writes one byte to a pipe; everything else happens in the
// event loop. Create and destroy watchers on the main thread.
class InterruptWatcher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InterruptWatcher)

public:
    explicit InterruptWatcher(QObject *parent = nullptr);
    ~InterruptWatcher() override;

    bool wasInterrupted() const { return m_interrupted; }
    // The signal that arrived, 0 before any.
    int signalNumber() const { return m_signal; }

Q_SIGNALS:
    void interrupted();

private:
    void notify(int signalNumber);

    bool m_interrupted = false;
    int m_signal = 0;
};
