#pragma once

#include <QString>

#include "platform/ToolCommand.h"

// Makes the contents of a disk image readable in a folder, and takes them
// away again. On macOS the image is attached at the folder; on Linux 7-Zip
// expands it into the folder. Either way the folder's top level then holds
// the volume's contents.
class DiskImageMounter final
{
public:
    struct Tools
    {
        // Placeholders: "{image}" the image's path, "{mountpoint}" the folder's path.
        ToolCommand attach;
        // Empty when nothing stays mounted (the folder then only holds files).
        ToolCommand detach;
        // Where the image is expanded rather than attached: lists its entries
        // with their sizes ("7zz l -slt"), so an expansion that would not fit
        // is refused first. Empty otherwise.
        ToolCommand list;
        // Describes the image as a property list ("hdiutil imageinfo -plist"),
        // to tell whether it carries a licence agreement. Empty where images
        // are not attached.
        ToolCommand describe;
        // 7-Zip puts a disk image's volume inside a folder named after it,
        // beside entries of its own ("[SYSTEM]", ".journal", ...). When set,
        // those entries are dropped and, when a lone folder (not a bundle, not
        // a link) is left at the top, it is taken for the volume folder and
        // its contents are moved up. An image whose volume itself holds just
        // one plain folder is therefore read one level deeper than on macOS.
        bool liftVolumeFolder = false;
    };

    // The tools of the running system: hdiutil on macOS, 7-Zip elsewhere.
    static Tools platformTools();
    // macOS: attach at the folder, detach with -force.
    static Tools hdiutilTools(const QString &program = QStringLiteral("/usr/bin/hdiutil"));
    // Elsewhere: expand into the folder; nothing stays mounted.
    static Tools sevenZipTools(const QString &program = QStringLiteral("7zz"));

    explicit DiskImageMounter(Tools tools = platformTools());

    const Tools &tools() const { return m_tools; }

    // Makes the image's volume appear in mountPoint, an existing empty folder.
    // Success is an exit status of 0; the caller reads the result. A licence
    // agreement the image carries is accepted, as command-line installers do.
    ToolResult attach(const QString &imagePath, const QString &mountPoint,
                      const ToolCommand::Check &keepGoing = {}) const;

    // The list tool's run over the image (its listing in ToolResult::output).
    ToolResult list(const QString &imagePath) const;

    // Whether the image shows a licence agreement when attached; false when
    // that cannot be told.
    bool hasLicenceAgreement(const QString &imagePath) const;

    // Takes the volume away again, ignoring failure. Returns true when
    // nothing is mounted at mountPoint any more, so that the folder may be
    // removed with its contents; false means its contents may still be the
    // image's own and must not be deleted.
    bool detach(const QString &mountPoint) const;

    // Whether a top-level entry 7-Zip writes for a disk image is its own
    // bookkeeping rather than part of the volume.
    static bool isVolumeMetadata(const QString &name);

private:
    void liftVolumeFolder(const QString &mountPoint) const;

    Tools m_tools;
};
