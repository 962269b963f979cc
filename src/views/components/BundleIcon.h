#pragma once

#include <QImage>
#include <QString>

// The icon an installed application bundle carries, as the system shows it:
// on macOS the workspace's icon for the bundle, elsewhere the .icns file its
// Info.plist names, read through Qt's image plugins.
class BundleIcon final
{
public:
    // The icon at about pixelSize × pixelSize; a null image when the bundle
    // has none that can be read.
    static QImage load(const QString &bundlePath, int pixelSize);
    // Whether load() may run on a pool thread (the macOS icon provider may not).
    static bool loadsOnAnyThread();
};
