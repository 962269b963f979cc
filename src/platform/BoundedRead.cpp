#include "BoundedRead.h"

#include <QFile>
#include <QIODevice>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace BoundedRead {

namespace {

Result failure(Status status, int error = 0)
{
    return {status, {}, error ? QString::fromLocal8Bit(std::strerror(error)) : QString()};
}

constexpr qint64 chunkSize = 1 << 16;

} // namespace

Result regularFile(const QString &path, qint64 limit)
{
    // Non-blocking, so that opening a FIFO returns at once and fstat can refuse it.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return failure(errno == ENOENT ? Status::missing : Status::failed, errno);
    struct stat info = {};
    Result result;
    if (::fstat(fd, &info) != 0) {
        result = failure(Status::failed, errno);
    } else if (S_ISDIR(info.st_mode)) {
        result = failure(Status::failed, EISDIR);
    } else if (!S_ISREG(info.st_mode)) {
        result = failure(Status::notRegularFile);
    } else if (info.st_size > limit) {
        result = failure(Status::tooLarge);
    } else {
        QFile file;
        if (!file.open(fd, QIODevice::ReadOnly))
            result = failure(Status::failed, EIO);
        else
            result = device(file, limit); // it may have grown since fstat
    }
    ::close(fd);
    return result;
}

Result device(QIODevice &device, qint64 limit)
{
    Result result{Status::ok, {}, {}};
    if (!device.isSequential())
        result.bytes.reserve(std::min(limit, device.size()) + 1);
    for (;;) {
        const qsizetype before = result.bytes.size();
        // A file of known size is read in one go into the room reserved for it.
        const qint64 want = std::min(std::max(chunkSize, result.bytes.capacity() - before), limit + 1 - before);
        result.bytes.resize(before + want);
        const qint64 got = device.read(result.bytes.data() + before, want);
        result.bytes.resize(before + std::max<qint64>(got, 0));
        if (got < 0)
            return {Status::failed, {}, device.errorString()};
        if (result.bytes.size() > limit)
            return failure(Status::tooLarge);
        // The room grown for this last, empty read stays after the bytes;
        // the library's JSON reader parses in place when it finds 64 bytes.
        if (got == 0)
            return result;
    }
}

} // namespace BoundedRead
