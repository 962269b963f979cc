#include "ExtendedAttributes.h"

#include <QFile>

#include <sys/xattr.h>

namespace {

// The two systems share the calls but not their signatures or namespaces:
// Linux lets unprivileged processes use only "user.", macOS expects
// reverse-DNS names clear of the system's own com.apple.* attributes.
#ifdef Q_OS_MACOS
QByteArray attributeName(const QString &name)
{
    return "com.zelvo.appstore." + name.toUtf8();
}
int setAttribute(const char *path, const char *name, const void *value, size_t size)
{
    return ::setxattr(path, name, value, size, 0, 0);
}
ssize_t getAttribute(const char *path, const char *name, void *value, size_t size)
{
    return ::getxattr(path, name, value, size, 0, 0);
}
#else
QByteArray attributeName(const QString &name)
{
    return "user.zelvo." + name.toUtf8();
}
int setAttribute(const char *path, const char *name, const void *value, size_t size)
{
    return ::setxattr(path, name, value, size, 0);
}
ssize_t getAttribute(const char *path, const char *name, void *value, size_t size)
{
    return ::getxattr(path, name, value, size);
}
#endif

} // namespace

namespace ExtendedAttributes {

bool write(const QString &path, const QString &name, const QByteArray &value)
{
    return setAttribute(QFile::encodeName(path).constData(), attributeName(name).constData(), value.constData(),
                        static_cast<size_t>(value.size())) == 0;
}

std::optional<QByteArray> read(const QString &path, const QString &name)
{
    const QByteArray file = QFile::encodeName(path);
    const QByteArray key = attributeName(name);
    const ssize_t size = getAttribute(file.constData(), key.constData(), nullptr, 0);
    if (size < 0)
        return std::nullopt;
    QByteArray value(size, Qt::Uninitialized);
    const ssize_t read = getAttribute(file.constData(), key.constData(), value.data(), static_cast<size_t>(size));
    if (read < 0)
        return std::nullopt;
    value.truncate(read);
    return value;
}

} // namespace ExtendedAttributes
