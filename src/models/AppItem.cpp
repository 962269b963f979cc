#include "AppItem.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <string_view>

#include <simdjson.h>

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

[[noreturn]] void fail(std::string_view key, const QString &why)
{
    const QLatin1StringView name(key.data(), qsizetype(key.size()));
    throw DecodingError(QStringLiteral("字段 \"%1\" %2").arg(name, why));
}

using simdjson::dom::element;
using simdjson::dom::element_type;

// What the field readers ask of a JSON value, from Qt's documents (single
// records, imports, catalogs) and from simdjson's (the library file, read at
// every start). The readers are written once over these, so that both
// readings of a record follow the same rules.

bool isNullValue(const QJsonValue &value)
{
    return value.isNull();
}

bool isObjectValue(const QJsonValue &value)
{
    return value.isObject();
}

std::optional<QString> stringOf(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<bool> boolOf(const QJsonValue &value)
{
    if (!value.isBool())
        return std::nullopt;
    return value.toBool();
}

// A whole number in the signed 64-bit range, however it is written (7, 7.0, 7e0).
std::optional<qint64> integerOf(const QJsonValue &value)
{
    // toInteger() falls back to its argument for fractions and values outside
    // the signed 64-bit range; two different fallbacks tell those apart from
    // a real 0 or 1.
    if (!value.isDouble() || (value.toInteger(0) == 0 && value.toInteger(1) == 1))
        return std::nullopt;
    return value.toInteger();
}

// False when the value is no array.
template <typename Visit>
bool forEachElement(const QJsonValue &value, Visit visit)
{
    if (!value.isArray())
        return false;
    const QJsonArray array = value.toArray();
    for (const auto &entry : array)
        visit(QJsonValue(entry));
    return true;
}

template <typename Visit>
void forEachMember(const QJsonObject &object, Visit visit)
{
    for (auto it = object.begin(); it != object.end(); ++it)
        visit(it.key(), it.value());
}

bool isNullValue(const element &value)
{
    return value.is_null();
}

bool isObjectValue(const element &value)
{
    return value.is_object();
}

std::optional<QString> stringOf(const element &value)
{
    std::string_view text;
    if (value.get(text) != simdjson::SUCCESS)
        return std::nullopt;
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::optional<bool> boolOf(const element &value)
{
    bool flag = false;
    if (value.get(flag) != simdjson::SUCCESS)
        return std::nullopt;
    return flag;
}

std::optional<qint64> integerOf(const element &value)
{
    switch (value.type()) {
    case element_type::INT64:
        return value.get_int64().value_unsafe();
    case element_type::DOUBLE: {
        // What Qt's toInteger() takes from a double: a whole number from
        // -2^63 up to, not including, 2^63.
        const double number = value.get_double().value_unsafe();
        if (number >= -0x1p63 && number < 0x1p63 && std::trunc(number) == number)
            return qint64(number);
        return std::nullopt;
    }
    default: // an unsigned one is at least 2^63
        return std::nullopt;
    }
}

template <typename Visit>
bool forEachElement(const element &value, Visit visit)
{
    simdjson::dom::array array;
    if (value.get(array) != simdjson::SUCCESS)
        return false;
    for (const element entry : array)
        visit(entry);
    return true;
}

template <typename Visit>
void forEachMember(const simdjson::dom::object &object, Visit visit)
{
    for (const auto member : object)
        visit(member.key, member.value);
}

template <typename Value>
std::optional<QString> optionalStringValue(const Value &value, std::string_view key)
{
    if (isNullValue(value))
        return std::nullopt;
    auto text = stringOf(value);
    if (!text)
        fail(key, QStringLiteral("应为字符串"));
    return text;
}

template <typename Value>
QString requiredStringValue(const Value &value, std::string_view key)
{
    if (isNullValue(value))
        fail(key, QStringLiteral("缺失"));
    return *optionalStringValue(value, key);
}

template <typename Value>
std::optional<qint64> optionalIntegerValue(const Value &value, std::string_view key)
{
    if (isNullValue(value))
        return std::nullopt;
    const auto number = integerOf(value);
    if (!number)
        fail(key, QStringLiteral("应为 64 位整数"));
    return number;
}

// A record type's fields, sorted by key. Reading a record walks its keys
// once and looks each up here, rather than asking the object for every
// field: the library's load time is mostly this decoding, and a lookup per
// field costs about twice as much.
template <typename Record>
struct Field
{
    template <typename Value>
    using Read = void (*)(Record &record, const Value &value, std::string_view key);

    // The reader is one generic lambda, instantiated here for each kind of value.
    template <typename Reader>
    constexpr Field(std::string_view key, Reader, bool required = false)
        : key(key),
          fromQt([](Record &record, const QJsonValue &value, std::string_view name) { Reader{}(record, value, name); }),
          fromDom([](Record &record, const element &value, std::string_view name) { Reader{}(record, value, name); }),
          required(required)
    {
    }

    void read(Record &record, const QJsonValue &value) const { fromQt(record, value, key); }
    void read(Record &record, const element &value) const { fromDom(record, value, key); }

    std::string_view key;
    Read<QJsonValue> fromQt;
    Read<element> fromDom;
    bool required;
};

constexpr bool required = true;

template <typename Record, std::size_t count>
constexpr bool sortedByKey(const Field<Record> (&fields)[count])
{
    return std::is_sorted(std::begin(fields), std::end(fields),
                          [](const Field<Record> &a, const Field<Record> &b) { return a.key < b.key; });
}

QLatin1StringView latin1(std::string_view text)
{
    return QLatin1StringView(text.data(), qsizetype(text.size()));
}

bool keyLess(std::string_view fieldKey, const QString &key)
{
    return latin1(fieldKey) < key;
}

bool keyEquals(std::string_view fieldKey, const QString &key)
{
    return latin1(fieldKey) == key;
}

// simdjson gives keys as UTF-8; the table's are ASCII, so bytes compare.
bool keyLess(std::string_view fieldKey, std::string_view key)
{
    return fieldKey < key;
}

bool keyEquals(std::string_view fieldKey, std::string_view key)
{
    return fieldKey == key;
}

// Tries `guess` first: this app writes keys sorted as the table is, so a
// key is mostly the field after the one before it.
template <typename Record, std::size_t count, typename Key>
int fieldIndex(const Field<Record> (&fields)[count], const Key &key, int guess)
{
    if (guess < int(count) && keyEquals(fields[guess].key, key))
        return guess;
    const auto field = std::lower_bound(std::begin(fields), std::end(fields), key,
                                        [](const Field<Record> &f, const Key &k) { return keyLess(f.key, k); });
    return field != std::end(fields) && keyEquals(field->key, key) ? int(field - std::begin(fields)) : -1;
}

// The value type each kind of object holds.
template <typename Object>
struct MemberValue;

template <>
struct MemberValue<QJsonObject>
{
    using Type = QJsonValue;
};

template <>
struct MemberValue<simdjson::dom::object>
{
    using Type = element;
};

template <typename Record, std::size_t count, typename Object>
Record decodeRecord(const Object &object, const Field<Record> (&fields)[count])
{
    static_assert(count <= 32, "present fields are kept in a 32-bit mask");
    using Value = typename MemberValue<Object>::Type;
    std::array<Value, count> values;
    quint32 present = 0;
    int next = 0;
    forEachMember(object, [&](const auto &key, const auto &value) {
        const int at = fieldIndex(fields, key, next);
        if (at < 0)
            return; // keys of other versions of the app are left alone
        // A key written twice counts once, with its last value, as Qt reads it.
        values[at] = value;
        present |= 1u << at;
        next = at + 1;
    });
    // In the table's order, so that of two faults the same one is reported
    // whichever reading found them.
    Record record;
    for (quint32 rest = present; rest; rest &= rest - 1) {
        const int at = std::countr_zero(rest);
        fields[at].read(record, values[at]);
    }
    quint32 requiredMask = 0;
    for (std::size_t at = 0; at < count; ++at)
        requiredMask |= quint32(fields[at].required) << at;
    if (const quint32 missing = requiredMask & ~present)
        fail(fields[std::countr_zero(missing)].key, QStringLiteral("缺失"));
    return record;
}

template <auto member>
constexpr auto optionalText = [](auto &record, const auto &value, std::string_view key) {
    record.*member = optionalStringValue(value, key);
};

template <auto member>
constexpr auto requiredText = [](auto &record, const auto &value, std::string_view key) {
    record.*member = requiredStringValue(value, key);
};

template <auto member>
constexpr auto optionalInteger = [](auto &record, const auto &value, std::string_view key) {
    record.*member = optionalIntegerValue(value, key);
};

template <auto member, auto parse>
constexpr auto rawEnum = [](auto &record, const auto &value, std::string_view key) {
    const auto parsed = parse(requiredStringValue(value, key));
    if (!parsed)
        fail(key, QStringLiteral("取值无效"));
    record.*member = *parsed;
};

constexpr Field<AppVersion> kVersionFields[] = {
    {"changelog", optionalText<&AppVersion::changelog>},
    {"downloadUrl", optionalText<&AppVersion::downloadUrl>},
    {"fileSize", optionalInteger<&AppVersion::fileSize>},
    {"releaseDate", optionalText<&AppVersion::releaseDate>},
    {"version", requiredText<&AppVersion::version>, required},
};
static_assert(sortedByKey(kVersionFields));

AppVersion versionOf(const QJsonValue &value)
{
    return AppVersion::fromJson(value.toObject());
}

AppVersion versionOf(const element &value)
{
    return decodeRecord(value.get_object().value_unsafe(), kVersionFields);
}

// An array read element by element through element(), which fails on an
// element of the wrong kind; anything but an array fails as a whole.
template <typename List, typename Value, typename Element>
List arrayOf(const Value &value, std::string_view key, Element element)
{
    List list;
    if (!forEachElement(value, [&](const auto &entry) { list.append(element(entry)); }))
        fail(key, QStringLiteral("应为数组"));
    return list;
}

constexpr auto versionList = [](AppItem &app, const auto &value, std::string_view key) {
    if (isNullValue(value))
        return;
    app.versions = arrayOf<QList<AppVersion>>(value, key, [key](const auto &entry) {
        if (!isObjectValue(entry))
            fail(key, QStringLiteral("的元素应为对象"));
        return versionOf(entry);
    });
};

constexpr auto tagList = [](AppItem &app, const auto &value, std::string_view key) {
    if (isNullValue(value))
        return;
    app.tags = arrayOf<QStringList>(value, key, [key](const auto &entry) {
        auto text = stringOf(entry);
        if (!text)
            fail(key, QStringLiteral("的元素应为字符串"));
        return std::move(*text);
    });
};

constexpr auto autoUpdatesFlag = [](AppItem &app, const auto &value, std::string_view key) {
    if (isNullValue(value))
        return;
    const auto flag = boolOf(value);
    if (!flag)
        fail(key, QStringLiteral("应为布尔值"));
    app.autoUpdates = flag;
};

constexpr Field<AppItem> kFields[] = {
    {"appFilename", optionalText<&AppItem::appFilename>},
    {"autoUpdates", autoUpdatesFlag},
    {"brewName", optionalText<&AppItem::brewName>},
    {"bundleId", optionalText<&AppItem::bundleId>},
    {"category", requiredText<&AppItem::category>, required},
    {"chineseName", optionalText<&AppItem::chineseName>},
    {"currentVersion", requiredText<&AppItem::currentVersion>, required},
    {"description", requiredText<&AppItem::description>, required},
    {"downloadUrl", optionalText<&AppItem::downloadUrl>},
    {"fileSize", optionalInteger<&AppItem::fileSize>},
    {"homepage", optionalText<&AppItem::homepage>},
    {"iconUrl", optionalText<&AppItem::iconUrl>},
    {"id", requiredText<&AppItem::id>, required},
    {"name", requiredText<&AppItem::name>, required},
    {"packageType", rawEnum<&AppItem::packageType, &packageTypeFromRaw>, required},
    {"sha256", optionalText<&AppItem::sha256>},
    {"sourceType", rawEnum<&AppItem::sourceType, &appSourceTypeFromRaw>, required},
    {"summary", requiredText<&AppItem::summary>, required},
    {"tags", tagList},
    {"updatedAt", optionalText<&AppItem::updatedAt>},
    {"versionListUrl", optionalText<&AppItem::versionListUrl>},
    {"versionPatternUrl", optionalText<&AppItem::versionPatternUrl>},
    {"versions", versionList},
};
static_assert(sortedByKey(kFields));

} // namespace

AppVersion AppVersion::fromJson(const QJsonObject &object)
{
    return decodeRecord(object, kVersionFields);
}

AppItem AppItem::fromJson(const QJsonObject &object)
{
    return decodeRecord(object, kFields);
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

AppItem itemOf(const QJsonValue &value)
{
    return AppItem::fromJson(value.toObject());
}

AppItem itemOf(const element &value)
{
    return decodeRecord(value.get_object().value_unsafe(), kFields);
}

template <typename Array>
void appendSkippingBad(AppItemList &list, const Array &array)
{
    for (const auto &entry : array) {
        try {
            if (!isObjectValue(entry))
                throw DecodingError(QString());
            list.apps.append(itemOf(entry));
        } catch (const DecodingError &) {
            ++list.skipped;
        }
    }
}

template <typename Array>
AppItemList recordsSkippingBad(const Array &array, qsizetype count)
{
    AppItemList list;
    list.apps.reserve(count);
    appendSkippingBad(list, array);
    return list;
}

// simdjson reads up to SIMDJSON_PADDING bytes past the text. When the array
// owns that much room after its end (a file read by BoundedRead does), the
// text is parsed where it is instead of copied whole.
bool hasReadAheadRoom(const QByteArray &bytes)
{
    QByteArray shared = bytes; // data_ptr() is not const in Qt 6.4
    return shared.data_ptr().freeSpaceAtEnd() >= qsizetype(simdjson::SIMDJSON_PADDING);
}

// Qt refuses a number too small for a double (1e-400) as illegal, where
// simdjson reads it as 0. A zero written as a fraction or with an exponent
// (0.0, 0e1) is indistinguishable in simdjson's document, and too rare in a
// library to be worth more than handing such a file to Qt.
bool holdsFractionalZero(const element &value)
{
    switch (value.type()) {
    case element_type::ARRAY: {
        const simdjson::dom::array array = value.get_array().value_unsafe();
        return std::any_of(array.begin(), array.end(), holdsFractionalZero);
    }
    case element_type::OBJECT: {
        const simdjson::dom::object object = value.get_object().value_unsafe();
        return std::any_of(object.begin(), object.end(), [](const simdjson::dom::key_value_pair &member) {
            return holdsFractionalZero(member.value);
        });
    }
    case element_type::DOUBLE:
        return value.get_double().value_unsafe() == 0;
    default:
        return false;
    }
}

// A parser sized for the whole file takes fresh pages for its tape at every
// load, and here the page faults cost more than the parsing. So a file as
// this app writes it (Qt's indented form: a record ends in "\n    }," at the
// top level) is parsed a slice of records at a time, each slice made an
// array of its own, through one parser whose memory serves every slice.
// A cut that is not after a top-level record leaves a slice that is no
// array of records, and the file is then parsed whole.
constexpr qsizetype kSliceBytes = 256 * 1024;
constexpr QByteArrayView kRecordEnd("\n    },");

std::optional<AppItemList> recordsInSlices(QByteArrayView text)
{
    // JSON's white space, narrower than isspace()'s.
    qsizetype open = 0;
    while (open < text.size() && QByteArrayView(" \t\n\r").contains(text[open]))
        ++open;
    if (open == text.size() || text[open] != '[')
        return std::nullopt;
    qsizetype from = open + 1;
    qsizetype cut = text.indexOf(kRecordEnd, std::min(from + kSliceBytes, text.size()));
    if (cut < 0)
        return std::nullopt;
    simdjson::dom::parser parser;
    std::string slice;
    AppItemList list;
    for (;;) {
        // The last slice ends with the file's own "]".
        const qsizetype end = cut < 0 ? text.size() : cut + kRecordEnd.size() - 1;
        slice.reserve(size_t(end - from) + 2 + simdjson::SIMDJSON_PADDING);
        slice.assign(1, '[');
        slice.append(text.data() + from, size_t(end - from));
        if (cut >= 0)
            slice.push_back(']');
        element root;
        simdjson::dom::array array;
        if (parser.parse(slice).get(root) != simdjson::SUCCESS || root.get(array) != simdjson::SUCCESS ||
            array.size() == 0 || holdsFractionalZero(root))
            return std::nullopt;
        appendSkippingBad(list, array);
        if (cut < 0)
            return list;
        from = end + 1;
        cut = text.indexOf(kRecordEnd, std::min(from + kSliceBytes, text.size()));
    }
}

// The records through simdjson, about three times as fast as through Qt, or
// nothing where Qt must decide to keep the outcome exactly Qt's: a text
// simdjson refuses that Qt reads all the same (a raw tab or a lone surrogate
// escape in a string, "1."), the text of the error when there is no array.
std::optional<AppItemList> recordsWithSimdjson(const QByteArray &json)
{
    // Qt skips one byte-order mark; simdjson takes none.
    const qsizetype skip = json.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    if (auto list = recordsInSlices(QByteArrayView(json).sliced(skip)))
        return list;
    simdjson::dom::parser parser;
    element root;
    simdjson::dom::array array;
    if (parser.parse(json.constData() + skip, size_t(json.size() - skip), !hasReadAheadRoom(json)).get(root) !=
            simdjson::SUCCESS ||
        root.get(array) != simdjson::SUCCESS || holdsFractionalZero(root))
        return std::nullopt;
    return recordsSkippingBad(array, qsizetype(array.size()));
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
    if (auto list = recordsWithSimdjson(json))
        return std::move(*list);
    return listFromJsonSkippingBadWithQt(json);
}

AppItemList AppItem::listFromJsonSkippingBadWithQt(const QByteArray &json)
{
    return listFromArraySkippingBad(recordArray(json));
}

AppItemList AppItem::listFromArraySkippingBad(const QJsonArray &array)
{
    return recordsSkippingBad(array, array.size());
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
