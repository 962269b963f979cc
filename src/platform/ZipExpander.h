#pragma once

#include <QString>

#include "platform/ToolCommand.h"

// Expands a ZIP archive into a folder with the system's archive tool: ditto
// on macOS, bsdtar elsewhere. Both refuse entries that would land outside the
// folder ("../", absolute paths, paths through links).
class ZipExpander final
{
public:
    // Placeholders: "{archive}" the archive's path, "{folder}" the target folder.
    static ToolCommand platformTool();
    static ToolCommand dittoTool(const QString &program = QStringLiteral("/usr/bin/ditto"));
    // Without -P bsdtar strips leading "/" and refuses ".." and paths through links.
    static ToolCommand bsdtarTool(const QString &program = QStringLiteral("bsdtar"));

    explicit ZipExpander(ToolCommand tool = platformTool());

    const ToolCommand &tool() const { return m_tool; }

    // Expands into `folder`, an existing folder. Success is an exit status of 0.
    ToolResult expand(const QString &archivePath, const QString &folder) const;

private:
    ToolCommand m_tool;
};
