#include "AppItem.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include "ZelvoError.h"

namespace {

struct SourceRow { AppSourceType type; const char *raw; const char *title; };
struct PackageRow { PackageType type; const char *raw; const char *title; };

constexpr SourceRow kSourceRows[] = {
    {AppSourceType::brew, "brew", "Homebrew Cask"},
    {AppSourceType::direct, "direct", "直接下载 / 模板URL"},
    {AppSourceType::customList, "customList", "版本列表 / Nginx"},
};

constexpr PackageRow kPackageRows[] = {
    {PackageType::dmg, "dmg", "DMG 磁盘镜像"},
    {PackageType::pkg, "pkg", "PKG 安装包"},
    {PackageType::zip, "zip", "ZIP 压缩包"},
    {PackageType::brew, "brew", "Brew 安装"},
    {PackageType::unknown, "unknown", "未知类型"},
};

[[noreturn]] void fail(const QString &key, const QString &why)
{
    throw DecodingError(QStringLiteral("字段 \"%1\" %2").arg(key, why));
}

QString requiredString(const QJsonObject &object, const QString &key)
{
    const auto value = object.value(key);
    if (value.isUndefined() || value.isNull())
        fail(key, QStringLiteral("缺失"));
    if (!value.isString())
        fail(key, QStringLiteral("应为字符串"));
    return value.toString();
}

std::optional<QString> optionalString(const QJsonObject &object, const QString &key)
{
    const auto value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isString())
        fail(key, QStringLiteral("应为字符串"));
    return value.toString();
}

std::optional<qint64> optionalInt64Value(const QJsonValue &value, const QString &key)
{
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    // toInteger() falls back to its argument for fractions and values outside
    // the signed 64-bit range; two different fallbacks tell those apart from
    // a real 0 or 1.
    if (!value.isDouble() || (value.toInteger(0) == 0 && value.toInteger(1) == 1))
        fail(key, QStringLiteral("应为 64 位整数"));
    return value.toInteger();
}

void put(QJsonObject &object, const QString &key, const std::optional<QString> &value)
{
    if (value)
        object.insert(key, *value);
}

void put(QJsonObject &object, const QString &key, const std::optional<qint64> &value)
{
    if (value)
        object.insert(key, QJsonValue(*value));
}

} // namespace

QString rawValue(AppSourceType type)
{
    return QString::fromLatin1(kSourceRows[int(type)].raw);
}

QString rawValue(PackageType type)
{
    return QString::fromLatin1(kPackageRows[int(type)].raw);
}

QString title(AppSourceType type)
{
    return QString::fromUtf8(kSourceRows[int(type)].title);
}

QString title(PackageType type)
{
    return QString::fromUtf8(kPackageRows[int(type)].title);
}

std::optional<AppSourceType> appSourceTypeFromRaw(const QString &raw)
{
    for (const auto &row : kSourceRows)
        if (raw == QLatin1String(row.raw))
            return row.type;
    return std::nullopt;
}

std::optional<PackageType> packageTypeFromRaw(const QString &raw)
{
    for (const auto &row : kPackageRows)
        if (raw == QLatin1String(row.raw))
            return row.type;
    return std::nullopt;
}

QList<AppSourceType> allAppSourceTypes()
{
    QList<AppSourceType> all;
    for (const auto &row : kSourceRows)
        all.append(row.type);
    return all;
}

QList<PackageType> allPackageTypes()
{
    QList<PackageType> all;
    for (const auto &row : kPackageRows)
        all.append(row.type);
    return all;
}

AppVersion AppVersion::fromJson(const QJsonObject &object)
{
    AppVersion version;
    version.version = requiredString(object, QStringLiteral("version"));
    version.downloadUrl = optionalString(object, QStringLiteral("downloadUrl"));
    version.releaseDate = optionalString(object, QStringLiteral("releaseDate"));
    version.changelog = optionalString(object, QStringLiteral("changelog"));
    version.fileSize = optionalInt64Value(object.value(QLatin1StringView("fileSize")), QStringLiteral("fileSize"));
    return version;
}

QJsonObject AppVersion::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("version"), version);
    put(object, QStringLiteral("downloadUrl"), downloadUrl);
    put(object, QStringLiteral("releaseDate"), releaseDate);
    put(object, QStringLiteral("changelog"), changelog);
    put(object, QStringLiteral("fileSize"), fileSize);
    return object;
}

