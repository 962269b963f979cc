#pragma once

class AppStoreService;
class BrewService;
class DownloadManager;
class FontScaleManager;
class InstallerService;
class NginxIndexParser;

// The services a screen may use, created once by the composition root
// (src/app/main.cpp, or a test) and handed down to every screen. Screens
// never reach for the process-wide shared() instances themselves.
struct AppContext
{
    AppStoreService &store;
    DownloadManager &downloads;
    InstallerService &installer;
    BrewService &brew;
    NginxIndexParser &scraper;
    FontScaleManager &fonts;
};
