#pragma once

#include <QString>

#include "platform/ToolCommand.h"

// Expands a ZIP archive into a folder with the system's archive tool: ditto
// on macOS, bsdtar elsewhere. The archive is listed first (bsdtar on both
// systems), so that entries escaping the folder and expansions that would not
// fit are refused before anything is written.
class ZipExpander final
{
public:
    struct Tools
    {
        // "{archive}": the archive's path. Writes bsdtar's verbose listing.
        ToolCommand list;
        // "{archive}" the archive's path, "{folder}" the target folder.
        ToolCommand expand;
    };

    static Tools platformTools();
    static Tools dittoTools(const QString &program = QStringLiteral("/usr/bin/ditto"),
                            const QString &listProgram = QStringLiteral("/usr/bin/bsdtar"));
    // Without -P bsdtar strips leading "/" and refuses ".." and paths through links.
    static Tools bsdtarTools(const QString &program = QStringLiteral("bsdtar"));

    explicit ZipExpander(Tools tools = platformTools());

    const Tools &tools() const { return m_tools; }

    // The archive's listing in ToolResult::output. Success is an exit status of 0.
    ToolResult list(const QString &archivePath) const;

    // Expands into `folder`, an existing folder. Success is an exit status of 0.
    ToolResult expand(const QString &archivePath, const QString &folder, const ToolCommand::Check &keepGoing = {}) const;

private:
    Tools m_tools;
};
