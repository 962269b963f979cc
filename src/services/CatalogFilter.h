#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

#include "models/AppItem.h"
#include "models/InstalledAppInfo.h"

// The catalog's category and search filter, shared by the list screens and
// the command line so both always agree on what matches.
struct CatalogFilter
{
    static QString allCategory() { return QStringLiteral("全部"); }

    bool onlyInstalled = false;
    QString category = allCategory(); // "全部" means every category
    QString searchText;               // not trimmed: a single space is a real search

    // The texts the search looks at, lower-cased. A list that refilters the
    // same records on every keystroke prepares them once per record.
    struct SearchFields
    {
        QString name;
        std::optional<QString> chineseName;
        QString id;
        QString summary;

        static SearchFields of(const AppItem &app);
    };

    bool matches(const AppItem &app, const InstalledAppMap &installedMap) const;
    bool matches(const AppItem &app, const SearchFields &fields, const InstalledAppMap &installedMap) const;
    QList<AppItem> apply(const QList<AppItem> &apps, const InstalledAppMap &installedMap) const;

    // "全部" first, then every category present once, in plain code-point order.
    static QStringList allCategories(const QList<AppItem> &apps);
};
