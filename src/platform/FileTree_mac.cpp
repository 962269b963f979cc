#include "FileTree.h"

#include <copyfile.h>

#include <cerrno>
#include <cstring>

#include "models/ZelvoError.h"

namespace FileTree {

void copy(const QString &from, const QString &to)
{
    // Data, modes, ACLs and extended attributes; links are copied as links.
    const copyfile_flags_t flags = COPYFILE_ALL | COPYFILE_RECURSIVE | COPYFILE_NOFOLLOW | COPYFILE_EXCL;
    if (copyfile(from.toUtf8().constData(), to.toUtf8().constData(), nullptr, flags) != 0)
        throw ZelvoError(QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace FileTree
