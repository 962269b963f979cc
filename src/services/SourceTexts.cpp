#include "services/SourceTexts.h"

#include <QLocale>

QString SourceTexts::age(const std::optional<QDateTime> &when, const QDateTime &now)
{
    if (!when)
        return QStringLiteral("从未");
    const qint64 seconds = std::max<qint64>(0, when->secsTo(now));
    if (seconds < 60)
        return QStringLiteral("刚刚");
    if (seconds < 3600)
        return QStringLiteral("%1 分钟前").arg(seconds / 60);
    if (seconds < 86400)
        return QStringLiteral("%1 小时前").arg(seconds / 3600);
    return QStringLiteral("%1 天前").arg(seconds / 86400);
}

QString SourceTexts::state(const CatalogSource &source, bool refreshing)
{
    if (refreshing)
        return QStringLiteral("正在刷新…");
    if (!source.error.isEmpty())
        return source.recordCount > 0 || source.checkedAt
                   ? QStringLiteral("刷新失败：%1（仍在使用%2的副本）").arg(source.error, age(source.checkedAt))
                   : QStringLiteral("刷新失败：%1").arg(source.error);
    return source.checkedAt ? QStringLiteral("正常") : QStringLiteral("尚未下载");
}

QString SourceTexts::count(const CatalogSource &source)
{
    QString text = QStringLiteral("%1 个应用").arg(QLocale(QLocale::C).toString(source.recordCount));
    if (source.skipped > 0)
        text += QStringLiteral("，跳过 %1 条无法识别的记录").arg(source.skipped);
    return text;
}
