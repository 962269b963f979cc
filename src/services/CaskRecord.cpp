#include "services/CaskRecord.h"

#include <algorithm>

#include <QJsonArray>

#include "models/WebAddress.h"

namespace {

std::optional<QString> stringValue(const QJsonObject &json, QLatin1String key)
{
    const auto value = json.value(key);
    return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
}

// The first string of a non-empty array made only of strings.
std::optional<QString> firstOfStrings(const QJsonValue &value)
{
    const auto array = value.toArray();
    if (!value.isArray() || array.isEmpty() ||
        !std::all_of(array.begin(), array.end(), [](const QJsonValue &element) { return element.isString(); }))
        return std::nullopt;
    return array.first().toString();
}

std::optional<QString> appFilenameFromArtifacts(const QJsonValue &artifacts)
{
    const auto list = artifacts.toArray();
    // One element that is not an object spoils the whole list.
    if (!artifacts.isArray() ||
        !std::all_of(list.begin(), list.end(), [](const QJsonValue &element) { return element.isObject(); }))
        return std::nullopt;
    for (const auto element : list) {
        if (const auto app = firstOfStrings(element.toObject().value(QLatin1String("app"))))
            return app;
    }
    return std::nullopt;
}

} // namespace

CaskFields CaskFields::of(const QJsonObject &json)
{
    CaskFields fields;
    fields.token = stringValue(json, QLatin1String("token"));
    fields.firstName = firstOfStrings(json.value(QLatin1String("name")));
    fields.desc = stringValue(json, QLatin1String("desc"));
    fields.homepage = stringValue(json, QLatin1String("homepage"));
    fields.url = stringValue(json, QLatin1String("url"));
    fields.version = stringValue(json, QLatin1String("version"));
    fields.appFilename = appFilenameFromArtifacts(json.value(QLatin1String("artifacts")));
    fields.autoUpdates = json.value(QLatin1String("auto_updates")).toBool();
    fields.sha256 = stringValue(json, QLatin1String("sha256"));
    return fields;
}

AppItem CaskRecord::toApp(const QString &token, const CaskFields &fields)
{
    // The API is data like any other: a file: or smb: address would be
    // fetched or opened on a single click once the record is saved.
    const auto webAddress = [](const std::optional<QString> &value) {
        return value && isWebAddress(*value) ? value : std::nullopt;
    };
    AppItem app;
    app.id = token;
    app.name = fields.firstName.value_or(fields.token.value_or(token));
    app.appFilename = fields.appFilename;
    app.category = QStringLiteral("开发与工具");
    app.summary = fields.desc.value_or(QString());
    app.description = app.summary;
    app.homepage = webAddress(fields.homepage);
    app.sourceType = AppSourceType::brew;
    app.brewName = token;
    app.currentVersion = fields.version.value_or(QStringLiteral("latest"));
    app.downloadUrl = webAddress(fields.url);
    app.packageType =
        app.downloadUrl ? packageTypeFromUrlEnding(*app.downloadUrl).value_or(PackageType::brew) : PackageType::brew;

    AppVersion version;
    version.version = app.currentVersion;
    version.downloadUrl = app.downloadUrl;
    version.changelog = QStringLiteral("当前稳定版");
    app.versions = QList<AppVersion>{version};
    if (fields.autoUpdates)
        app.autoUpdates = true;
    if (fields.sha256 && *fields.sha256 != u"no_check")
        app.sha256 = fields.sha256;
    return app;
}
