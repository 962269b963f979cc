#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Small named values stored on a file itself, so they travel with it and need
// no index. `name` is a plain word ("appId"); each system puts it in the
// namespace it expects. A file system without extended attributes makes
// write() return false and read() return nothing.
namespace ExtendedAttributes {

bool write(const QString &path, const QString &name, const QByteArray &value);
std::optional<QByteArray> read(const QString &path, const QString &name);

} // namespace ExtendedAttributes
