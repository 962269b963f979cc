#include "services/PackageContent.h"

#include <QFile>
#include <QFileInfo>

namespace PackageContent {

PackageType typeOfBytes(const QByteArray &head, const QByteArray &tail)
{
    const auto at = [&head](qsizetype offset, const char *mark) {
        return head.mid(offset, qsizetype(qstrlen(mark))) == QByteArray(mark);
    };
    if (at(0, "PK\x03\x04") || at(0, "PK\x05\x06"))
        return PackageType::zip;
    if (at(0, "xar!"))
        return PackageType::pkg;
    if ((tail.size() == tailBytes && tail.startsWith("koly")) || at(32769, "CD001") || at(1024, "H+") ||
        at(1024, "HX") || at(512, "EFI PART") || at(32, "NXSB") || at(0, "encrcdsa") || at(0, "sprs"))
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
