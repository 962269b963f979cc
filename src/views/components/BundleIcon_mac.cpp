#include "views/components/BundleIcon.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>

QImage BundleIcon::load(const QString &bundlePath, int pixelSize)
{
    // The workspace's icon for the bundle: its own icon, or the generic
    // application icon when it has none.
    const QIcon icon = QFileIconProvider().icon(QFileInfo(bundlePath));
    return icon.pixmap(QSize(pixelSize, pixelSize)).toImage();
}

bool BundleIcon::loadsOnAnyThread()
{
    return false;
}
