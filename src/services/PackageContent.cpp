#include "services/PackageContent.h"

#include <QFile>
#include <QFileInfo>

namespace PackageContent {

PackageType typeOfBytes(const QByteArray &head, const QByteArray &tail)
{
    if (head.startsWith(QByteArrayLiteral("PK\x03\x04")))
        return PackageType::zip;
    if (head.startsWith("xar!"))
        return PackageType::pkg;
    if (tail.size() == tailBytes && tail.startsWith("koly"))
        return PackageType::dmg;
    return PackageType::unknown;
}

PackageType typeOfFile(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return PackageType::unknown;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return PackageType::unknown;
    const QByteArray head = file.read(headBytes);
    QByteArray tail;
    if (file.size() >= tailBytes && file.seek(file.size() - tailBytes))
        tail = file.read(tailBytes);
    return typeOfBytes(head, tail);
}

bool looksLikeWebPage(const QByteArray &contentType, QByteArray head)
{
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.mid(3);
    head = head.trimmed().toLower();
    if (head.startsWith("<!doctype html") || head.startsWith("<html") || head.startsWith("<head") ||
        head.startsWith("<body"))
        return true;
    // A real package never starts with '<', whatever a misconfigured server calls it.
    const QByteArray type = contentType.trimmed().toLower();
    const bool htmlType = type.startsWith("text/html") || type.startsWith("application/xhtml");
    return htmlType && head.startsWith('<');
}

} // namespace PackageContent
