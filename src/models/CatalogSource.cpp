#include "models/CatalogSource.h"

namespace {

QString kindId(CatalogKind kind)
{
    return kind == CatalogKind::brewCasks ? QStringLiteral("brewCasks") : QStringLiteral("library");
}

} // namespace

QJsonObject CatalogSource::toJson() const
{
    QJsonObject object{{QStringLiteral("id"), id},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("kind"), kindId(kind)},
                       {QStringLiteral("url"), url},
                       {QStringLiteral("etag"), etag},
                       {QStringLiteral("lastModified"), lastModified},
                       {QStringLiteral("fetchedFrom"), fetchedFrom},
                       {QStringLiteral("recordCount"), recordCount},
                       {QStringLiteral("skipped"), skipped},
                       {QStringLiteral("error"), error}};
    if (homepage)
        object.insert(QStringLiteral("homepage"), *homepage);
    if (checkedAt)
        object.insert(QStringLiteral("checkedAt"), checkedAt->toUTC().toString(Qt::ISODate));
    return object;
}

std::optional<CatalogSource> CatalogSource::fromJson(const QJsonObject &object)
{
    CatalogSource source;
    source.id = object.value(QLatin1String("id")).toString();
    const QString kind = object.value(QLatin1String("kind")).toString();
    if (source.id.isEmpty() || (kind != kindId(CatalogKind::brewCasks) && kind != kindId(CatalogKind::library)))
        return std::nullopt;
    source.kind = kind == kindId(CatalogKind::brewCasks) ? CatalogKind::brewCasks : CatalogKind::library;
    source.name = object.value(QLatin1String("name")).toString(source.id);
    source.url = object.value(QLatin1String("url")).toString();
    if (const auto homepage = object.value(QLatin1String("homepage")); homepage.isString())
        source.homepage = homepage.toString();
    source.etag = object.value(QLatin1String("etag")).toString();
    source.lastModified = object.value(QLatin1String("lastModified")).toString();
    source.fetchedFrom = object.value(QLatin1String("fetchedFrom")).toString();
    const QDateTime checked = QDateTime::fromString(object.value(QLatin1String("checkedAt")).toString(), Qt::ISODate);
    if (checked.isValid())
        source.checkedAt = checked;
    source.recordCount = object.value(QLatin1String("recordCount")).toInt();
    source.skipped = object.value(QLatin1String("skipped")).toInt();
    source.error = object.value(QLatin1String("error")).toString();
    return source;
}

QString CatalogSource::kindText() const
{
    return kind == CatalogKind::brewCasks ? QStringLiteral("Homebrew Cask") : QStringLiteral("应用目录");
}
