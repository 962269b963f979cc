#include "FileSpace.h"

#include <cerrno>

#include <fcntl.h>
#include <linux/falloc.h>

namespace FileSpace {

int reserve(int fd, qint64 from, qint64 length)
{
    if (length <= 0)
        return 0;
    // KEEP_SIZE: the size keeps telling how much arrived, which is what a later resume continues from.
    if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, from, length) == 0)
        return 0;
    const int error = errno;
    return error == ENOSPC || error == EDQUOT || error == EFBIG ? error : 0;
}

} // namespace FileSpace
