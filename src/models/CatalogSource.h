#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

// What a catalog source serves.
enum class CatalogKind {
    // Homebrew's list of every cask object (cask.json), or the signed
    // envelope whose payload is that list (cask.jws.json).
    brewCasks,
    // Records in the library's own format: an array of records, or an
    // object {"name", "homepage", "apps": [records]}.
    library,
};

// A remote catalog the store keeps a local copy of, and what it knows of the
// last refresh.
struct CatalogSource
{
    QString id;
    QString name;
    CatalogKind kind = CatalogKind::library;
    // The catalog's address; empty for Homebrew, whose address follows the API base.
    QString url;
    std::optional<QString> homepage;
    // The validators of the copy kept, and the address they belong to: a
    // validator sent to another address would mean nothing there.
    QString etag;
    QString lastModified;
    QString fetchedFrom;
    // The last refresh that ended with a usable answer (new content or "not modified").
    std::optional<QDateTime> checkedAt;
    int recordCount = 0;
    int skipped = 0;
    // Why the last refresh failed; empty when it did not.
    QString error;

    bool operator==(const CatalogSource &) const = default;

    QJsonObject toJson() const;
    // Nothing when the object lacks an id or has an unknown kind.
    static std::optional<CatalogSource> fromJson(const QJsonObject &object);

    // "Homebrew Cask" or "应用目录".
    QString kindText() const;
};
