#include "Workspace.h"

#include <QFileInfo>
#include <QUrl>

#include "models/ZelvoError.h"

namespace {

// Absolute, so that no path is ever read as an option of the tool.
QString absolutePath(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

QString openTarget(const QString &pathOrUrl)
{
    const QUrl url(pathOrUrl);
    if (url.isLocalFile())
        return absolutePath(url.toLocalFile());
    if (url.scheme().size() > 1) // not a drive letter, not a bare path
        return pathOrUrl;
    return absolutePath(pathOrUrl);
}

} // namespace

Workspace::Workspace(Tools tools) : m_tools(std::move(tools)) {}

Workspace::Tools Workspace::openTools(const QString &program)
{
    return {{program, {"{target}"}}, {program, {"-R", "{path}"}}, {program, {"{path}"}}};
}

Workspace::Tools Workspace::xdgOpenTools(const QString &program)
{
    return {{program, {"{target}"}}, {program, {"{folder}"}}, {program, {"{path}"}}};
}

void Workspace::open(const QString &pathOrUrl) const
{
    m_tools.open.bound({{QStringLiteral("target"), openTarget(pathOrUrl)}}).startDetached();
}

void Workspace::openAndWait(const QString &path) const
{
    const ToolCommand command = m_tools.open.bound({{QStringLiteral("target"), absolutePath(path)}});
    const ToolResult result = command.run();
    if (result.succeeded())
        return;
    if (result.outcome == ToolResult::Outcome::FailedToStart)
        throw ZelvoError(result.errorText);
    const QString said = QString::fromLocal8Bit(result.errorOutput).trimmed();
    if (!said.isEmpty())
        throw ZelvoError(said);
    if (result.outcome == ToolResult::Outcome::Exited)
        throw ZelvoError(QStringLiteral("%1 无法打开文件，退出码: %2").arg(command.displayName()).arg(result.exitCode));
    throw ZelvoError(QStringLiteral("%1 无法打开文件：%2").arg(command.displayName(), result.errorText));
}

void Workspace::reveal(const QString &path) const
{
    const QFileInfo item(absolutePath(path));
    const QString folder = item.isDir() ? item.absoluteFilePath() : item.absolutePath();
    m_tools.reveal.bound({{QStringLiteral("path"), item.absoluteFilePath()}, {QStringLiteral("folder"), folder}})
        .startDetached();
}

void Workspace::launchApp(const QString &bundlePath) const
{
    m_tools.launch.bound({{QStringLiteral("path"), absolutePath(bundlePath)}}).startDetached();
}
