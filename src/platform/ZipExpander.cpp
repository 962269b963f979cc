#include "ZipExpander.h"

namespace {

// Dates in the listing are read by pattern, so they must not come in the
// user's language.
ToolCommand lister(const QString &program)
{
    ToolCommand command{program, {"-tvf", "{archive}"}};
    command.environment = QStringList{QStringLiteral("LC_ALL=C")};
    command.outputLimit = 64 * 1024 * 1024;
    return command;
}

} // namespace

ZipExpander::ZipExpander(Tools tools) : m_tools(std::move(tools)) {}

ZipExpander::Tools ZipExpander::dittoTools(const QString &program, const QString &listProgram)
{
    return {lister(listProgram), {program, {"-xk", "{archive}", "{folder}"}}};
}

ZipExpander::Tools ZipExpander::bsdtarTools(const QString &program)
{
    return {lister(program), {program, {"-xf", "{archive}", "-C", "{folder}"}}};
}

ToolResult ZipExpander::list(const QString &archivePath) const
{
    return m_tools.list.bound({{QStringLiteral("archive"), archivePath}}).run();
}

ToolResult ZipExpander::expand(const QString &archivePath, const QString &folder,
                               const ToolCommand::Check &keepGoing) const
{
    return m_tools.expand.bound({{QStringLiteral("archive"), archivePath}, {QStringLiteral("folder"), folder}})
        .run(keepGoing);
}
