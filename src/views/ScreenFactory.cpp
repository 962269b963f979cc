#include "views/ScreenFactory.h"

#include "services/AppStoreService.h"

ScreenFactory::ScreenFactory(AppContext &context) : m_context(context) {}

QWidget *ScreenFactory::create(NavigationItem item, QWidget *parent) const
{
    Q_UNUSED(parent);
    switch (item) {
    case NavigationItem::discover:
    case NavigationItem::installed:
    case NavigationItem::downloads:
    case NavigationItem::importApp:
        break;
    }
    return nullptr;
}
