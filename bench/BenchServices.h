#pragma once

#include <QList>
#include <QSettings>
#include <QString>

#include "models/AppItem.h"
#include "services/AppStoreService.h"
#include "services/BrewService.h"
#include "services/DownloadManager.h"
#include "services/InstallWorkflowRegistry.h"
#include "services/InstalledDetector.h"
#include "services/InstallerService.h"
#include "services/UpdateCenter.h"
#include "services/NginxIndexParser.h"
#include "services/SourceStore.h"
#include "views/AppContext.h"
#include "views/components/IconCache.h"
#include "views/components/ThemeFont.h"

namespace Bench {

// A library of count made-up records of every kind, as a large catalog has them.
QList<AppItem> makeLibrary(int count);
// Writes apps as the library file of libraryFolder.
void writeLibrary(const QString &libraryFolder, const QList<AppItem> &apps);

// The real services over one folder, put together as main does, for the
// benchmarks that open screens. Homebrew points at a closed port.
struct Services
{
    explicit Services(const QString &home);
    Q_DISABLE_COPY_MOVE(Services)

    QSettings settings;
    FontScaleManager fonts{&settings};
    InstalledDetector detector;
    AppStoreService store;
    DownloadManager downloads;
    InstallerService installer;
    BrewService brew;
    NginxIndexParser scraper;
    IconCache icons;
    InstallWorkflowRegistry workflows{store, downloads, installer, brew};
    SourceStore sources;
    UpdateCenter updates{store, workflows, brew, Caskroom(QStringList())};
    AppContext context{store, downloads, installer, brew, scraper, fonts, icons, workflows, sources, updates};
};

} // namespace Bench
