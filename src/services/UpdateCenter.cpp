#include "UpdateCenter.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include "services/AppStoreService.h"
#include "services/InstallWorkflowRegistry.h"
#include "services/InstallerService.h"
#include "services/InstalledDetector.h"
#include "services/UpdateFinder.h"

namespace {

struct CheckResult
{
    InstalledAppMap installed;
    QHash<QString, QString> casks;
};

} // namespace

UpdateCenter::UpdateCenter(AppStoreService &store, InstallWorkflowRegistry &workflows, BrewService &brew,
                           Caskroom caskroom, QStringList removableFolders, QObject *parent)
    : QObject(parent), m_store(store), m_caskroom(std::move(caskroom)),
      m_candidates([&store] { return QList<QList<AppItem>>{store.apps()}; }), m_queue(workflows, brew),
      m_uninstaller(store, brew, m_caskroom,
                    UninstallService(removableFolders.isEmpty()
                                         ? QStringList{QDir::homePath(), workflows.installer().installFolder()}
                                         : removableFolders))
{
    connect(&store, &AppStoreService::appsChanged, this, &UpdateCenter::recompute);
    connect(&store, &AppStoreService::installedAppMapChanged, this, &UpdateCenter::recompute);
    recompute();
}

void UpdateCenter::setCandidates(CandidateLists candidates)
{
    m_candidates = std::move(candidates);
    recompute();
}

void UpdateCenter::check()
{
    runCheck(true);
}

void UpdateCenter::checkWithKnownInstalls()
{
    runCheck(false);
}

void UpdateCenter::runCheck(bool scanInstalled)
{
    if (m_checking)
        return;
    m_checking = true;
    Q_EMIT checkingChanged();
    const InstalledDetector &detector = m_store.detector();
    QPointer<UpdateCenter> self(this);
    const InstalledAppMap before = m_store.installedAppMap();
    QtConcurrent::run([&detector, caskroom = m_caskroom, scanInstalled, before] {
        return CheckResult{scanInstalled ? detector.scanInstalledApps() : before, caskroom.scan()};
    }).then(QCoreApplication::instance(), [self, before](CheckResult result) {
        // The store may be gone with this center (the services of a test).
        if (!self)
            return;
        self->m_casks = std::move(result.casks);
        AppStoreService &store = self->m_store;
        // A scan published while this one ran (an installation's) is newer
        // than this one; an unchanged map redraws nothing, though the casks
        // may still have changed.
        if (store.installedAppMap() == before && result.installed != before)
            store.setInstalledAppMap(std::move(result.installed));
        else
            self->recompute();
        self->m_checking = false;
        Q_EMIT self->checkingChanged();
    });
}

void UpdateCenter::recompute()
{
    QList<OutdatedApp> outdated = UpdateFinder::find(m_store.installedAppMap(), m_candidates(), m_casks);
    if (outdated == m_outdated)
        return;
    m_outdated = std::move(outdated);
    m_count = UpdateFinder::countedUpdates(m_outdated);
    Q_EMIT outdatedChanged();
}

std::optional<QString> UpdateCenter::installedCask(const AppItem &app) const
{
    const QString token = UpdateFinder::caskTokenOf(app);
    return !token.isEmpty() && m_casks.contains(token) ? std::optional<QString>(token) : std::nullopt;
}
