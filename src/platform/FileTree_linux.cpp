#include "FileTree.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "models/ZelvoError.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void throwCopyError(const fs::path &from, const fs::path &to, int error)
{
    throw fs::filesystem_error("cannot copy file", from, to, std::error_code(error, std::generic_category()));
}

// A regular file with its mode; fails if `to` exists. Written out by hand
// because std::filesystem::copy_file reports a copy that a full disk cut
// short as "Input/output error"; here the system's own reason ("No space
// left on device") reaches the user.
void copyFile(const fs::path &from, const fs::path &to, fs::perms mode)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        throwCopyError(from, to, errno);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        throwCopyError(from, to, error);
    }
    int error = 0;
    std::vector<char> buffer(1 << 20);
    while (error == 0) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got == 0)
            break;
        if (got < 0) {
            error = errno == EINTR ? 0 : errno;
            continue;
        }
        // A short write is what a filling disk does; writing the rest gives the reason.
        for (ssize_t done = 0; error == 0 && done < got;) {
            const ssize_t put = ::write(out, buffer.data() + done, size_t(got - done));
            if (put > 0)
                done += put;
            else if (put == 0)
                error = ENOSPC;
            else if (errno != EINTR)
                error = errno;
        }
    }
    if (error == 0 && ::fchmod(out, mode_t(mode)) != 0)
        error = errno;
    ::close(in);
    // Some file systems report only at close that the data did not fit.
    if (::close(out) != 0 && error == 0)
        error = errno;
    if (error != 0)
        throwCopyError(from, to, error);
}

void copyEntry(const fs::path &from, const fs::path &to)
{
    const fs::file_status status = fs::symlink_status(from);
    switch (status.type()) {
    case fs::file_type::symlink:
        fs::copy_symlink(from, to);
        break;
    case fs::file_type::directory:
        // Created writable and given its own mode last, so that a read-only
        // folder can still be filled.
        if (!fs::create_directory(to))
            throw fs::filesystem_error("cannot create directory", to, std::make_error_code(std::errc::file_exists));
        for (const auto &entry : fs::directory_iterator(from))
            copyEntry(entry.path(), to / entry.path().filename());
        fs::permissions(to, status.permissions());
        break;
    case fs::file_type::regular:
        copyFile(from, to, status.permissions());
        break;
    default:
        // Sockets, pipes and devices have no place in a bundle.
        break;
    }
}

} // namespace

namespace FileTree {

void copy(const QString &from, const QString &to)
{
    try {
        copyEntry(fs::path(from.toStdString()), fs::path(to.toStdString()));
    } catch (const fs::filesystem_error &error) {
        throw ZelvoError(QString::fromLocal8Bit(error.code().message()));
    }
}

} // namespace FileTree
