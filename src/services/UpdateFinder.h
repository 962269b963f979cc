#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include "models/AppItem.h"
#include "models/InstalledAppInfo.h"
#include "models/OutdatedApp.h"

// Finds the installed apps that a record offers a newer version of. Pure:
// works on what it is handed, so any thread may call it.
class UpdateFinder final
{
public:
    // Candidate records come in lists in order of trust (the library first,
    // then catalog sources); each bundle is judged by the first record that
    // matches it (bundle identifier, else bundle file name), in list order.
    // casks: the tokens Homebrew installed, with their versions.
    // The result lists each bundle once, in the order its record was met.
    static QList<OutdatedApp> find(const InstalledAppMap &installed, const QList<QList<AppItem>> &candidates,
                                   const QHash<QString, QString> &casks = {});

    // The token brew knows the record by: its brewName, or for a Homebrew
    // record without one, its id. Empty for a record that names no cask.
    static QString caskTokenOf(const AppItem &app);

    // How many of the rows are updates the user owes (not self-updating, not "latest").
    static int countedUpdates(const QList<OutdatedApp> &rows);
};
