#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// Reading whole files whose size the store does not control: a library or a
// property list edited by hand, a file or pipe handed to an import. A FIFO
// would block the open, a device never ends, a huge file fills memory; each
// is refused before or while reading, never after.
namespace BoundedRead {

enum class Status { ok, missing, notRegularFile, tooLarge, failed };

struct Result
{
    Status status = Status::failed;
    QByteArray bytes;
    // The system's reason when the status is `failed`.
    QString error;
};

// A regular file of at most `limit` bytes, opened without blocking and
// checked before a byte is read.
Result regularFile(const QString &path, qint64 limit);

// What an open, blocking device yields until its end, stopping as soon as
// it passes `limit`.
Result device(QIODevice &device, qint64 limit);

} // namespace BoundedRead
