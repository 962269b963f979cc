#pragma once

#include <QSortFilterProxyModel>

#include <functional>

#include "services/CatalogFilter.h"

class AppListModel;

// The rows of an AppListModel that pass the screen's category, search and
// installed-only filter, in library order. The rule itself is CatalogFilter,
// the same code the command line runs.
class AppListFilterProxy final : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppListFilterProxy)

public:
    explicit AppListFilterProxy(AppListModel &source, QObject *parent = nullptr);

    const CatalogFilter &filter() const { return m_filter; }
    void setOnlyInstalled(bool onlyInstalled);
    void setCategory(const QString &category);
    void setSearchText(const QString &text);
    // A further rule over rows of the source model (which catalog source a
    // row came from); none keeps every row.
    void setRowFilter(std::function<bool(int sourceRow)> accepts);

    AppListModel &appModel() const { return m_source; }
    // The source row behind a row of this model.
    int sourceRow(int row) const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    AppListModel &m_source;
    CatalogFilter m_filter;
    std::function<bool(int)> m_rowFilter;
};
