#include "views/NavigationItem.h"

namespace Navigation {

const QList<NavigationItem> &allItems()
{
    static const QList<NavigationItem> items = {NavigationItem::discover, NavigationItem::sources,
                                                NavigationItem::installed, NavigationItem::updates,
                                                NavigationItem::downloads, NavigationItem::importApp};
    return items;
}

QString id(NavigationItem item)
{
    switch (item) {
    case NavigationItem::discover:
        return QStringLiteral("discover");
    case NavigationItem::installed:
        return QStringLiteral("installed");
    case NavigationItem::updates:
        return QStringLiteral("updates");
    case NavigationItem::downloads:
        return QStringLiteral("downloads");
    case NavigationItem::importApp:
        return QStringLiteral("importApp");
    case NavigationItem::sources:
        return QStringLiteral("sources");
    }
    Q_UNREACHABLE();
}

QString title(NavigationItem item)
{
    switch (item) {
    case NavigationItem::discover:
        return QStringLiteral("发现应用");
    case NavigationItem::installed:
        return QStringLiteral("已安装");
    case NavigationItem::updates:
        return QStringLiteral("可更新");
    case NavigationItem::downloads:
        return QStringLiteral("下载管理");
    case NavigationItem::importApp:
        return QStringLiteral("应用录入");
    case NavigationItem::sources:
        return QStringLiteral("软件源");
    }
    Q_UNREACHABLE();
}

QString iconName(NavigationItem item)
{
    switch (item) {
    case NavigationItem::discover:
        return QStringLiteral("bag");
    case NavigationItem::installed:
        return QStringLiteral("arrow.down.app");
    case NavigationItem::updates:
        return QStringLiteral("arrow.triangle.2.circlepath");
    case NavigationItem::downloads:
        return QStringLiteral("arrow.down.circle");
    case NavigationItem::importApp:
        return QStringLiteral("plus.circle");
    case NavigationItem::sources:
        return QStringLiteral("globe");
    }
    Q_UNREACHABLE();
}

} // namespace Navigation
