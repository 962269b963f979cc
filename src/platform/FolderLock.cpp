#include "FolderLock.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "models/ZelvoError.h"

namespace {

int openAndLock(const QByteArray &path)
{
    // Close-on-exec: a tool started meanwhile must not keep the claim alive
    // after this process is gone.
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

FolderLock FolderLock::create(const QString &path)
{
    const QByteArray native = path.toLocal8Bit();
    const auto fail = [&] { throw ZelvoError(QStringLiteral("%1: %2").arg(QString::fromLocal8Bit(std::strerror(errno)), path)); };
    if (::mkdir(native.constData(), 0700) != 0)
        fail();
    const int fd = openAndLock(native);
    if (fd < 0)
        fail();
    // Between mkdir and flock another process's sweep may have taken the
    // unclaimed folder for litter; only the folder still at the path counts.
    struct stat held = {}, named = {};
    if (::fstat(fd, &held) != 0 || ::lstat(native.constData(), &named) != 0 || held.st_ino != named.st_ino ||
        held.st_dev != named.st_dev) {
        ::close(fd);
        errno = ENOENT;
        fail();
    }
    return FolderLock(fd);
}

FolderLock FolderLock::tryClaim(const QString &path)
{
    return FolderLock(openAndLock(path.toLocal8Bit()));
}

FolderLock::FolderLock(FolderLock &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

FolderLock &FolderLock::operator=(FolderLock &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

FolderLock::~FolderLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}
