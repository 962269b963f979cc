#include "LocalPackage.h"

#include <QFileInfo>
#include <QHashFunctions>

PackageType LocalPackage::packageTypeForFileName(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("dmg"))
        return PackageType::dmg;
    if (suffix == QLatin1String("pkg"))
        return PackageType::pkg;
    if (suffix == QLatin1String("zip"))
        return PackageType::zip;
    return PackageType::unknown;
}

size_t qHash(const LocalPackage &package, size_t seed)
{
    const auto optional = [](const std::optional<QString> &value) {
        return value ? QLatin1Char('+') + *value : QString();
    };
    return qHashMulti(seed, package.filePath, package.fileName, package.fileSize, package.formattedSize,
                      package.creationDate, optional(package.appId), optional(package.appName),
                      optional(package.version), rawValue(package.packageType), package.unfinished,
                      package.verified);
}
