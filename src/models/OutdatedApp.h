#pragma once

#include <QString>

#include <optional>

#include "models/AppItem.h"
#include "models/InstalledAppInfo.h"

// One installed bundle and the record that offers a newer version of it.
struct OutdatedApp
{
    enum class Kind {
        outdated,    // the record's version is newer: counted
        selfUpdates, // newer, but the app keeps itself current: shown, not counted
        unversioned, // the record says "latest": nothing to compare, shown, not counted
    };

    AppItem app;
    InstalledAppInfo installed;
    // The bundle's version as written, or "0.0.0" when it has none.
    QString installedVersion;
    Kind kind = Kind::outdated;
    // The cask this bundle came from, when Homebrew installed it: brew then
    // updates and removes it, so its records stay true.
    std::optional<QString> caskToken;

    const QString &availableVersion() const { return app.currentVersion; }
    // Why the row is not counted, or that brew updates it; empty otherwise.
    QString note() const;
    bool counted() const { return kind == Kind::outdated; }
    bool operator==(const OutdatedApp &) const = default;
};
