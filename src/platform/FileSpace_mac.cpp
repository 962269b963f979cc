#include "FileSpace.h"

#include <cerrno>

#include <fcntl.h>

namespace FileSpace {

int reserve(int fd, qint64, qint64 length)
{
    if (length <= 0)
        return 0;
    // Counted from the physical end of the file, which the bytes written so
    // far end at; a contiguous run first, then any blocks. The size stays.
    fstore_t store{};
    store.fst_flags = F_ALLOCATECONTIG | F_ALLOCATEALL;
    store.fst_posmode = F_PEOFPOSMODE;
    store.fst_offset = 0;
    store.fst_length = length;
    if (::fcntl(fd, F_PREALLOCATE, &store) == 0)
        return 0;
    store.fst_flags = F_ALLOCATEALL;
    if (::fcntl(fd, F_PREALLOCATE, &store) == 0)
        return 0;
    const int error = errno;
    return error == ENOSPC || error == EDQUOT || error == EFBIG ? error : 0;
}

} // namespace FileSpace
