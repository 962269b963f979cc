#include "ExtendedAttributes.h"

#include <QDateTime>
#include <QFile>
#include <QUuid>

#include <sys/xattr.h>

namespace {

// The system's own attribute, in the form browsers write it:
// flags;seconds since 1970 in hex;agent;event id. 0083 is what a browser's
// web download gets, so Gatekeeper makes its full check on first launch.
const char *const quarantineName = "com.apple.quarantine";

} // namespace

namespace ExtendedAttributes {

bool markDownloaded(const QString &path)
{
    const QByteArray value = "0083;" +
                             QByteArray::number(QDateTime::currentSecsSinceEpoch(), 16).rightJustified(8, '0') +
                             ";ZelvoAppStore;" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces).toUpper();
    return ::setxattr(QFile::encodeName(path).constData(), quarantineName, value.constData(),
                      static_cast<size_t>(value.size()), 0, 0) == 0;
}

bool carryDownloadMark(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    char value[1024];
    const ssize_t size = ::getxattr(source.constData(), quarantineName, value, sizeof value, 0, 0);
    if (size < 0)
        return true;
    // XATTR_NOFOLLOW: a bundle's top level is a folder; a link there is not ours to mark.
    return ::setxattr(QFile::encodeName(to).constData(), quarantineName, value, static_cast<size_t>(size), 0,
                      XATTR_NOFOLLOW) == 0;
}

} // namespace ExtendedAttributes
