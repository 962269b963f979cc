#include "ExtendedAttributes.h"

#include <QFile>

#include <sys/xattr.h>

namespace {

// Unprivileged processes may only use the "user." namespace.
QByteArray attributeName(const QString &name)
{
    return "user.zelvo." + name.toUtf8();
}

} // namespace

namespace ExtendedAttributes {

bool write(const QString &path, const QString &name, const QByteArray &value)
{
    return ::setxattr(QFile::encodeName(path).constData(), attributeName(name).constData(), value.constData(),
                      static_cast<size_t>(value.size()), 0) == 0;
}

std::optional<QByteArray> read(const QString &path, const QString &name)
{
    const QByteArray file = QFile::encodeName(path);
    const QByteArray key = attributeName(name);
    const ssize_t size = ::getxattr(file.constData(), key.constData(), nullptr, 0);
    if (size < 0)
        return std::nullopt;
    QByteArray value(size, Qt::Uninitialized);
    const ssize_t read = ::getxattr(file.constData(), key.constData(), value.data(), static_cast<size_t>(size));
    if (read < 0)
        return std::nullopt;
    value.truncate(read);
    return value;
}

} // namespace ExtendedAttributes
