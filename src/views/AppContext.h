#pragma once

class AppStoreService;
class BrewService;
class DownloadManager;
class FontScaleManager;
class IconCache;
class InstallerService;
class InstallWorkflowRegistry;
class NginxIndexParser;

// The services a screen may use, created once by the composition root
// (src/app/main.cpp, or a test) and handed down to every screen. Screens
// never reach for the process-wide shared() instances themselves, and every
// long-lived object is one of these, so none outlives the application object.
struct AppContext
{
    AppStoreService &store;
    DownloadManager &downloads;
    InstallerService &installer;
    BrewService &brew;
    NginxIndexParser &scraper;
    FontScaleManager &fonts;
    // One icon cache for every card and page, so an icon is loaded once.
    IconCache &icons;
    // One workflow per record, shared by every control that shows it.
    InstallWorkflowRegistry &workflows;
};
