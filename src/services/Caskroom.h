#pragma once

#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

// What Homebrew has installed as casks, read from its Caskroom folders
// ("<prefix>/Caskroom/<token>/<version>/"): a bundle that came from there is
// updated and removed through brew, never behind its back. Reads only the
// file system, so any thread may use it.
class Caskroom final
{
public:
    // Folders looked at, in order; the first holding a token wins.
    explicit Caskroom(QStringList roots = defaultRoots());

    // "/opt/homebrew/Caskroom", then "/usr/local/Caskroom".
    static QStringList defaultRoots();
    // The Caskroom of each brew ("<prefix>/bin/brew" keeps "<prefix>/Caskroom").
    static QStringList besideBrew(const QStringList &brewPaths);

    // Installed cask tokens with their installed version (the highest when
    // several version folders are left).
    QHash<QString, QString> scan() const;

    // The cask definition Homebrew kept, in its JSON form, when it installed
    // token; nothing when it kept none or only the Ruby form.
    std::optional<QJsonObject> installedCask(const QString &token) const;

    const QStringList &roots() const { return m_roots; }

private:
    QStringList m_roots;
};
