#pragma once

#include <QList>
#include <QStringList>

#include "models/AppItem.h"

// Library records as tests write and compare them.
namespace TestRecords {

// The smallest record that decodes: a direct DMG named "N<id>"; extra is spliced in as further keys (",\"k\":v").
inline QByteArray json(const QString &id, const QString &version = QStringLiteral("1.0"), const QString &extra = {})
{
    return QStringLiteral(R"({"id":"%1","name":"N%1","category":"c","summary":"s","description":"d",
        "sourceType":"direct","currentVersion":"%2","packageType":"dmg"%3})")
        .arg(id, version, extra)
        .toUtf8();
}

inline QStringList ids(const QList<AppItem> &apps)
{
    QStringList list;
    for (const AppItem &app : apps)
        list << app.id;
    return list;
}

} // namespace TestRecords