QString AppItem::displayName() const
{
    return chineseName && !chineseName->isEmpty() ? *chineseName : name;
}

QString AppItem::subDisplayName() const
{
    return chineseName && !chineseName->isEmpty() ? name : id;
}

QString AppItem::displayVersionFor(const QString &version)
{
    const auto comma = version.indexOf(QLatin1Char(','));
    return comma < 0 ? version : version.left(comma);
}

PackageType AppItem::resolvedPackageType() const
{
    if (sourceType == AppSourceType::brew)
        return PackageType::brew;
    if (packageType != PackageType::unknown)
        return packageType;
    if (!downloadUrl)
        return PackageType::dmg;
    return packageTypeFromUrlEnding(*downloadUrl).value_or(PackageType::dmg);
}

std::optional<PackageType> packageTypeFromUrlEnding(const QString &url)
{
    const auto lower = url.toLower();
    if (lower.endsWith(QLatin1String(".dmg")))
        return PackageType::dmg;
    if (lower.endsWith(QLatin1String(".pkg")))
        return PackageType::pkg;
    if (lower.endsWith(QLatin1String(".zip")))
        return PackageType::zip;
    return std::nullopt;
}

QString fillVersionTemplate(const QString &templateUrl, const QString &version)
{
    QString filled = templateUrl;
    filled.replace(QLatin1String("{version}"), version);
    filled.replace(QLatin1String("{VERSION}"), version);
    return filled;
}

std::optional<QString> AppItem::resolveDownloadUrl(const std::optional<QString> &version) const
{
    const QString wanted = version.value_or(currentVersion);
    if (versionPatternUrl && !versionPatternUrl->isEmpty())
        return fillVersionTemplate(*versionPatternUrl, wanted);
    if (versions) {
        for (const auto &entry : *versions) {
            if (entry.version == wanted) {
                if (entry.downloadUrl && !entry.downloadUrl->isEmpty())
                    return entry.downloadUrl;
                break;
            }
        }
    }
    return downloadUrl;
}

