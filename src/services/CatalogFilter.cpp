#include "CatalogFilter.h"

#include <QSet>

#include "services/InstalledDetector.h"

CatalogFilter::SearchFields CatalogFilter::SearchFields::of(const AppItem &app)
{
    SearchFields fields{app.name.toLower(), std::nullopt, app.id.toLower(), app.summary.toLower()};
    if (app.chineseName)
        fields.chineseName = app.chineseName->toLower();
    return fields;
}

bool CatalogFilter::matches(const AppItem &app, const InstalledAppMap &installedMap) const
{
    return matches(app, SearchFields::of(app), installedMap);
}

bool CatalogFilter::matches(const AppItem &app, const SearchFields &fields, const InstalledAppMap &installedMap) const
{
    if (onlyInstalled && !InstalledDetector::checkStatus(app, installedMap).isInstalledOrUpdatable())
        return false;
    if (category != allCategory() && app.category != category)
        return false;
    if (searchText.isEmpty())
        return true;
    const QString needle = searchText.toLower();
    return fields.name.contains(needle) || (fields.chineseName && fields.chineseName->contains(needle)) ||
           fields.id.contains(needle) || fields.summary.contains(needle);
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
