#pragma once

class AppStoreService;
class BrewService;
class DownloadManager;
class FontScaleManager;
class IconCache;
class InstallerService;
class InstallWorkflowRegistry;
class NginxIndexParser;
class SourceStore;
class UpdateCenter;

// The services a screen may use, created once by the composition root
// (src/app/main.cpp, or a test) and handed down to every screen. Screens
// never reach for the process-wide shared() instances themselves, nor find
// a long-lived object among another's children: every one a reader needs to
// know of is here.
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
    // The catalog sources' records, shown beside the library.
    SourceStore &sources;
    // The apps with newer versions, and the queue that updates them.
    UpdateCenter &updates;
};
