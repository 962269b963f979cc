#include "services/CatalogDecoder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <simdjson.h>

#include "models/WebAddress.h"
#include "models/ZelvoError.h"
#include "services/BrewService.h"
#include "services/CaskRecord.h"

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

QString notJsonText()
{
    return QStringLiteral("内容不是有效的 JSON，可能下载不完整");
}

// A sign-in page or an error page of a proxy or captive portal comes back
// with status 200 all the same.
void refuseWebPage(const QByteArray &bytes)
{
    const QByteArray start = bytes.left(256).trimmed().toLower();
    if (start.startsWith('<'))
        throw DecodingError(QStringLiteral("服务器返回的是网页而不是应用目录，可能需要登录或地址有误"));
}

std::optional<QString> stringField(const element &object, std::string_view key)
{
    std::string_view text;
    if (object[key].get(text) != simdjson::SUCCESS)
        return std::nullopt;
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::optional<QString> firstOfStrings(const element &object, std::string_view key)
{
    simdjson::dom::array array;
    if (object[key].get(array) != simdjson::SUCCESS || array.size() == 0)
        return std::nullopt;
    std::optional<QString> first;
    for (const element item : array) {
        std::string_view text;
        if (item.get(text) != simdjson::SUCCESS)
            return std::nullopt;
        if (!first)
            first = QString::fromUtf8(text.data(), qsizetype(text.size()));
    }
    return first;
}

std::optional<QString> appFilenameFromArtifacts(const element &object)
{
    simdjson::dom::array artifacts;
    if (object["artifacts"].get(artifacts) != simdjson::SUCCESS)
        return std::nullopt;
    std::optional<QString> found;
    for (const element item : artifacts) {
        // One element that is not an object spoils the whole list.
        if (!item.is_object())
            return std::nullopt;
        if (!found)
            found = firstOfStrings(item, "app");
    }
    return found;
}

// The same fields CaskFields::of takes from a Qt object, by the same rules.
CaskFields caskFieldsOf(const element &object)
{
    CaskFields fields;
    fields.token = stringField(object, "token");
    fields.firstName = firstOfStrings(object, "name");
    fields.desc = stringField(object, "desc");
    fields.homepage = stringField(object, "homepage");
    fields.url = stringField(object, "url");
    fields.version = stringField(object, "version");
    fields.appFilename = appFilenameFromArtifacts(object);
    bool autoUpdates = false;
    fields.autoUpdates = object["auto_updates"].get(autoUpdates) == simdjson::SUCCESS && autoUpdates;
    fields.sha256 = stringField(object, "sha256");
    return fields;
}

DecodedCatalog decodeCasks(const QByteArray &bytes)
{
    refuseWebPage(bytes);
    simdjson::dom::parser parser;
    element root;
    if (parser.parse(bytes.constData(), size_t(bytes.size())).get(root) != simdjson::SUCCESS)
        throw DecodingError(notJsonText());

    // The signed form carries the list as a JSON text in "payload".
    simdjson::dom::parser payloadParser;
    std::string_view payload;
    if (root.is_object() && root["payload"].get(payload) == simdjson::SUCCESS &&
        payloadParser.parse(payload.data(), payload.size()).get(root) != simdjson::SUCCESS)
        throw DecodingError(notJsonText());

    simdjson::dom::array casks;
    if (root.get(casks) != simdjson::SUCCESS)
        throw DecodingError(QStringLiteral("内容不是 Homebrew Cask 列表"));
    DecodedCatalog catalog;
    catalog.apps.reserve(qsizetype(casks.size()));
    for (const element item : casks) {
        if (!item.is_object()) {
            ++catalog.skipped;
            continue;
        }
        const CaskFields fields = caskFieldsOf(item);
        if (!fields.token || !BrewService::isValidToken(*fields.token)) {
            ++catalog.skipped;
            continue;
        }
        catalog.apps.append(CaskRecord::toApp(*fields.token, fields));
    }
    return catalog;
}

DecodedCatalog decodeLibrary(const QByteArray &bytes)
{
    refuseWebPage(bytes);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw DecodingError(notJsonText());
    const QJsonObject object = document.object();
    const QJsonValue apps = document.isArray() ? QJsonValue(document.array()) : object.value(QLatin1String("apps"));
    if (!apps.isArray())
        throw DecodingError(QStringLiteral("内容既不是应用记录数组，也不是带 apps 数组的目录"));
    AppItemList list = AppItem::listFromArraySkippingBad(apps.toArray());
    DecodedCatalog catalog{std::move(list.apps), list.skipped, std::nullopt, std::nullopt};
    if (const QJsonValue name = object.value(QLatin1String("name")); name.isString() && !name.toString().trimmed().isEmpty())
        catalog.name = name.toString().trimmed();
    if (const QJsonValue homepage = object.value(QLatin1String("homepage"));
        homepage.isString() && isWebAddress(homepage.toString()))
        catalog.homepage = homepage.toString();
    return catalog;
}

} // namespace

DecodedCatalog CatalogDecoder::decode(CatalogKind kind, const QByteArray &bytes)
{
    if (bytes.size() > maxCatalogBytes)
        throw DecodingError(QStringLiteral("内容超过 %1 MB，不像应用目录").arg(maxCatalogBytes >> 20));
    DecodedCatalog catalog = kind == CatalogKind::brewCasks ? decodeCasks(bytes) : decodeLibrary(bytes);
    if (catalog.apps.isEmpty())
        throw DecodingError(catalog.skipped > 0
                                ? QStringLiteral("%1 条记录都无法识别，没有可用的应用").arg(catalog.skipped)
                                : QStringLiteral("目录中没有任何应用"));
    return catalog;
}
