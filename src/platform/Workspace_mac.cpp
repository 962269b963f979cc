#include "Workspace.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <vector>

#include <libproc.h>
#include <sys/types.h>

Workspace::Tools Workspace::platformTools()
{
    return openTools();
}

bool Workspace::isApplicationRunning(const QString &bundlePath)
{
    const QString canonical = QFileInfo(bundlePath).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    // An app's processes run executables inside its Contents folder (the main
    // one, helpers, XPC services); the kernel reports their resolved paths.
    const QByteArray prefix = QFile::encodeName(canonical) + "/Contents/";
    const int count = proc_listallpids(nullptr, 0);
    if (count <= 0)
        return false;
    // Room for processes started between the two calls.
    std::vector<pid_t> pids(size_t(count) + 64);
    const int listed = proc_listallpids(pids.data(), int(pids.size() * sizeof(pid_t)));
    for (int i = 0; i < listed && i < int(pids.size()); ++i) {
        char path[PROC_PIDPATHINFO_MAXSIZE];
        if (proc_pidpath(pids[size_t(i)], path, sizeof path) > 0 &&
            std::strncmp(path, prefix.constData(), size_t(prefix.size())) == 0)
            return true;
    }
    return false;
}
