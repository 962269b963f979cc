#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Helpers for tests that need files on disk.
namespace TestFolders {

// Writes bytes to dir/relativePath, creating parent folders. Returns the full path.
QString writeFile(const QString &dir, const QString &relativePath, const QByteArray &bytes);

// Writes an executable shell script (for fake command-line tools). Returns its path.
QString writeScript(const QString &dir, const QString &name, const QByteArray &body);

// Makes dir/<name>.app with Contents/Info.plist in XML (binary = false) or binary form.
// Keys whose value is empty are left out.
QString makeBundle(const QString &dir, const QString &name, const QString &bundleId, const QString &version,
                   bool binary = false);

QByteArray readFile(const QString &path);

// Every entry in folder by name, hidden ones too (partial downloads, work-folder leftovers).
QStringList entries(const QString &folder);

} // namespace TestFolders
