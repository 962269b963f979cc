#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

#include "models/AppItem.h"

// One entry of the package cache folder, as the last rescan saw it.
struct LocalPackage
{
    QString filePath; // absolute path; also the identity
    QString fileName; // last path component of filePath
    qint64 fileSize = 0;
    QString formattedSize;  // fileSize through ByteFormat::fileSize
    QDateTime creationDate; // birth time where the file system keeps one, else the modification time
    // What the package was downloaded for, as remembered on the file itself;
    // absent for files that came from elsewhere or lost their attributes.
    std::optional<QString> appId;
    std::optional<QString> appName;
    std::optional<QString> version;
    PackageType packageType = PackageType::unknown; // from the extension; never brew
    // A download's hidden partial file that no transfer is writing any more
    // (the process ended mid-way): not a package, only space to reclaim.
    bool unfinished = false;
    // Its bytes matched the record's SHA-256 when it was downloaded.
    bool verified = false;

    QString id() const { return filePath; }
    bool operator==(const LocalPackage &) const = default;

    // "dmg", "pkg", "zip" (any case) give their type; anything else is unknown.
    static PackageType packageTypeForFileName(const QString &fileName);
};

size_t qHash(const LocalPackage &package, size_t seed = 0);
