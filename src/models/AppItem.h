#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

enum class AppSourceType { brew, direct, customList };
enum class PackageType { dmg, pkg, zip, brew, unknown };

// Raw values (the JSON form) and the Chinese titles shown to the user.
QString rawValue(AppSourceType type);
QString rawValue(PackageType type);
QString title(AppSourceType type);
QString title(PackageType type);
std::optional<AppSourceType> appSourceTypeFromRaw(const QString &raw);
std::optional<PackageType> packageTypeFromRaw(const QString &raw);
QList<AppSourceType> allAppSourceTypes();
QList<PackageType> allPackageTypes();

struct AppVersion
{
    QString version;
    std::optional<QString> downloadUrl;
    std::optional<QString> releaseDate;
    std::optional<QString> changelog;
    std::optional<qint64> fileSize;

    QString id() const { return version; }
    bool operator==(const AppVersion &) const = default;

    // Throws DecodingError.
    static AppVersion fromJson(const QJsonObject &object);
    QJsonObject toJson() const;
};

class QJsonArray;
struct AppItemList;

struct AppItem
{
    QString id;
    QString name;
    std::optional<QString> chineseName;
    std::optional<QString> bundleId;
    std::optional<QString> appFilename;
    std::optional<QString> iconUrl;
    QString category;
    QString summary;
    QString description;
    std::optional<QString> homepage;
    AppSourceType sourceType = AppSourceType::direct;
    std::optional<QString> brewName;
    std::optional<QString> versionPatternUrl;
    std::optional<QString> versionListUrl;
    QString currentVersion;
    std::optional<QString> downloadUrl;
    PackageType packageType = PackageType::unknown;
    std::optional<qint64> fileSize;
    std::optional<QString> sha256;
    std::optional<QList<AppVersion>> versions;
    std::optional<QStringList> tags;
    std::optional<QString> updatedAt;
    // The app keeps itself current (a cask's auto_updates): a newer version
    // elsewhere is shown, never counted as an update the user owes.
    std::optional<bool> autoUpdates;

    bool operator==(const AppItem &) const = default;

    QString displayName() const;
    QString subDisplayName() const;
    QString displayVersion() const { return displayVersionFor(currentVersion); }
    static QString displayVersionFor(const QString &version);
    PackageType resolvedPackageType() const;
    std::optional<QString> resolveDownloadUrl(const std::optional<QString> &version = std::nullopt) const;

    // Throws DecodingError naming the offending key.
    static AppItem fromJson(const QJsonObject &object);
    QJsonObject toJson() const;

    // A JSON array of records, decoded whole or not at all. Throws DecodingError.
    static QList<AppItem> listFromJson(const QByteArray &json);
    // A JSON array whose records decode one by one, so that one bad record
    // costs only itself. Throws DecodingError when the text is no JSON array.
    // Read with simdjson; the outcome is always the one of the reading below.
    static AppItemList listFromJsonSkippingBad(const QByteArray &json);
    // The same through QJsonDocument alone, at about three times the cost:
    // what the fast reading falls back to where only Qt can tell its outcome.
    static AppItemList listFromJsonSkippingBadWithQt(const QByteArray &json);
    static AppItemList listFromArraySkippingBad(const QJsonArray &array);
    static QByteArray listToJson(const QList<AppItem> &apps);
};

struct AppItemList
{
    QList<AppItem> apps;
    int skipped = 0;
};

// dmg, pkg or zip when the whole address text ends in that extension (any case);
// an address with a query string after the extension has none.
std::optional<PackageType> packageTypeFromUrlEnding(const QString &url);

// Fills every "{version}", then every "{VERSION}", in a download-address template.
QString fillVersionTemplate(const QString &templateUrl, const QString &version);

size_t qHash(const AppVersion &version, size_t seed = 0);
size_t qHash(const AppItem &app, size_t seed = 0);
