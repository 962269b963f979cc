#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

#include "models/AppItem.h"

// The parts of one Homebrew cask object a record is made of, taken out by
// whichever JSON reader holds the object: the per-cask lookup reads one
// object with Qt, the whole-catalog load reads thousands with a faster
// parser. Both fill this with the same rules, and one function turns it into
// a record, so a cask looks the same whichever road it came by.
//
// Rules for every reader: a key that is missing or of another JSON type is
// absent; `name` counts only as a non-empty array made only of strings;
// `artifacts` counts only as an array made only of objects, and gives the
// first string of the first `app` entry that is a non-empty array of strings.
struct CaskFields
{
    std::optional<QString> token;
    std::optional<QString> firstName;
    std::optional<QString> desc;
    std::optional<QString> homepage;
    std::optional<QString> url;
    std::optional<QString> version;
    std::optional<QString> appFilename;
    // The package's SHA-256 in hex, or "no_check" for a package that changes in place.
    std::optional<QString> sha256;
    // The app updates itself: a newer cask version is no update the store owes.
    bool autoUpdates = false;

    static CaskFields of(const QJsonObject &json);
};

namespace CaskRecord {

// The record for a cask. Never fails: an address that is not a web address
// counts as absent.
AppItem toApp(const QString &token, const CaskFields &fields);

} // namespace CaskRecord
