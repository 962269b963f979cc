#include "InstallWorkflowRegistry.h"

#include "services/AppStoreService.h"

InstallWorkflowRegistry::InstallWorkflowRegistry(AppStoreService &store, DownloadManager &downloads,
                                                 InstallerService &installer, BrewService &brew, QObject *parent)
    : QObject(parent), m_store(store), m_downloads(downloads), m_installer(installer), m_brew(brew)
{
}

InstallWorkflowRegistry &InstallWorkflowRegistry::of(AppStoreService &store, DownloadManager &downloads,
                                                     InstallerService &installer, BrewService &brew)
{
    const auto attached = store.findChildren<InstallWorkflowRegistry *>(Qt::FindDirectChildrenOnly);
    for (InstallWorkflowRegistry *registry : attached) {
        if (&registry->m_downloads == &downloads && &registry->m_installer == &installer && &registry->m_brew == &brew)
            return *registry;
    }
    return *new InstallWorkflowRegistry(store, downloads, installer, brew, &store);
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

void InstallWorkflowRegistry::setInstallAfterDownload(bool on)
{
    m_installAfterDownload = on;
    for (InstallWorkflow *workflow : std::as_const(m_workflows))
        workflow->setInstallAfterDownload(on);
}