namespace {

// Reading a record walks its keys once and looks each up in this table,
// rather than asking the object for every field: the library's load time is
// mostly this decoding, and a lookup per field costs about twice as much.
using FieldReader = void (*)(AppItem &app, const QJsonValue &value, const QString &key);

struct Field
{
    QLatin1StringView key;
    FieldReader read;
    // Set in `seen` when read; the required fields must all be.
    unsigned requiredBit;
};

std::optional<QString> optionalStringValue(const QJsonValue &value, const QString &key)
{
    if (value.isNull())
        return std::nullopt;
    if (!value.isString())
        fail(key, QStringLiteral("应为字符串"));
    return value.toString();
}

QString requiredStringValue(const QJsonValue &value, const QString &key)
{
    if (value.isNull())
        fail(key, QStringLiteral("缺失"));
    return *optionalStringValue(value, key);
}

template <typename T>
T enumValue(const QJsonValue &value, const QString &key, std::optional<T> (*parse)(const QString &))
{
    const auto parsed = parse(requiredStringValue(value, key));
    if (!parsed)
        fail(key, QStringLiteral("取值无效"));
    return *parsed;
}

QList<AppVersion> versionsValue(const QJsonValue &value, const QString &key)
{
    if (!value.isArray())
        fail(key, QStringLiteral("应为数组"));
    QList<AppVersion> list;
    const auto array = value.toArray();
    list.reserve(array.size());
    for (const auto &entry : array) {
        if (!entry.isObject())
            fail(key, QStringLiteral("的元素应为对象"));
        list.append(AppVersion::fromJson(entry.toObject()));
    }
    return list;
}

QStringList tagsValue(const QJsonValue &value, const QString &key)
{
    if (!value.isArray())
        fail(key, QStringLiteral("应为数组"));
    QStringList list;
    for (const auto &entry : value.toArray()) {
        if (!entry.isString())
            fail(key, QStringLiteral("的元素应为字符串"));
        list.append(entry.toString());
    }
    return list;
}

#define ZELVO_OPTIONAL(member)                                                                                         \
    [](AppItem &app, const QJsonValue &value, const QString &key) { app.member = optionalStringValue(value, key); }
#define ZELVO_REQUIRED(member)                                                                                         \
    [](AppItem &app, const QJsonValue &value, const QString &key) { app.member = requiredStringValue(value, key); }

// Sorted by key, for the binary search.
const Field kFields[] = {
    {QLatin1StringView("appFilename"), ZELVO_OPTIONAL(appFilename), 0},
    {QLatin1StringView("autoUpdates"),
     [](AppItem &app, const QJsonValue &value, const QString &key) {
         if (value.isNull())
             return;
         if (!value.isBool())
             fail(key, QStringLiteral("应为布尔值"));
         app.autoUpdates = value.toBool();
     },
     0},
    {QLatin1StringView("brewName"), ZELVO_OPTIONAL(brewName), 0},
    {QLatin1StringView("bundleId"), ZELVO_OPTIONAL(bundleId), 0},
    {QLatin1StringView("category"), ZELVO_REQUIRED(category), 1u << 0},
    {QLatin1StringView("chineseName"), ZELVO_OPTIONAL(chineseName), 0},
    {QLatin1StringView("currentVersion"), ZELVO_REQUIRED(currentVersion), 1u << 1},
    {QLatin1StringView("description"), ZELVO_REQUIRED(description), 1u << 2},
    {QLatin1StringView("downloadUrl"), ZELVO_OPTIONAL(downloadUrl), 0},
    {QLatin1StringView("fileSize"),
     [](AppItem &app, const QJsonValue &value, const QString &key) { app.fileSize = optionalInt64Value(value, key); },
     0},
    {QLatin1StringView("homepage"), ZELVO_OPTIONAL(homepage), 0},
    {QLatin1StringView("iconUrl"), ZELVO_OPTIONAL(iconUrl), 0},
    {QLatin1StringView("id"), ZELVO_REQUIRED(id), 1u << 3},
    {QLatin1StringView("name"), ZELVO_REQUIRED(name), 1u << 4},
    {QLatin1StringView("packageType"),
     [](AppItem &app, const QJsonValue &value, const QString &key) {
         app.packageType = enumValue(value, key, &packageTypeFromRaw);
     },
     1u << 5},
    {QLatin1StringView("sha256"), ZELVO_OPTIONAL(sha256), 0},
    {QLatin1StringView("sourceType"),
     [](AppItem &app, const QJsonValue &value, const QString &key) {
         app.sourceType = enumValue(value, key, &appSourceTypeFromRaw);
     },
     1u << 6},
    {QLatin1StringView("summary"), ZELVO_REQUIRED(summary), 1u << 7},
    {QLatin1StringView("tags"),
     [](AppItem &app, const QJsonValue &value, const QString &key) {
         if (!value.isNull())
             app.tags = tagsValue(value, key);
     },
     0},
    {QLatin1StringView("updatedAt"), ZELVO_OPTIONAL(updatedAt), 0},
    {QLatin1StringView("versionListUrl"), ZELVO_OPTIONAL(versionListUrl), 0},
    {QLatin1StringView("versionPatternUrl"), ZELVO_OPTIONAL(versionPatternUrl), 0},
    {QLatin1StringView("versions"),
     [](AppItem &app, const QJsonValue &value, const QString &key) {
         if (!value.isNull())
             app.versions = versionsValue(value, key);
     },
     0},
};

#undef ZELVO_OPTIONAL
#undef ZELVO_REQUIRED

constexpr unsigned kAllRequired = (1u << 8) - 1;

} // namespace

AppItem AppItem::fromJson(const QJsonObject &o)
{
    AppItem app;
    unsigned seen = 0;
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString key = it.key();
        const auto field = std::lower_bound(std::begin(kFields), std::end(kFields), key,
                                            [](const Field &f, const QString &k) { return f.key < k; });
        if (field == std::end(kFields) || field->key != key)
            continue; // keys of other versions of the app are left alone
        field->read(app, it.value(), key);
        seen |= field->requiredBit;
    }
    if (seen != kAllRequired) {
        for (const auto &field : kFields)
            if (field.requiredBit && !(seen & field.requiredBit))
                fail(field.key, QStringLiteral("缺失"));
    }
    return app;
}

