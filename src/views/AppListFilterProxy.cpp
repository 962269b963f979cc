#include "views/AppListFilterProxy.h"

#include "services/AppStoreService.h"
#include "views/AppListModel.h"

AppListFilterProxy::AppListFilterProxy(AppListModel &source, QObject *parent)
    : QSortFilterProxyModel(parent), m_source(source)
{
    // Rows are filtered only when the filter or the installed map changes;
    // a progress update of one card must not re-run the search. A change
    // refilters everything at once (invalidate) rather than row range by row
    // range: one keystroke may drop thousands of scattered rows.
    setDynamicSortFilter(false);
    setSourceModel(&source);
    connect(&source.store(), &AppStoreService::installedAppMapChanged, this, [this] {
        if (m_filter.onlyInstalled)
            invalidate();
    });
}

void AppListFilterProxy::setOnlyInstalled(bool onlyInstalled)
{
    if (m_filter.onlyInstalled == onlyInstalled)
        return;
    m_filter.onlyInstalled = onlyInstalled;
    invalidate();
}

void AppListFilterProxy::setCategory(const QString &category)
{
    if (m_filter.category == category)
        return;
    m_filter.category = category;
    invalidate();
}

void AppListFilterProxy::setSearchText(const QString &text)
{
    if (m_filter.searchText == text)
        return;
    m_filter.searchText = text;
    invalidate();
}

void AppListFilterProxy::setRowFilter(std::function<bool(int)> accepts)
{
    m_rowFilter = std::move(accepts);
    invalidate();
}

int AppListFilterProxy::sourceRow(int row) const
{
    return mapToSource(index(row, 0)).row();
}

bool AppListFilterProxy::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (sourceParent.isValid() || (m_rowFilter && !m_rowFilter(sourceRow)))
        return false;
    return m_filter.matches(m_source.app(sourceRow), m_source.searchFields(sourceRow),
                            m_source.store().installedAppMap());
}
