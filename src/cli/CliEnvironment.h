#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Where `zelvo` finds the library, the cache, the installed applications and
// the outside services. The folders are the window's own (XDG on Linux, the
// user's Library folders on macOS, moved by the same variables as the
// window's); a few more let scripts and tests point the tool elsewhere.
struct CliEnvironment
{
    QString libraryFolder;
    QString cacheFolder;
    QStringList applicationFolders;
    QString installTarget;
    QString brewApi;        // empty: the service's own default
    QStringList brewPaths;  // empty: the service's own default

    static CliEnvironment from(const QProcessEnvironment &environment);
    static CliEnvironment fromProcess() { return from(QProcessEnvironment::systemEnvironment()); }
    // The variables and what they change, for the help text.
    static QString variablesHelp();
};
