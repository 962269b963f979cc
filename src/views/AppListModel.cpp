#include "views/AppListModel.h"

#include "services/AppStoreService.h"
#include "services/DownloadManager.h"
#include "services/InstallWorkflowRegistry.h"
#include "services/InstalledDetector.h"
#include "services/SourceStore.h"

AppListModel::AppListModel(InstallWorkflowRegistry &registry, QObject *parent)
    : AppListModel(registry, nullptr, parent)
{
}

AppListModel::AppListModel(InstallWorkflowRegistry &registry, SourceStore &sources, QObject *parent)
    : AppListModel(registry, &sources, parent)
{
}

AppListModel::AppListModel(InstallWorkflowRegistry &registry, SourceStore *sources, QObject *parent)
    : QAbstractListModel(parent), m_registry(registry), m_sources(sources)
{
    reload();
    if (sources)
        connect(sources, &SourceStore::recordsChanged, this, &AppListModel::reload);
    else
        connect(&store(), &AppStoreService::appsChanged, this, &AppListModel::reload);
    connect(&store(), &AppStoreService::installedAppMapChanged, this,
            [this] { notifyAllChanged({StatusRole, InstallStateRole, Qt::DecorationRole}); });
    connect(&registry.downloads(), &DownloadManager::taskChanged, this, &AppListModel::downloadChanged);
    connect(&registry, &InstallWorkflowRegistry::workflowChanged, this,
            [this](const QString &appId) { notifyAppChanged(appId, {InstallStateRole}); });
}

AppStoreService &AppListModel::store() const
{
    return m_registry.store();
}

int AppListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_apps.size());
}

QVariant AppListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const AppItem &item = m_apps.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return item.displayName();
    case Qt::ToolTipRole:
        return item.summary.isEmpty() ? item.description : item.summary;
    case IdRole:
        return item.id;
    case AppRole:
        return QVariant::fromValue(item);
    case StatusRole:
        return QVariant::fromValue(status(index.row()));
    case InstallStateRole:
        return QVariant::fromValue(installState(index.row()));
    default:
        return {};
    }
}

QHash<int, QByteArray> AppListModel::roleNames() const
{
    auto names = QAbstractListModel::roleNames();
    names.insert(IdRole, "appId");
    names.insert(AppRole, "app");
    names.insert(StatusRole, "status");
    names.insert(InstallStateRole, "installState");
    return names;
}

AppInstallStatus AppListModel::status(int row) const
{
    return InstalledDetector::checkStatus(m_apps.at(row), store().installedAppMap());
}

InstallControlState AppListModel::installState(int row) const
{
    return m_registry.state(m_apps.at(row));
}

void AppListModel::downloadChanged(const QString &key)
{
    if (const DownloadTaskItem *task = m_registry.downloads().find(key))
        m_downloadApps.insert(key, task->appId);
    if (const auto appId = m_downloadApps.constFind(key); appId != m_downloadApps.cend())
        notifyAppChanged(*appId, {InstallStateRole});
}

void AppListModel::notifyAppChanged(const QString &appId, const QList<int> &roles)
{
    for (int row : m_rowsById.values(appId)) {
        const QModelIndex changed = index(row);
        Q_EMIT dataChanged(changed, changed, roles);
    }
}

void AppListModel::notifyAllChanged(const QList<int> &roles)
{
    if (!m_apps.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_apps.size()) - 1), roles);
}

void AppListModel::reload()
{
    beginResetModel();
    m_apps = m_sources ? m_sources->records() : store().apps();
    m_rowsById.clear();
    m_rowsById.reserve(m_apps.size());
    m_searchFields.clear();
    m_searchFields.reserve(m_apps.size());
    for (int row = 0; row < m_apps.size(); ++row) {
        m_rowsById.insert(m_apps.at(row).id, row);
        m_searchFields.append(CatalogFilter::SearchFields::of(m_apps.at(row)));
    }
    endResetModel();
}
