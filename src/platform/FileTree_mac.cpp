#include "FileTree.h"

#include <copyfile.h>

#include <cerrno>
#include <cstring>

#include "models/ZelvoError.h"

namespace FileTree {

void copy(const QString &from, const QString &to)
{
    // Data, modes, ACLs and extended attributes; links are copied as links.
    // On APFS each file is cloned (its blocks shared until either copy
    // changes), so a gigabyte bundle lands at once; elsewhere copyfile falls
    // back to copying the data.
    const copyfile_flags_t flags =
        COPYFILE_ALL | COPYFILE_RECURSIVE | COPYFILE_NOFOLLOW | COPYFILE_EXCL | COPYFILE_CLONE;
    if (copyfile(from.toUtf8().constData(), to.toUtf8().constData(), nullptr, flags) != 0)
        throw ZelvoError(QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace FileTree
