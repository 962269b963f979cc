#include "UninstallService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

#include "models/ZelvoError.h"
#include "platform/Workspace.h"

namespace {

void appendStrings(const QJsonValue &value, QStringList &out)
{
    if (value.isString())
        out << value.toString();
    else if (value.isArray())
        for (const QJsonValue &entry : value.toArray())
            if (entry.isString())
                out << entry.toString();
}

QString expandHome(const QString &path)
{
    if (path == QLatin1String("~"))
        return QDir::homePath();
    if (path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

bool hasWildcard(const QString &text)
{
    return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?')) || text.contains(QLatin1Char('['));
}

} // namespace

UninstallService::UninstallService(QStringList allowedFolders, RunningCheck isRunning)
    : m_isRunning(isRunning ? std::move(isRunning) : defaultRunningCheck())
{
    for (const QString &folder : allowedFolders) {
        const QString canonical = QFileInfo(folder).canonicalFilePath();
        if (!canonical.isEmpty() && canonical != QLatin1String("/"))
            m_allowed << canonical;
    }
}

UninstallService::RunningCheck UninstallService::defaultRunningCheck()
{
    return &Workspace::isApplicationRunning;
}

QStringList UninstallService::zapPatterns(const QJsonObject &cask)
{
    QStringList patterns;
    for (const QJsonValue &artifact : cask.value(QLatin1String("artifacts")).toArray()) {
        for (const QJsonValue &zap : artifact.toObject().value(QLatin1String("zap")).toArray()) {
            const QJsonObject stanza = zap.toObject();
            appendStrings(stanza.value(QLatin1String("trash")), patterns);
            appendStrings(stanza.value(QLatin1String("delete")), patterns);
        }
    }
    return patterns;
}

QStringList UninstallService::leftovers(const QJsonObject &cask) const
{
    QStringList found;
    for (const QString &pattern : zapPatterns(cask)) {
        const QString path = QDir::cleanPath(expandHome(pattern));
        if (!QDir::isAbsolutePath(path))
            continue;
        const QFileInfo item(path);
        QStringList candidates;
        if (hasWildcard(item.fileName())) {
            if (hasWildcard(item.path()))
                continue;
            const QDir folder(item.path());
            for (const QString &name : folder.entryList({item.fileName()}, QDir::AllEntries | QDir::Hidden |
                                                                             QDir::System | QDir::NoDotAndDotDot))
                candidates << folder.filePath(name);
        } else if (item.exists() || item.isSymLink()) {
            candidates << path;
        }
        for (const QString &candidate : std::as_const(candidates))
            if (mayRemove(candidate) && !found.contains(candidate))
                found << candidate;
    }
    return found;
}

bool UninstallService::mayRemove(const QString &path) const
{
    const QString cleaned = QDir::cleanPath(path);
    if (!QDir::isAbsolutePath(cleaned) || cleaned.contains(QLatin1String("/../")) || cleaned.endsWith(QLatin1String("/..")))
        return false;
    // The folder holding the item, with every link in it resolved, must lie
    // inside an allowed folder; the item itself may be a link, which moves
    // as the link.
    const QFileInfo item(cleaned);
    const QString parent = QFileInfo(item.path()).canonicalFilePath();
    if (parent.isEmpty())
        return false;
    const QString resolved = parent + QLatin1Char('/') + item.fileName();
    for (const QString &allowed : m_allowed)
        if (resolved.startsWith(allowed + QLatin1Char('/')))
            return true;
    return false;
}

void UninstallService::checkRemovable(const QString &bundlePath) const
{
    const QFileInfo bundle(bundlePath);
    if (!bundle.exists() && !bundle.isSymLink())
        throw ZelvoError(QStringLiteral("未找到应用：") + bundlePath);
    if (!mayRemove(bundle.absoluteFilePath()))
        throw ZelvoError(QStringLiteral("此应用不在用户目录或安装目录中，无法卸载：") + bundlePath);
    if (m_isRunning(bundle.absoluteFilePath()))
        throw ZelvoError(QStringLiteral("「%1」正在运行，请先退出该应用再卸载").arg(bundle.completeBaseName()));
}

void UninstallService::trashBundle(const QString &bundlePath) const
{
    checkRemovable(bundlePath);
    QFile bundle(QFileInfo(bundlePath).absoluteFilePath());
    if (!bundle.moveToTrash())
        throw ZelvoError(QStringLiteral("无法将应用移到废纸篓：%1（%2）").arg(bundlePath, bundle.errorString()));
}

QStringList UninstallService::trashLeftovers(const QStringList &paths) const
{
    QStringList failures;
    for (const QString &path : paths) {
        if (!mayRemove(path)) {
            failures << QStringLiteral("不在允许的目录中，未移除：") + path;
            continue;
        }
        QFile item(path);
        if (!item.moveToTrash())
            failures << QStringLiteral("无法移到废纸篓：%1（%2）").arg(path, item.errorString());
    }
    return failures;
}
