#include "ArchiveListing.h"

#include <QRegularExpression>

namespace {

// Where a relative path leads from `start` (both as steps below the top),
// resolved by its text alone; nothing when it climbs above the top.
std::optional<QStringList> walk(QStringList start, const QString &relative)
{
    for (const QString &step : relative.split(u'/', Qt::SkipEmptyParts)) {
        if (step == QLatin1String("."))
            continue;
        if (step == QLatin1String("..")) {
            if (start.isEmpty())
                return std::nullopt;
            start.removeLast();
        } else {
            start.append(step);
        }
    }
    return start;
}

} // namespace

namespace ArchiveListing {

std::optional<QList<ArchiveEntry>> fromTarVerbose(const QByteArray &listing)
{
    // mode, links, owner, group, size, date (time of day or year), name.
    static const QRegularExpression line(QStringLiteral(
        R"(^([-a-zA-Z?][-rwxsStTlL?]{9}[+@.]?)\s+\d+\s+\S+\s+\S+\s+(\d+)\s+\S+\s+\d+\s+(?:\d+:\d+|\d+)\s(.*)$)"));
    QList<ArchiveEntry> entries;
    for (const QString &text : QString::fromUtf8(listing).split(u'\n', Qt::SkipEmptyParts)) {
        const auto match = line.match(text);
        if (!match.hasMatch())
            return std::nullopt;
        ArchiveEntry entry;
        entry.size = match.captured(2).toLongLong();
        entry.path = match.captured(3);
        entry.isLink = match.captured(1).startsWith(u'l');
        if (entry.isLink) {
            // "name -> target"; a second arrow makes the split ambiguous.
            const QStringList parts = entry.path.split(QStringLiteral(" -> "));
            if (parts.size() != 2)
                return std::nullopt;
            entry.path = parts[0];
            entry.linkTarget = parts[1];
        }
        entries.append(entry);
    }
    return entries;
}

QList<ArchiveEntry> fromSevenZipTechnical(const QByteArray &listing)
{
    QList<ArchiveEntry> entries;
    for (const QString &text : QString::fromUtf8(listing).split(u'\n')) {
        const QString line = text.trimmed();
        if (line.startsWith(QLatin1String("Path = ")))
            entries.append({line.mid(7)});
        else if (!entries.isEmpty() && line.startsWith(QLatin1String("Size = ")))
            entries.last().size = line.mid(7).toLongLong();
        else if (!entries.isEmpty() && line.startsWith(QLatin1String("Symbolic Link = ")) && line.size() > 16)
            entries.last() = {entries.last().path, entries.last().size, true, line.mid(16)};
    }
    return entries;
}

std::optional<QString> firstEscaping(const QList<ArchiveEntry> &entries)
{
    for (const ArchiveEntry &entry : entries) {
        const auto where = walk({}, entry.path);
        if (entry.path.startsWith(u'/') || !where)
            return entry.path;
        if (!entry.isLink)
            continue;
        QStringList folder = *where;
        if (!folder.isEmpty())
            folder.removeLast();
        if (entry.linkTarget.startsWith(u'/') || !walk(folder, entry.linkTarget))
            return entry.path;
    }
    return std::nullopt;
}

qint64 totalSize(const QList<ArchiveEntry> &entries)
{
    qint64 total = 0;
    for (const ArchiveEntry &entry : entries)
        total += entry.size;
    return total;
}

} // namespace ArchiveListing
