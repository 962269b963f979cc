#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

#include "models/OutdatedApp.h"

class BrewService;
class InstallWorkflow;
class InstallWorkflowRegistry;

// Runs updates one after another: each row through its record's install
// workflow (download, then install over the old bundle), or through
// `brew upgrade --cask` when Homebrew installed the bundle. A failure is
// kept on its row and the next row starts; the old bundle stays in place,
// since the installer replaces a bundle only with a complete new copy.
//
// Only one update runs at a time and a bundle waiting or running is not
// queued again, so two installations never write into one bundle at once;
// a workflow already installing (a click elsewhere) is waited for rather
// than started twice. All calls and signals are on the main thread.
class UpdateQueue final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UpdateQueue)

public:
    enum class Phase { idle, waiting, running, succeeded, failed };
    struct RowState
    {
        Phase phase = Phase::idle;
        QString reason; // failed: why
    };
    using ConsoleSink = std::function<void(const QString &line)>;

    UpdateQueue(InstallWorkflowRegistry &workflows, BrewService &brew, QObject *parent = nullptr);

    // Queues one update; false when its bundle is already waiting or running.
    bool enqueue(const OutdatedApp &row);
    // Queues every row not yet waiting or running.
    void enqueueAll(const QList<OutdatedApp> &rows);

    // Keyed by the bundle's path.
    RowState state(const QString &bundlePath) const { return m_states.value(bundlePath); }
    bool isBusy() const { return m_running || !m_waiting.isEmpty(); }

    // The batch: everything queued since the queue was last idle.
    int total() const { return m_total; }
    int finished() const { return m_succeeded + m_failed; }
    int succeededCount() const { return m_succeeded; }
    int failedCount() const { return m_failed; }
    // "n 个成功，m 个失败".
    QString summary() const;

    // brew's output lines; standard output by default.
    void setConsole(ConsoleSink sink);

Q_SIGNALS:
    void rowChanged(const QString &bundlePath);
    // A row started or ended.
    void progressChanged();
    // The last queued row ended.
    void batchFinished();

private:
    void startNext();
    void runWorkflow(const OutdatedApp &row);
    void runBrew(const QString &token);
    // Ends the running row; the next one starts once the current call stack unwinds.
    void finishRunning(bool succeeded, const QString &reason = {});
    void setState(const QString &bundlePath, Phase phase, const QString &reason = {});

    InstallWorkflowRegistry &m_workflows;
    BrewService &m_brew;
    ConsoleSink m_console;
    QList<OutdatedApp> m_waiting;
    bool m_running = false;
    OutdatedApp m_current;
    QList<QMetaObject::Connection> m_watch;
    QHash<QString, RowState> m_states;
    int m_total = 0;
    int m_succeeded = 0;
    int m_failed = 0;
};
