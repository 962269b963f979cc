#include "TestFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <plist/plist.h>

#include <cstdlib>

namespace TestFolders {

QString writeFile(const QString &dir, const QString &relativePath, const QByteArray &bytes)
{
    const QString path = QDir(dir).filePath(relativePath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("TestFolders: cannot write %s", qPrintable(path));
    return path;
}

QString writeScript(const QString &dir, const QString &name, const QByteArray &body)
{
    const QString path = writeFile(dir, name, "#!/bin/sh\n" + body);
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    return path;
}

QString makeBundle(const QString &dir, const QString &name, const QString &bundleId, const QString &version,
                   bool binary)
{
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "CFBundleName", plist_new_string(name.toUtf8().constData()));
    plist_dict_set_item(dict, "CFBundlePackageType", plist_new_string("APPL"));
    if (!bundleId.isEmpty())
        plist_dict_set_item(dict, "CFBundleIdentifier", plist_new_string(bundleId.toUtf8().constData()));
    if (!version.isEmpty())
        plist_dict_set_item(dict, "CFBundleShortVersionString", plist_new_string(version.toUtf8().constData()));
    char *data = nullptr;
    uint32_t length = 0;
    if (binary)
        plist_to_bin(dict, &data, &length);
    else
        plist_to_xml(dict, &data, &length);
    const QByteArray bytes(data, length);
    free(data);
    plist_free(dict);
    const QString bundle = QDir(dir).filePath(name + QStringLiteral(".app"));
    writeFile(bundle, QStringLiteral("Contents/Info.plist"), bytes);
    return bundle;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace TestFolders
