#pragma once

#include <QByteArray>
#include <QString>

#include "models/ZelvoError.h"

// A file the store rewrites (the library, caches it keeps) is replaced
// whole or not at all: a nearly full disk cuts a write short without an
// error, and a crash between write and flush leaves an empty file behind.
namespace DurableFile {

// Writes the bytes to a temporary file beside `path`, checks that every byte
// went out, flushes it to the disk, then puts it in place of `path` and
// flushes the folder. Throws FileWriteError; `path` is then untouched. A
// symbolic link keeps pointing where it did: its target is replaced.
void write(const QString &path, const QByteArray &bytes);

// The system's reason for an errno value, in words a user can act on.
QString reasonText(int error);

} // namespace DurableFile

// A write refused by the system, with the system's reason.
class FileWriteError final : public ZelvoError
{
public:
    FileWriteError(const QString &path, int error);
    int systemError() const { return m_error; }
    void raise() const override { throw *this; }
    FileWriteError *clone() const override { return new FileWriteError(*this); }

private:
    int m_error;
};
