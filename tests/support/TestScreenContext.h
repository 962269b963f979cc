#pragma once

#include <QSettings>

#include "support/TestServices.h"
#include "views/AppContext.h"
#include "views/components/IconCache.h"
#include "views/components/ThemeFont.h"

// The context a screen receives, over TestServices, with a text-scale
// manager of its own. For tests of screens (they link the UI library).
struct TestScreenContext
{
    TestServices rig;
    QSettings settings{rig.root.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    FontScaleManager fonts{&settings};
    IconCache icons{rig.root.filePath(QStringLiteral("icons"))};
    AppContext context{*rig.store, *rig.downloads, *rig.installer, *rig.brew, *rig.scraper, fonts, icons, *rig.registry,
                       *rig.sources, *rig.updates};
};
