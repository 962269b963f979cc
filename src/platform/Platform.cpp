#include "Platform.h"

#include <QDir>
#include <QStandardPaths>

namespace Platform {

QString libraryFolder()
{
    // AppDataLocation would append the organisation and app names; the
    // folder name is fixed, so start from the generic location.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("ZelvoAppStore"));
}

QString packageCacheFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
        .filePath(QStringLiteral("ZelvoAppStore/Downloads"));
}

QStringList applicationFolders()
{
    return {QStringLiteral("/Applications"), QStringLiteral("/System/Applications"),
            QDir::home().filePath(QStringLiteral("Applications"))};
}

QString installTargetFolder()
{
#ifdef Q_OS_MACOS
    return QStringLiteral("/Applications");
#else
    return QDir::home().filePath(QStringLiteral("Applications"));
#endif
}

} // namespace Platform
