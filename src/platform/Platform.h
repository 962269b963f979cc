#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QSettings;

// The folders this app reads and writes, as the operating system names them.
// Every service takes its folders as constructor arguments; only the
// composition roots (the window's main and the command line) ask here.
// Scripts and tests move the user's own data with one environment variable
// each (ZELVO_LIBRARY_DIR, ZELVO_CACHE_DIR, ZELVO_SETTINGS_FILE): on macOS
// the standard folders ignore HOME, so nothing else keeps a test run away
// from the real library.
namespace Platform {

// Folder holding "apps.json": the user's application-support (macOS) or data (Linux) folder + "ZelvoAppStore".
QString libraryFolder();
// The package cache: the user's caches folder + "ZelvoAppStore/Downloads".
QString packageCacheFolder();
// The user's settings: the user defaults under the bundle identifier on
// macOS, ~/.config/ZelvoAppStore/ZelvoAppStore.conf on Linux.
std::unique_ptr<QSettings> openSettings();
// Folders scanned for installed bundles, in scan order.
QStringList applicationFolders();
// Where bundles are installed: /Applications on macOS, ~/Applications on Linux.
QString installTargetFolder();
// Sends every network request of the process (downloads, listing pages,
// icons, the Homebrew API) through the proxy the system is set to use: the
// network settings on macOS, http_proxy / https_proxy / no_proxy on Linux.
// Called once at start, before the first request.
void useSystemProxy();

} // namespace Platform
