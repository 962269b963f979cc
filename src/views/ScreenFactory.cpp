#include "views/ScreenFactory.h"

#include "views/AppImportView.h"
#include "views/AppListView.h"
#include "views/DownloadsView.h"
#include "views/UpdatesView.h"

ScreenFactory::ScreenFactory(AppContext &context) : m_context(context) {}

QWidget *ScreenFactory::create(NavigationItem item, QWidget *parent) const
{
    switch (item) {
    case NavigationItem::discover:
        return new AppListView(m_context, false, parent);
    case NavigationItem::installed:
        return new AppListView(m_context, true, parent);
    case NavigationItem::updates:
        return new UpdatesView(m_context, parent);
    case NavigationItem::downloads:
        return new DownloadsView(m_context, parent);
    case NavigationItem::importApp:
        return new AppImportView(m_context, parent);
    case NavigationItem::sources:
        return new AppListView(m_context, AppListView::Mode::sources, parent);
    }
    return nullptr;
}
