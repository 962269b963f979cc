#include "views/ScreenFactory.h"

#include "views/AppImportView.h"
#include "views/DownloadsView.h"

ScreenFactory::ScreenFactory(AppContext &context) : m_context(context) {}

QWidget *ScreenFactory::create(NavigationItem item, QWidget *parent) const
{
    switch (item) {
    case NavigationItem::downloads:
        return new DownloadsView(m_context, parent);
    case NavigationItem::importApp:
        return new AppImportView(m_context, parent);
    case NavigationItem::discover:
    case NavigationItem::installed:
        break;
    }
    return nullptr;
}