QJsonObject AppItem::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("id"), id);
    o.insert(QStringLiteral("name"), name);
    put(o, QStringLiteral("chineseName"), chineseName);
    put(o, QStringLiteral("bundleId"), bundleId);
    put(o, QStringLiteral("appFilename"), appFilename);
    put(o, QStringLiteral("iconUrl"), iconUrl);
    o.insert(QStringLiteral("category"), category);
    o.insert(QStringLiteral("summary"), summary);
    o.insert(QStringLiteral("description"), description);
    put(o, QStringLiteral("homepage"), homepage);
    o.insert(QStringLiteral("sourceType"), rawValue(sourceType));
    put(o, QStringLiteral("brewName"), brewName);
    put(o, QStringLiteral("versionPatternUrl"), versionPatternUrl);
    put(o, QStringLiteral("versionListUrl"), versionListUrl);
    o.insert(QStringLiteral("currentVersion"), currentVersion);
    put(o, QStringLiteral("downloadUrl"), downloadUrl);
    o.insert(QStringLiteral("packageType"), rawValue(packageType));
    put(o, QStringLiteral("fileSize"), fileSize);
    put(o, QStringLiteral("sha256"), sha256);
    if (versions) {
        QJsonArray array;
        for (const auto &version : *versions)
            array.append(version.toJson());
        o.insert(QStringLiteral("versions"), array);
    }
    if (tags)
        o.insert(QStringLiteral("tags"), QJsonArray::fromStringList(*tags));
    put(o, QStringLiteral("updatedAt"), updatedAt);
    if (autoUpdates)
        o.insert(QStringLiteral("autoUpdates"), *autoUpdates);
    return o;
}

namespace {

QJsonArray recordArray(const QByteArray &json)
{
    QJsonParseError error;
    const auto document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        throw DecodingError(error.errorString());
    if (!document.isArray())
        throw DecodingError(QStringLiteral("应为 AppItem 数组"));
    return document.array();
}

} // namespace

QList<AppItem> AppItem::listFromJson(const QByteArray &json)
{
    const auto array = recordArray(json);
    QList<AppItem> apps;
    apps.reserve(array.size());
    for (const auto &entry : array) {
        if (!entry.isObject())
            throw DecodingError(QStringLiteral("数组元素应为 AppItem 对象"));
        apps.append(fromJson(entry.toObject()));
    }
    return apps;
}

AppItemList AppItem::listFromJsonSkippingBad(const QByteArray &json)
{
    return listFromArraySkippingBad(recordArray(json));
}

AppItemList AppItem::listFromArraySkippingBad(const QJsonArray &array)
{
    AppItemList list;
    list.apps.reserve(array.size());
    for (const auto &entry : array) {
        try {
            if (!entry.isObject())
                throw DecodingError(QString());
            list.apps.append(fromJson(entry.toObject()));
        } catch (const DecodingError &) {
            ++list.skipped;
        }
    }
    return list;
}

QByteArray AppItem::listToJson(const QList<AppItem> &apps)
{
    QJsonArray array;
    for (const auto &app : apps)
        array.append(app.toJson());
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

size_t qHash(const AppVersion &v, size_t seed)
{
    return qHashMulti(seed, v.version, v.downloadUrl.value_or(QString()), v.releaseDate.value_or(QString()),
                      v.changelog.value_or(QString()), v.fileSize.value_or(-1));
}

size_t qHash(const AppItem &a, size_t seed)
{
    seed = qHashMulti(seed, a.id, a.name, a.chineseName.value_or(QString()), a.bundleId.value_or(QString()),
                      a.appFilename.value_or(QString()), a.iconUrl.value_or(QString()), a.category, a.summary,
                      a.description, a.homepage.value_or(QString()), int(a.sourceType));
    seed = qHashMulti(seed, a.brewName.value_or(QString()), a.versionPatternUrl.value_or(QString()),
                      a.versionListUrl.value_or(QString()), a.currentVersion, a.downloadUrl.value_or(QString()),
                      int(a.packageType), a.fileSize.value_or(-1), a.sha256.value_or(QString()),
                      a.updatedAt.value_or(QString()), a.autoUpdates ? int(*a.autoUpdates) : -1);
    if (a.versions)
        for (const auto &v : *a.versions)
            seed = qHash(v, seed);
    if (a.tags)
        seed = qHashRange(a.tags->begin(), a.tags->end(), seed);
    return seed;
}
