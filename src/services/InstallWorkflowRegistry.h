#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>

#include <chrono>

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

    // Rescans the installed bundles on the thread pool and hands the store
    // the result if it differs. A package handed to the system installer
    // finishes outside this app, so the window asks whenever the user comes
    // back; requests while a scan runs, or within rescanInterval of the last
    // one starting, are covered by that scan.
    void rescanInstalled();
    void setRescanInterval(std::chrono::milliseconds interval) { m_rescanInterval = interval; }
    static constexpr std::chrono::milliseconds defaultRescanInterval{1000};

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
    std::chrono::milliseconds m_rescanInterval = defaultRescanInterval;
    QElapsedTimer m_lastRescan;
    bool m_rescanning = false;
};
