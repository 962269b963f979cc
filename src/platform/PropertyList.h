#pragma once

#include <QHash>
#include <QString>

#include <optional>

namespace PropertyList {

// The text values at the top level of a property list file (XML or binary).
// Values of other types are left out, so callers can fall back key by key.
// Nothing when the file is missing, unreadable, malformed or not a dictionary.
std::optional<QHash<QString, QString>> readTopLevelStrings(const QString &path);

} // namespace PropertyList
