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

// Marks a file as downloaded from the internet the way browsers do, so the
// system checks what it holds before its first launch (macOS: Gatekeeper's
// quarantine). Systems without such a check do nothing and report success.
bool markDownloaded(const QString &path);
// Carries the mark of a downloaded package over to what was taken out of it
// (a bundle copied from a disk image or an archive). True when there was
// nothing to carry.
bool carryDownloadMark(const QString &from, const QString &to);

} // namespace ExtendedAttributes
