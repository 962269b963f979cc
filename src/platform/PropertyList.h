#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

namespace PropertyList {

// The text values of the given top-level keys of a property list file (XML or
// binary). Keys that are absent or hold another type are left out, so callers
// can fall back key by key. Nothing when the file is missing, unreadable,
// malformed or not a dictionary. Asking only for the keys needed keeps a scan
// of a thousand bundles cheap.
std::optional<QHash<QString, QString>> readTopLevelStrings(const QString &path, const QList<const char *> &keys);

} // namespace PropertyList
