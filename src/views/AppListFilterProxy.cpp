#include "views/AppListFilterProxy.h"

#include "services/AppStoreService.h"
#include "views/AppListModel.h"

AppListFilterProxy::AppListFilterProxy(AppListModel &source, QObject *parent)
    : QSortFilterProxyModel(parent), m_source(source)
{
    // Rows are filtered only when the filter or the installed map changes;
    // a progress update of one card must not re-run the search.
    setDynamicSortFilter(false);
    setSourceModel(&source);
    connect(&source.store(), &AppStoreService::installedAppMapChanged, this, [this] {
        if (m_filter.onlyInstalled)
            invalidateFilter();
    });
}

void AppListFilterProxy::setOnlyInstalled(bool onlyInstalled)
{
    if (m_filter.onlyInstalled == onlyInstalled)
        return;
    m_filter.onlyInstalled = onlyInstalled;
    invalidateFilter();
}

void AppListFilterProxy::setCategory(const QString &category)
{
    if (m_filter.category == category)
        return;
    m_filter.category = category;
    invalidateFilter();
}

void AppListFilterProxy::setSearchText(const QString &text)
{
    if (m_filter.searchText == text)
        return;
    m_filter.searchText = text;
    invalidateFilter();
}

int AppListFilterProxy::sourceRow(int row) const
{
    return mapToSource(index(row, 0)).row();
}

bool AppListFilterProxy::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (sourceParent.isValid())
        return false;
    return m_filter.matches(m_source.app(sourceRow), m_source.store().installedAppMap());
}
