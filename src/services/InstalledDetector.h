#pragma once

#include <QStringList>

#include <optional>

#include "models/AppInstallStatus.h"
#include "models/AppItem.h"
#include "models/InstalledAppInfo.h"

// Finds the application bundles in the application folders and compares their
// versions with the catalog. Holds no mutable state, so any thread may use it.
class InstalledDetector final
{
public:
    // Folders scanned, in order; a later folder's bundle wins over an earlier one's.
    explicit InstalledDetector(QStringList applicationFolders);

    static InstalledDetector &shared();

    const QStringList &applicationFolders() const { return m_folders; }

    InstalledAppMap scanInstalledApps() const;
    static AppInstallStatus checkStatus(const AppItem &app, const InstalledAppMap &installedMap);
    // The bundle the record stands for: by bundle identifier, else by bundle
    // file name (or the record's name); null when none is installed.
    static const InstalledAppInfo *findMatch(const AppItem &app, const InstalledAppMap &installedMap);

    static std::optional<InstalledAppInfo> readAppInfo(const QString &bundlePath);
    static QString normalizeVersion(const QString &text);
    static bool isVersionOlder(const QString &a, const QString &b);

private:
    QStringList m_folders;
};
