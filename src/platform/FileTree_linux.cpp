#include "FileTree.h"

#include <filesystem>
#include <system_error>

#include "models/ZelvoError.h"

namespace fs = std::filesystem;

namespace {

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
        fs::copy_file(from, to); // keeps the mode; fails if `to` exists
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
        throw ZelvoError(QString::fromStdString(error.what()));
    }
}

} // namespace FileTree
