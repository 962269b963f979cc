#pragma once

#include <QList>
#include <QString>

// The destinations of the sidebar, in sidebar order.
enum class NavigationItem { discover, installed, updates, downloads, importApp };

namespace Navigation {

// Every destination in sidebar order.
const QList<NavigationItem> &allItems();
// The raw value, also the item's identity: "discover", "installed", "updates", "downloads", "importApp".
QString id(NavigationItem item);
QString title(NavigationItem item);
// The symbol name shown beside the title (see Symbols).
QString iconName(NavigationItem item);

} // namespace Navigation
