#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// What an archive tool says an archive holds, read before anything is
// expanded, so that a hostile archive is refused rather than trusted to the
// tool's own care.
struct ArchiveEntry
{
    QString path;
    qint64 size = 0;
    bool isLink = false;
    QString linkTarget;
};

namespace ArchiveListing {

// The verbose listing of bsdtar ("bsdtar -tvf", C locale). Nothing when a
// line cannot be read: an entry that cannot be understood cannot be checked.
std::optional<QList<ArchiveEntry>> fromTarVerbose(const QByteArray &listing);

// The technical listing of 7-Zip ("7zz l -slt -ba").
QList<ArchiveEntry> fromSevenZipTechnical(const QByteArray &listing);

// The first entry that would land outside the folder it is expanded into:
// an absolute path, a ".." step above the top, or a link whose target is
// absolute or leads above the top.
std::optional<QString> firstEscaping(const QList<ArchiveEntry> &entries);

qint64 totalSize(const QList<ArchiveEntry> &entries);

} // namespace ArchiveListing
