#include "UpdateQueue.h"

#include <QCoreApplication>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include "models/ZelvoError.h"
#include "services/AppStoreService.h"
#include "services/BrewService.h"
#include "services/ConsoleLine.h"
#include "services/DownloadManager.h"
#include "services/InstallWorkflow.h"
#include "services/InstallWorkflowRegistry.h"
#include "services/InstalledDetector.h"

UpdateQueue::UpdateQueue(InstallWorkflowRegistry &workflows, BrewService &brew, QObject *parent)
    : QObject(parent), m_workflows(workflows), m_brew(brew), m_console(printConsoleLine)
{
}

void UpdateQueue::setConsole(ConsoleSink sink)
{
    m_console = sink ? std::move(sink) : ConsoleSink(printConsoleLine);
}

bool UpdateQueue::enqueue(const OutdatedApp &row)
{
    const QString bundle = row.installed.bundlePath;
    const Phase phase = state(bundle).phase;
    if (phase == Phase::waiting || phase == Phase::running)
        return false;
    if (!isBusy())
        m_total = m_succeeded = m_failed = 0;
    m_waiting.append(row);
    ++m_total;
    setState(bundle, Phase::waiting);
    Q_EMIT progressChanged();
    startNext();
    return true;
}

void UpdateQueue::enqueueAll(const QList<OutdatedApp> &rows)
{
    for (const OutdatedApp &row : rows)
        enqueue(row);
}

QString UpdateQueue::summary() const
{
    return QStringLiteral("%1 个成功，%2 个失败").arg(m_succeeded).arg(m_failed);
}

void UpdateQueue::startNext()
{
    if (m_running)
        return;
    if (m_waiting.isEmpty()) {
        Q_EMIT batchFinished();
        return;
    }
    m_running = true;
    m_current = m_waiting.takeFirst();
    setState(m_current.installed.bundlePath, Phase::running);
    Q_EMIT progressChanged();
    if (m_current.caskToken)
        runBrew(*m_current.caskToken);
    else
        runWorkflow(m_current);
}

void UpdateQueue::runWorkflow(const OutdatedApp &row)
{
    InstallWorkflow &workflow = m_workflows.workflow(row.app);
    DownloadManager &downloads = m_workflows.downloads();
    const QString key = workflow.taskKey();
    // Whatever the screens' setting, an update goes on to install what it fetched.
    workflow.setInstallAfterDownload(true);

    m_watch << connect(&workflow, &InstallWorkflow::installSucceeded, this, [this, &workflow] {
        // The map is fresh by now: a bundle still older than the record was not updated.
        const AppInstallStatus status =
            InstalledDetector::checkStatus(workflow.app(), m_workflows.store().installedAppMap());
        if (status.kind == AppInstallStatus::Kind::updateAvailable)
            finishRunning(false, QStringLiteral("安装后版本仍为 %1").arg(status.installedVersion));
        else
            finishRunning(true);
    });
    m_watch << connect(&workflow, &InstallWorkflow::installFailed, this,
                       [this](const QString &error) { finishRunning(false, error); });
    m_watch << connect(&workflow, &InstallWorkflow::directStepTaken, this,
                       [this, &workflow](InstallWorkflow::DirectStep step) {
                           if (step == InstallWorkflow::DirectStep::noAddress)
                               finishRunning(false, workflow.failure());
                       });
    m_watch << connect(&downloads, &DownloadManager::taskChanged, this, [this, &downloads, key](const QString &changed) {
        if (changed != key)
            return;
        const DownloadTaskItem *task = downloads.find(key);
        if (!task)
            finishRunning(false, QStringLiteral("下载已取消"));
        else if (task->status.kind == DownloadStatus::Kind::failed)
            finishRunning(false, QStringLiteral("下载失败：") + task->status.reason);
    });
    // Started elsewhere (the detail page): its end is this row's end.
    if (!workflow.isInstalling())
        workflow.handleInstall();
}

void UpdateQueue::runBrew(const QString &token)
{
    QPointer<UpdateQueue> self(this);
    m_brew
        .upgradeViaBrew(token,
                        [self](const QString &chunk) {
                            if (self)
                                self->m_console(QStringLiteral("Brew output: ") + chunk);
                        })
        .then(QCoreApplication::instance(),
              [self] {
                  if (!self)
                      return;
                  // brew moved the new bundle in; the detector must see it before the row says so.
                  const InstalledDetector &detector = self->m_workflows.store().detector();
                  QtConcurrent::run([&detector] { return detector.scanInstalledApps(); })
                      .then(QCoreApplication::instance(), [self](InstalledAppMap installed) {
                          if (!self)
                              return;
                          self->m_workflows.store().setInstalledAppMap(std::move(installed));
                          self->finishRunning(true);
                      });
              })
        .onFailed(QCoreApplication::instance(), [self](const std::exception &error) {
            if (self)
                self->finishRunning(false, errorText(error));
        });
}

void UpdateQueue::finishRunning(bool succeeded, const QString &reason)
{
    if (!m_running)
        return;
    for (const auto &connection : std::as_const(m_watch))
        disconnect(connection);
    m_watch.clear();
    if (InstallWorkflow *workflow = m_workflows.find(m_current.app.id))
        workflow->setInstallAfterDownload(m_workflows.installAfterDownload());
    m_running = false;
    succeeded ? ++m_succeeded : ++m_failed;
    setState(m_current.installed.bundlePath, succeeded ? Phase::succeeded : Phase::failed, reason);
    Q_EMIT progressChanged();
    // Out of the signal that ended the row, so the workflow is done with it first.
    QMetaObject::invokeMethod(this, &UpdateQueue::startNext, Qt::QueuedConnection);
}

void UpdateQueue::setState(const QString &bundlePath, Phase phase, const QString &reason)
{
    m_states.insert(bundlePath, RowState{phase, reason});
    Q_EMIT rowChanged(bundlePath);
}
