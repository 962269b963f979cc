#pragma once

#include <QDateTime>
#include <QString>

#include "models/CatalogSource.h"

// How a source's state reads, the same in the window and on the command line.
namespace SourceTexts {

// "刚刚", "12 分钟前", "3 小时前", "2 天前"; "从未" without a time.
QString age(const std::optional<QDateTime> &when, const QDateTime &now = QDateTime::currentDateTimeUtc());
// "正在刷新…", "刷新失败：…（仍在使用 2 天前的副本）", "正常", "尚未下载".
QString state(const CatalogSource &source, bool refreshing);
// "7,512 个应用" plus "，跳过 3 条无法识别的记录" when some were skipped.
QString count(const CatalogSource &source);

} // namespace SourceTexts
