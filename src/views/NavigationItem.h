#pragma once

#include <QList>
#include <QString>

// The destinations of the sidebar (Navigation::allItems() gives their order).
enum class NavigationItem { discover, installed, downloads, importApp, sources, updates };

namespace Navigation {

// Every destination in sidebar order.
const QList<NavigationItem> &allItems();
// The raw value, also the item's identity: "discover", "installed", "downloads", "importApp", "sources",
// "updates".
QString id(NavigationItem item);
QString title(NavigationItem item);
// The symbol name shown beside the title (see Symbols).
QString iconName(NavigationItem item);

} // namespace Navigation
