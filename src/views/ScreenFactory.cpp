#include "views/ScreenFactory.h"

#include "views/AppImportView.h"

ScreenFactory::ScreenFactory(AppContext &context) : m_context(context) {}

QWidget *ScreenFactory::create(NavigationItem item, QWidget *parent) const
{
    switch (item) {
    case NavigationItem::discover:
    case NavigationItem::installed:
    case NavigationItem::downloads:
        break;
    case NavigationItem::importApp:
        return new AppImportView(m_context, parent);
    }
    return nullptr;
}
