#include "DurableFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// On macOS fsync() only reaches the drive's cache; F_FULLFSYNC reaches the
// medium. Some file systems (network shares) refuse it and take fsync().
int flushToDisk(int fd)
{
#ifdef F_FULLFSYNC
    if (::fcntl(fd, F_FULLFSYNC) == 0)
        return 0;
#endif
    return ::fsync(fd) == 0 ? 0 : errno;
}

int writeAll(int fd, const char *data, qsizetype size)
{
    for (qsizetype done = 0; done < size;) {
        const ssize_t put = ::write(fd, data + done, size_t(std::min<qsizetype>(size - done, 1 << 30)));
        if (put > 0)
            done += put;
        else if (put == 0)
            return ENOSPC;
        else if (errno != EINTR)
            return errno;
    }
    return 0;
}

// Created with the process's default mode so that a new file gets what any
// other program would give it; an existing file's mode is carried over.
int createTemporary(const QByteArray &target, QByteArray &temporary)
{
    const qsizetype slash = target.lastIndexOf('/');
    for (;;) {
        temporary = target.left(slash + 1) + '.' + target.mid(slash + 1) + ".tmp-" +
                    QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
}

} // namespace

FileWriteError::FileWriteError(const QString &path, int error)
    : ZelvoError(QStringLiteral("无法写入 %1：%2").arg(path, DurableFile::reasonText(error))), m_error(error)
{
}

namespace DurableFile {

QString reasonText(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("磁盘空间不足");
#ifdef EDQUOT
    case EDQUOT:
        return QStringLiteral("超出磁盘配额");
#endif
    case EFBIG:
        return QStringLiteral("文件超出系统允许的大小");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有写入权限");
    case EROFS:
        return QStringLiteral("所在磁盘为只读");
    case ENOENT:
        return QStringLiteral("文件夹不存在");
    case ENOTDIR:
        return QStringLiteral("路径中有一项不是文件夹");
    case EISDIR:
        return QStringLiteral("同名的文件夹已存在");
    case EIO:
        return QStringLiteral("磁盘读写出错");
    default:
        return QStringLiteral("系统错误：") + QString::fromLocal8Bit(std::strerror(error));
    }
}

void write(const QString &path, const QByteArray &bytes)
{
    const QFileInfo info(path);
    const QString finalPath = info.isSymLink() && info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    const QByteArray target = QFile::encodeName(finalPath);
    QByteArray temporary;
    const int fd = createTemporary(target, temporary);
    if (fd < 0)
        throw FileWriteError(path, errno);

    int error = writeAll(fd, bytes.constData(), bytes.size());
    struct stat existing = {};
    if (error == 0 && ::stat(target.constData(), &existing) == 0 && ::fchmod(fd, existing.st_mode & 07777) != 0)
        error = errno;
    if (error == 0)
        error = flushToDisk(fd);
    // Some file systems (network shares) report only at close that the data did not fit.
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.constData(), target.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        throw FileWriteError(path, error);
    }
    // The new name is only durable once the folder is flushed too. The file
    // is in place by now, so a folder that cannot be flushed (some network
    // shares) is not a failed write.
    const int folder = ::open(target.left(target.lastIndexOf('/') + 1).constData(), O_RDONLY | O_CLOEXEC);
    if (folder >= 0) {
        flushToDisk(folder);
        ::close(folder);
    }
}

} // namespace DurableFile
