#include "InstalledDetector.h"

#include <QDir>
#include <QFileInfo>

#include "platform/Platform.h"
#include "platform/PropertyList.h"

namespace {

QList<qint64> numericPieces(const QString &normalized)
{
    QList<qint64> pieces;
    for (const auto piece : QStringView(normalized).split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
        // Only an optional sign and decimal digits count; anything else drops
        // the piece and the following ones move up one place.
        bool ok = false;
        qint64 value = 0;
        const bool digitsOnly = std::all_of(piece.begin(), piece.end(), [first = true](QChar c) mutable {
            const bool good = (c.isDigit() && c.unicode() < 128) || (first && (c == u'+' || c == u'-'));
            first = false;
            return good;
        });
        if (digitsOnly)
            value = piece.toLongLong(&ok, 10);
        if (ok)
            pieces.append(value);
    }
    return pieces;
}

} // namespace

InstalledDetector::InstalledDetector(QStringList applicationFolders) : m_folders(std::move(applicationFolders)) {}

InstalledDetector &InstalledDetector::shared()
{
    static InstalledDetector instance(Platform::applicationFolders());
    return instance;
}

InstalledAppMap InstalledDetector::scanInstalledApps() const
{
    InstalledAppMap map;
    for (const auto &folder : m_folders) {
        // Top level only, hidden entries skipped, no sorting: listing order decides.
        const QDir dir(folder);
        const auto names = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Unsorted);
        for (const auto &fileName : names) {
            if (!fileName.endsWith(QLatin1String(".app")) || fileName.size() <= 4 || fileName.startsWith(QLatin1Char('.')))
                continue;
            const auto info = readAppInfo(dir.filePath(fileName));
            if (!info)
                continue;
            if (info->bundleId && !info->bundleId->isEmpty())
                map.insert(info->bundleId->toLower(), *info);
            map.insert(fileName.chopped(4).toLower(), *info);
        }
    }
    return map;
}

std::optional<InstalledAppInfo> InstalledDetector::readAppInfo(const QString &bundlePath)
{
    const auto strings = PropertyList::readTopLevelStrings(
        bundlePath + QLatin1String("/Contents/Info.plist"),
        {"CFBundleIdentifier", "CFBundleShortVersionString", "CFBundleVersion", "CFBundleDisplayName", "CFBundleName"});
    if (!strings)
        return std::nullopt;
    auto value = [&](const char *key) -> std::optional<QString> {
        const auto it = strings->constFind(QLatin1String(key));
        return it == strings->cend() ? std::nullopt : std::optional<QString>(*it);
    };

    InstalledAppInfo info;
    info.bundlePath = bundlePath;
    info.bundleId = value("CFBundleIdentifier");
    info.version = value("CFBundleShortVersionString");
    if (!info.version)
        info.version = value("CFBundleVersion");
    auto name = value("CFBundleDisplayName");
    if (!name)
        name = value("CFBundleName");
    info.name = name ? *name : QFileInfo(bundlePath).completeBaseName();
    return info;
}

const InstalledAppInfo *InstalledDetector::findMatch(const AppItem &app, const InstalledAppMap &installedMap)
{
    if (app.bundleId) {
        const auto it = installedMap.constFind(app.bundleId->toLower());
        if (it != installedMap.cend())
            return &*it;
    }
    QString key;
    if (app.appFilename) {
        const QString last = QFileInfo(*app.appFilename).fileName();
        const auto dot = last.lastIndexOf(QLatin1Char('.'));
        key = (dot > 0 ? last.left(dot) : last).toLower();
    } else {
        key = app.name.toLower();
    }
    const auto it = installedMap.constFind(key);
    return it != installedMap.cend() ? &*it : nullptr;
}

AppInstallStatus InstalledDetector::checkStatus(const AppItem &app, const InstalledAppMap &installedMap)
{
    const InstalledAppInfo *match = findMatch(app, installedMap);
    if (!match)
        return AppInstallStatus::notInstalled();

    const QString installedVersion = match->version.value_or(QStringLiteral("0.0.0"));
    if (isVersionOlder(installedVersion, app.currentVersion))
        return AppInstallStatus::updateAvailable(installedVersion, app.currentVersion, match->bundlePath);
    return AppInstallStatus::installed(installedVersion, match->bundlePath);
}

QString InstalledDetector::normalizeVersion(const QString &text)
{
    QString result = text.trimmed();
    if (result.startsWith(QLatin1Char('v'), Qt::CaseInsensitive))
        result.remove(0, 1);
    if (const auto comma = result.indexOf(QLatin1Char(',')); comma >= 0)
        result.truncate(comma);
    if (const auto underscore = result.indexOf(QLatin1Char('_')); underscore >= 0)
        result.truncate(underscore);
    return result;
}

bool InstalledDetector::isVersionOlder(const QString &a, const QString &b)
{
    const QString left = normalizeVersion(a);
    const QString right = normalizeVersion(b);
    if (left == right)
        return false;
    const auto x = numericPieces(left);
    const auto y = numericPieces(right);
    for (qsizetype i = 0; i < std::max(x.size(), y.size()); ++i) {
        const qint64 p = i < x.size() ? x[i] : 0;
        const qint64 q = i < y.size() ? y[i] : 0;
        if (p != q)
            return p < q;
    }
    return false;
}
