#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

#include "models/AppItem.h"
#include "models/OutdatedApp.h"
#include "services/Caskroom.h"
#include "services/Uninstaller.h"
#include "services/UpdateQueue.h"

class AppStoreService;
class BrewService;
class InstallWorkflowRegistry;

// The installed apps a newer version is known for, kept current: checked
// (installed bundles and Homebrew's casks read on the thread pool) on
// request, and worked out again whenever the library or the installed map
// changes. Owns the queue that runs the updates and the uninstaller, which
// both need to know what Homebrew installed. Main thread only.
class UpdateCenter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UpdateCenter)

public:
    // The candidate records, most trusted list first.
    using CandidateLists = std::function<QList<QList<AppItem>>()>;

    // removableFolders: where uninstalling may move things to the Trash;
    // empty means the user's home and the installer's folder.
    UpdateCenter(AppStoreService &store, InstallWorkflowRegistry &workflows, BrewService &brew,
                 Caskroom caskroom = Caskroom(), QStringList removableFolders = {}, QObject *parent = nullptr);

    // Replaces the default (the library alone); call check() afterwards.
    void setCandidates(CandidateLists candidates);

    const QList<OutdatedApp> &outdated() const { return m_outdated; }
    // The rows that are updates the user owes; what the sidebar badge shows.
    int count() const { return m_count; }
    // Installed cask tokens and versions, as of the last check.
    const QHash<QString, QString> &casks() const { return m_casks; }
    const Caskroom &caskroom() const { return m_caskroom; }
    bool isChecking() const { return m_checking; }

    // Rescans the installed bundles and the Caskroom off the main thread,
    // then publishes. A request while a check runs is covered by it.
    void check();
    // The same with the installed map the store already holds: at start-up, right
    // after the store's own scan, only the Caskroom is read.
    void checkWithKnownInstalls();
    // Works the list out again from the candidates, when only they changed.
    void recompute();

    UpdateQueue &queue() { return m_queue; }
    Uninstaller &uninstaller() { return m_uninstaller; }
    // The cask Homebrew installed app from, as of the last check.
    std::optional<QString> installedCask(const AppItem &app) const;

Q_SIGNALS:
    void outdatedChanged();
    void checkingChanged();

private:
    void runCheck(bool scanInstalled);

    AppStoreService &m_store;
    Caskroom m_caskroom;
    CandidateLists m_candidates;
    UpdateQueue m_queue;
    Uninstaller m_uninstaller;
    QList<OutdatedApp> m_outdated;
    QHash<QString, QString> m_casks;
    int m_count = 0;
    bool m_checking = false;
};
