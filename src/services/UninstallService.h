#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>

// Removes an installed app the way the user can undo: its bundle, and the
// leftovers they chose, go to the platform's Trash. Only what lies inside
// the allowed folders (the user's home and the install folder) is touched,
// and no symbolic link is followed out of them. An app that is running is
// refused before anything moves. Stateless; any thread may use it (the
// moves block, so callers run them on the pool).
class UninstallService final
{
public:
    using RunningCheck = std::function<bool(const QString &bundlePath)>;

    // allowedFolders: the user's home and the install folder.
    explicit UninstallService(QStringList allowedFolders, RunningCheck isRunning = defaultRunningCheck());

    static RunningCheck defaultRunningCheck();

    // The paths a cask's zap stanza names for trashing or deleting, as written ("~/Library/…").
    static QStringList zapPatterns(const QJsonObject &cask);
    // Those paths that exist and may be removed: "~" expanded, a wildcard
    // in the last part matched against its folder, the rest left out.
    QStringList leftovers(const QJsonObject &cask) const;
    // Inside an allowed folder (never one itself) through real folders only.
    bool mayRemove(const QString &path) const;

    // Throws ZelvoError when the app runs or the bundle may not be removed.
    void checkRemovable(const QString &bundlePath) const;
    // Moves the bundle to the Trash after checkRemovable. Throws ZelvoError.
    void trashBundle(const QString &bundlePath) const;
    // Moves each allowed leftover to the Trash; what could not be moved, one text per path.
    QStringList trashLeftovers(const QStringList &paths) const;

private:
    QStringList m_allowed; // canonical
    RunningCheck m_isRunning;
};
