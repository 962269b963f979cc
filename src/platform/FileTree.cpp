#include "FileTree.h"

#include <filesystem>
#include <system_error>

#include "models/ZelvoError.h"

namespace fs = std::filesystem;

namespace {

fs::path nativePath(const QString &path)
{
    return fs::path(path.toStdString());
}

void makeOwnerWritable(const fs::path &path)
{
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(path, error)))
        return;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, error);
    for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
        makeOwnerWritable(it->path());
}

} // namespace

namespace FileTree {

bool remove(const QString &path)
{
    const fs::path target = nativePath(path);
    std::error_code error;
    fs::remove_all(target, error);
    if (!error)
        return true;
    // A folder without write permission cannot lose its children.
    makeOwnerWritable(target);
    error.clear();
    fs::remove_all(target, error);
    return !error;
}

void rename(const QString &from, const QString &to)
{
    std::error_code error;
    fs::rename(nativePath(from), nativePath(to), error);
    if (error)
        throw RenameError(QStringLiteral("%1: %2 -> %3").arg(QString::fromStdString(error.message()), from, to),
                          error.value());
}

qint64 size(const QString &path)
{
    std::error_code error;
    const fs::path root = nativePath(path);
    if (!fs::is_directory(fs::symlink_status(root, error)))
        return fs::is_regular_file(fs::symlink_status(root, error)) ? qint64(fs::file_size(root, error)) : 0;
    qint64 total = 0;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        // A file that vanished or cannot be read counts as empty.
        std::error_code entryError;
        if (it->symlink_status(entryError).type() != fs::file_type::regular)
            continue;
        const auto bytes = it->file_size(entryError);
        if (!entryError)
            total += qint64(bytes);
    }
    return total;
}

void makeFolder(const QString &path)
{
    std::error_code error;
    fs::create_directories(nativePath(path), error);
    if (error)
        throw ZelvoError(QStringLiteral("%1: %2").arg(QString::fromStdString(error.message()), path));
}

bool exists(const QString &path)
{
    std::error_code error;
    return fs::exists(fs::symlink_status(nativePath(path), error));
}

} // namespace FileTree
