#include "Platform.h"

#include <algorithm>

#include <QDir>
#include <QNetworkProxyFactory>
#include <QSettings>
#include <QStandardPaths>

namespace Platform {

namespace {

QString overridden(const char *variable, const QString &standard)
{
    const QString value = qEnvironmentVariable(variable);
    return value.isEmpty() ? standard : QDir::cleanPath(QDir::current().absoluteFilePath(value));
}

} // namespace

QString libraryFolder()
{
    // AppDataLocation would append the organisation and app names; the
    // folder name is fixed, so start from the generic location.
    return overridden("ZELVO_LIBRARY_DIR",
                      QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                          .filePath(QStringLiteral("ZelvoAppStore")));
}

QString packageCacheFolder()
{
    return overridden("ZELVO_CACHE_DIR", QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
                                             .filePath(QStringLiteral("ZelvoAppStore/Downloads")));
}

std::unique_ptr<QSettings> openSettings()
{
    const QString file = overridden("ZELVO_SETTINGS_FILE", QString());
    if (!file.isEmpty())
        return std::make_unique<QSettings>(file, QSettings::IniFormat);
#ifdef Q_OS_MACOS
    // Qt names the user defaults domain after a reversed organisation domain
    // plus the application: "zelvo.com" + "appstore" is the bundle's own id.
    const QStringList parts = QStringLiteral(ZELVO_BUNDLE_ID).split(QLatin1Char('.'));
    QStringList domain = parts.mid(0, parts.size() - 1);
    std::reverse(domain.begin(), domain.end());
    return std::make_unique<QSettings>(domain.join(QLatin1Char('.')), parts.last());
#else
    return std::make_unique<QSettings>();
#endif
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

void useSystemProxy()
{
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}

} // namespace Platform
