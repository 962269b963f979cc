#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QString>

#include "models/AppInstallStatus.h"
#include "models/AppItem.h"
#include "models/InstallControlState.h"
#include "services/CatalogFilter.h"

class AppStoreService;
class InstallWorkflowRegistry;
class SourceStore;

// The library's records as a list model for the catalog screens, one row per
// record in library order. It keeps its own (implicitly shared) copy of the
// store's list so rows never change under a view between two notifications.
//
// The install status is not stored: it is worked out from the store's
// installed map, the download records and the record's install workflow each
// time it is asked for, so a change only has to say which rows it touched:
// all of them after a fresh scan, the record's rows when one of its downloads
// or its workflow changes.
class AppListModel final : public QAbstractListModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppListModel)

public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        AppRole,    // AppItem
        StatusRole,       // AppInstallStatus from the detector
        InstallStateRole, // InstallControlState: what the install control shows
    };
    Q_ENUM(Role)

    explicit AppListModel(InstallWorkflowRegistry &registry, QObject *parent = nullptr);
    // The records of the catalog sources instead of the library's.
    AppListModel(InstallWorkflowRegistry &registry, SourceStore &sources, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    AppStoreService &store() const;
    InstallWorkflowRegistry &registry() const { return m_registry; }
    // Valid for 0 ≤ row < rowCount().
    const AppItem &app(int row) const { return m_apps.at(row); }
    AppInstallStatus status(int row) const;
    InstallControlState installState(int row) const;
    // The record's searched texts, lower-cased once when the library changes.
    const CatalogFilter::SearchFields &searchFields(int row) const { return m_searchFields.at(row); }
    // The rows holding a record with this id (normally one).
    QList<int> rowsOf(const QString &appId) const { return m_rowsById.values(appId); }

    // Tells views that what rows of appId show (install control, status) changed.
    void notifyAppChanged(const QString &appId, const QList<int> &roles = {});
    // The same for every row, e.g. after a fresh installed scan.
    void notifyAllChanged(const QList<int> &roles = {});

private:
    AppListModel(InstallWorkflowRegistry &registry, SourceStore *sources, QObject *parent);
    void reload();
    void downloadChanged(const QString &key);

    InstallWorkflowRegistry &m_registry;
    SourceStore *m_sources = nullptr;
    // The record id of every download key seen, for the notice that one is gone.
    QHash<QString, QString> m_downloadApps;
    QList<AppItem> m_apps;
    QList<CatalogFilter::SearchFields> m_searchFields;
    QMultiHash<QString, int> m_rowsById;
};
