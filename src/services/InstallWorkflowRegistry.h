#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include "models/AppItem.h"
#include "models/InstallControlState.h"
#include "services/InstallWorkflow.h"

class AppStoreService;
class BrewService;
class DownloadManager;
class InstallerService;

// The workflows of one set of services, one per record id, created on first
// use and kept for the run. Controls and list delegates reach the workflow of
// a record here instead of owning it, so every control of a record shows the
// same state.
class InstallWorkflowRegistry final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InstallWorkflowRegistry)

public:
    InstallWorkflowRegistry(AppStoreService &store, DownloadManager &downloads, InstallerService &installer,
                            BrewService &brew, QObject *parent = nullptr);

    // The registry attached to these services, made on first request and
    // owned by the store, so screens sharing the services share it too.
    static InstallWorkflowRegistry &of(AppStoreService &store, DownloadManager &downloads, InstallerService &installer,
                                       BrewService &brew);

    // The record's workflow (made on first use), holding this copy of the record.
    InstallWorkflow &workflow(const AppItem &app);
    // The workflow of a record id if one was made.
    InstallWorkflow *find(const QString &appId) const;
    // What a control of app shows now; makes no workflow.
    InstallControlState state(const AppItem &app) const;

    AppStoreService &store() const { return m_store; }
    DownloadManager &downloads() const { return m_downloads; }
    InstallerService &installer() const { return m_installer; }

    // Applies to existing and future workflows.
    void setConsole(InstallWorkflow::ConsoleSink sink);
    void setInstallAfterDownload(bool on);
    bool installAfterDownload() const { return m_installAfterDownload; }

Q_SIGNALS:
    // The transient state (installing, failure) of this record's workflow changed.
    void workflowChanged(const QString &appId);

private:
    AppStoreService &m_store;
    DownloadManager &m_downloads;
    InstallerService &m_installer;
    BrewService &m_brew;
    InstallWorkflow::ConsoleSink m_console;
    bool m_installAfterDownload = false;
    QHash<QString, InstallWorkflow *> m_workflows;
};
