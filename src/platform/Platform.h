#pragma once

#include <QString>
#include <QStringList>

// The folders this app reads and writes, as the operating system names them.
// Every service takes its folders as constructor arguments; only the
// composition roots (the window's main and the command line) ask here.
namespace Platform {

// Folder holding "apps.json": the user's application-support (macOS) or data (Linux) folder + "ZelvoAppStore".
QString libraryFolder();
// The package cache: the user's caches folder + "ZelvoAppStore/Downloads".
QString packageCacheFolder();
// Folders scanned for installed bundles, in scan order.
QStringList applicationFolders();
// Where bundles are installed: /Applications on macOS, ~/Applications on Linux.
QString installTargetFolder();

} // namespace Platform
