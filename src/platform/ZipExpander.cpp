#include "ZipExpander.h"

ZipExpander::ZipExpander(ToolCommand tool) : m_tool(std::move(tool)) {}

ToolCommand ZipExpander::dittoTool(const QString &program)
{
    return {program, {"-xk", "{archive}", "{folder}"}};
}

ToolCommand ZipExpander::bsdtarTool(const QString &program)
{
    return {program, {"-xf", "{archive}", "-C", "{folder}"}};
}

ToolResult ZipExpander::expand(const QString &archivePath, const QString &folder) const
{
    return m_tool.bound({{QStringLiteral("archive"), archivePath}, {QStringLiteral("folder"), folder}}).run();
}
