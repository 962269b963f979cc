#include "views/components/BundleIcon.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

#include "platform/PropertyList.h"

namespace {

// Of the sizes an .icns holds, the smallest that is at least pixelSize,
// else the largest.
QImage readBestImage(const QString &file, int pixelSize)
{
    QImageReader reader(file);
    QImage best;
    const int count = std::max(1, reader.imageCount());
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        const QImage image = reader.read();
        if (image.isNull())
            continue;
        const int side = std::max(image.width(), image.height());
        const int bestSide = std::max(best.width(), best.height());
        const bool better =
            best.isNull() || (bestSide < pixelSize ? side > bestSide : side >= pixelSize && side < bestSide);
        if (better)
            best = image;
    }
    return best;
}

} // namespace

QImage BundleIcon::load(const QString &bundlePath, int pixelSize)
{
    const QDir contents(QDir(bundlePath).filePath(QStringLiteral("Contents")));
    const auto values =
        PropertyList::readTopLevelStrings(contents.filePath(QStringLiteral("Info.plist")), {"CFBundleIconFile"});
    if (!values)
        return {};
    // Only a file name counts: the bundle's plist must not point outside its Resources.
    const QString name = QFileInfo(values->value(QStringLiteral("CFBundleIconFile"))).fileName();
    if (name.isEmpty())
        return {};
    const QDir resources(contents.filePath(QStringLiteral("Resources")));
    QStringList candidates{resources.filePath(name)};
    if (QFileInfo(name).suffix().isEmpty())
        candidates.prepend(resources.filePath(name + QStringLiteral(".icns")));
    for (const QString &file : std::as_const(candidates)) {
        if (!QFileInfo(file).isFile())
            continue;
        QImage image = readBestImage(file, pixelSize);
        if (!image.isNull())
            return image;
    }
    return {};
}

bool BundleIcon::loadsOnAnyThread()
{
    return true;
}
