#include "InstallWorkflowRegistry.h"

#include <QCoreApplication>
#include <QPointer>

#include <QtConcurrent/QtConcurrentRun>

#include "services/AppStoreService.h"
#include "services/InstalledDetector.h"

InstallWorkflowRegistry::InstallWorkflowRegistry(AppStoreService &store, DownloadManager &downloads,
                                                 InstallerService &installer, BrewService &brew, QObject *parent)
    : QObject(parent), m_store(store), m_downloads(downloads), m_installer(installer), m_brew(brew)
{
}

InstallWorkflow &InstallWorkflowRegistry::workflow(const AppItem &app)
{
    if (InstallWorkflow *existing = m_workflows.value(app.id)) {
        existing->setApp(app);
        return *existing;
    }
    auto *created = new InstallWorkflow(app, m_store, m_downloads, m_installer, m_brew, this);
    if (m_console)
        created->setConsole(m_console);
    created->setInstallAfterDownload(m_installAfterDownload);
    const QString id = app.id;
    connect(created, &InstallWorkflow::stateChanged, this, [this, id] { Q_EMIT workflowChanged(id); });
    m_workflows.insert(id, created);
    return *created;
}

InstallWorkflow *InstallWorkflowRegistry::find(const QString &appId) const
{
    return m_workflows.value(appId);
}

InstallControlState InstallWorkflowRegistry::state(const AppItem &app) const
{
    return InstallWorkflow::stateFor(app, find(app.id), m_store, m_downloads);
}

void InstallWorkflowRegistry::setConsole(InstallWorkflow::ConsoleSink sink)
{
    m_console = sink;
    for (InstallWorkflow *workflow : std::as_const(m_workflows))
        workflow->setConsole(sink);
}

void InstallWorkflowRegistry::rescanInstalled()
{
    if (m_rescanning || (m_lastRescan.isValid() && m_lastRescan.elapsed() < m_rescanInterval.count()))
        return;
    m_rescanning = true;
    m_lastRescan.start();
    const InstalledDetector &detector = m_store.detector();
    QPointer<InstallWorkflowRegistry> self(this);
    QtConcurrent::run([&detector] { return detector.scanInstalledApps(); })
        // The application outlives the scan; a registry of a test may not.
        .then(QCoreApplication::instance(), [this, self](InstalledAppMap fresh) {
            if (!self)
                return;
            m_rescanning = false;
            // Only a real change redraws every card.
            if (fresh != m_store.installedAppMap())
                m_store.setInstalledAppMap(std::move(fresh));
        })
        .onFailed(QCoreApplication::instance(), [this, self] {
            if (self)
                m_rescanning = false;
        });
}

void InstallWorkflowRegistry::setInstallAfterDownload(bool on)
{
    m_installAfterDownload = on;
    for (InstallWorkflow *workflow : std::as_const(m_workflows))
        workflow->setInstallAfterDownload(on);
}
