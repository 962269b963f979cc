#pragma once

#include <QHash>
#include <QString>

#include <optional>

// One application bundle found on disk.
struct InstalledAppInfo
{
    QString name;
    std::optional<QString> bundleId;
    std::optional<QString> version;
    QString bundlePath;

    bool operator==(const InstalledAppInfo &) const = default;
};

// Keyed by the lower-cased bundle identifier and the lower-cased bundle file
// name without ".app"; both keys hold a copy of the same record.
using InstalledAppMap = QHash<QString, InstalledAppInfo>;
