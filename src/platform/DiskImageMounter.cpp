#include "DiskImageMounter.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUuid>

#include "platform/FileTree.h"

DiskImageMounter::DiskImageMounter(Tools tools) : m_tools(std::move(tools)) {}

ToolResult DiskImageMounter::attach(const QString &imagePath, const QString &mountPoint,
                                    const ToolCommand::Check &keepGoing) const
{
    const ToolResult result =
        m_tools.attach.bound({{QStringLiteral("image"), imagePath}, {QStringLiteral("mountpoint"), mountPoint}})
            .run(keepGoing);
    if (result.succeeded() && m_tools.liftVolumeFolder)
        liftVolumeFolder(mountPoint);
    return result;
}

ToolResult DiskImageMounter::list(const QString &imagePath) const
{
    return m_tools.list.bound({{QStringLiteral("image"), imagePath}}).run();
}

bool DiskImageMounter::hasLicenceAgreement(const QString &imagePath) const
{
    if (m_tools.describe.isEmpty())
        return false;
    const ToolResult result = m_tools.describe.bound({{QStringLiteral("image"), imagePath}}).run();
    static const QRegularExpression licence(
        QStringLiteral("<key>Software License Agreement</key>\\s*<true\\s*/>"));
    return result.succeeded() && licence.match(QString::fromUtf8(result.output)).hasMatch();
}

bool DiskImageMounter::detach(const QString &mountPoint) const
{
    if (m_tools.detach.isEmpty())
        return true;
    return m_tools.detach.bound({{QStringLiteral("mountpoint"), mountPoint}}).run().succeeded();
}

DiskImageMounter::Tools DiskImageMounter::hdiutilTools(const QString &program)
{
    // hdiutil pages a licence agreement through $PAGER and then asks on
    // standard input; cat ends the paging at once, and "Y" is the agreement.
    ToolCommand attach{program, {"attach", "{image}", "-nobrowse", "-mountpoint", "{mountpoint}"}};
    attach.input = "Y\n";
    attach.environment = QStringList{QStringLiteral("PAGER=/bin/cat")};
    ToolCommand describe{program, {"imageinfo", "-plist", "{image}"}};
    describe.outputLimit = 4 * 1024 * 1024;
    return {attach, {program, {"detach", "{mountpoint}", "-force"}}, {}, describe, false};
}

DiskImageMounter::Tools DiskImageMounter::sevenZipTools(const QString &program)
{
    // Linux cannot attach an Apple disk image without privileges, so the image
    // is expanded instead; the expanded files are all there is to detach.
    ToolCommand list{program, {"l", "-slt", "-ba", "{image}"}};
    list.outputLimit = 64 * 1024 * 1024;
    return {{program, {"x", "-y", "-bd", "-o{mountpoint}", "{image}"}}, {}, list, {}, true};
}

bool DiskImageMounter::isVolumeMetadata(const QString &name)
{
    // 7-Zip's synthetic entries are bracketed ("[SYSTEM]", "[HFS+ Private Data]",
    // "[BOOT]"); the rest are HFS+ housekeeping files that Finder hides too.
    if (name.size() > 2 && name.startsWith(u'[') && name.endsWith(u']'))
        return true;
    return name.startsWith(QLatin1String(".HFS+ Private Directory Data")) || name == QLatin1String(".journal") ||
           name == QLatin1String(".journal_info_block") || name == QLatin1String(".HFS+ Private Data");
}

void DiskImageMounter::liftVolumeFolder(const QString &mountPoint) const
{
    const QDir mount(mountPoint);
    const auto filter = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
    QStringList volumeEntries;
    for (const QString &name : mount.entryList(filter)) {
        if (isVolumeMetadata(name))
            FileTree::remove(mount.filePath(name));
        else
            volumeEntries.append(name);
    }
    if (volumeEntries.size() != 1)
        return;
    const QFileInfo only(mount.filePath(volumeEntries.constFirst()));
    if (!only.isDir() || only.isSymLink() || only.suffix() == QLatin1String("app"))
        return;

    // Renamed first so that a child with the volume's own name can move up.
    const QString volume =
        mount.filePath(QStringLiteral(".volume-") + QUuid::createUuid().toString(QUuid::WithoutBraces));
    if (!QDir().rename(only.filePath(), volume))
        return;
    const QDir volumeDir(volume);
    for (const QString &name : volumeDir.entryList(filter)) {
        if (isVolumeMetadata(name))
            FileTree::remove(volumeDir.filePath(name));
        else
            QDir().rename(volumeDir.filePath(name), mount.filePath(name));
    }
    FileTree::remove(volume);
}
