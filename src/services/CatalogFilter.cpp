#include "CatalogFilter.h"

#include <QSet>

#include "services/InstalledDetector.h"

bool CatalogFilter::matches(const AppItem &app, const InstalledAppMap &installedMap) const
{
    if (onlyInstalled && !InstalledDetector::checkStatus(app, installedMap).isInstalledOrUpdatable())
        return false;
    if (category != allCategory() && app.category != category)
        return false;
    if (searchText.isEmpty())
        return true;
    const QString needle = searchText.toLower();
    return app.name.toLower().contains(needle) ||
           (app.chineseName && app.chineseName->toLower().contains(needle)) || app.id.toLower().contains(needle) ||
           app.summary.toLower().contains(needle);
}

QList<AppItem> CatalogFilter::apply(const QList<AppItem> &apps, const InstalledAppMap &installedMap) const
{
    QList<AppItem> result;
    for (const auto &app : apps)
        if (matches(app, installedMap))
            result.append(app);
    return result;
}

QStringList CatalogFilter::allCategories(const QList<AppItem> &apps)
{
    QSet<QString> seen;
    for (const auto &app : apps)
        seen.insert(app.category);
    seen.remove(allCategory());
    QStringList sorted(seen.begin(), seen.end());
    // Code-point order, not QString's UTF-16 order: the two differ only for
    // characters outside the basic plane, but that is where they differ.
    std::sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) {
        const auto x = a.toUcs4();
        const auto y = b.toUcs4();
        return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end());
    });
    sorted.prepend(allCategory());
    return sorted;
}
