#include "Caskroom.h"

#include <QDir>
#include <QJsonDocument>

#include "models/NumericCompare.h"
#include "platform/BoundedRead.h"
#include "services/BrewService.h"

namespace {

constexpr qint64 maxCaskFileSize = 4 * 1024 * 1024;

QStringList versionFolders(const QString &caskFolder)
{
    return QDir(caskFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
}

QString highest(QStringList versions)
{
    std::sort(versions.begin(), versions.end(),
              [](const QString &a, const QString &b) { return numericCompare(a, b) < 0; });
    return versions.isEmpty() ? QString() : versions.last();
}

} // namespace

Caskroom::Caskroom(QStringList roots) : m_roots(std::move(roots)) {}

QStringList Caskroom::defaultRoots()
{
    return besideBrew(BrewService::defaultBrewPaths());
}

QStringList Caskroom::besideBrew(const QStringList &brewPaths)
{
    QStringList roots;
    for (const QString &brew : brewPaths)
        roots << QDir::cleanPath(brew + QStringLiteral("/../../Caskroom"));
    return roots;
}

QHash<QString, QString> Caskroom::scan() const
{
    QHash<QString, QString> installed;
    for (const QString &root : m_roots) {
        const QDir dir(root);
        for (const QString &token : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted)) {
            // A folder name that is no token could never be handed to brew.
            if (installed.contains(token) || !BrewService::isValidToken(token))
                continue;
            const QString version = highest(versionFolders(dir.filePath(token)));
            if (!version.isEmpty())
                installed.insert(token, version);
        }
    }
    return installed;
}

std::optional<QJsonObject> Caskroom::installedCask(const QString &token) const
{
    if (!BrewService::isValidToken(token) || token.contains(QLatin1Char('/')))
        return std::nullopt;
    for (const QString &root : m_roots) {
        const QString metadata = QDir(root).filePath(token + QStringLiteral("/.metadata"));
        const QString version = highest(versionFolders(metadata));
        if (version.isEmpty())
            continue;
        // .metadata/<version>/<timestamp>/Casks/<token>.json; the latest install is the last timestamp.
        const QString versionFolder = metadata + QLatin1Char('/') + version;
        QStringList stamps = versionFolders(versionFolder);
        stamps.sort();
        for (auto it = stamps.crbegin(); it != stamps.crend(); ++it) {
            const QString file = versionFolder + QLatin1Char('/') + *it + QStringLiteral("/Casks/") + token +
                                 QStringLiteral(".json");
            const auto read = BoundedRead::regularFile(file, maxCaskFileSize);
            if (read.status != BoundedRead::Status::ok)
                continue;
            const QJsonDocument document = QJsonDocument::fromJson(read.bytes);
            if (document.isObject())
                return document.object();
        }
    }
    return std::nullopt;
}
