#pragma once

#include <QString>

#include "models/ZelvoError.h"

// Whole file trees (application bundles, work folders), handled without ever
// following a symbolic link: a link is copied, moved or removed as a link.
namespace FileTree {

// Copies the file or folder at `from` to `to`, which must not exist yet.
// Symbolic links stay links with their target text unchanged (frameworks in
// bundles depend on them), file modes are kept, and on macOS extended
// attributes too. Throws ZelvoError whose text is the system's reason alone
// (callers know what they were copying); a partial copy may be left at `to`.
void copy(const QString &from, const QString &to);

// Removes the file, link or folder at `path` with everything inside it,
// making read-only folders writable on the way. Returns false when something
// is left. A missing path counts as removed.
bool remove(const QString &path);

// A failed rename, with the system's error number for callers that explain
// particular refusals (EPERM from macOS's App Management protection).
class RenameError final : public ZelvoError
{
public:
    RenameError(const QString &description, int code) : ZelvoError(description), m_code(code) {}
    int code() const { return m_code; }
    void raise() const override { throw *this; }
    RenameError *clone() const override { return new RenameError(*this); }

private:
    int m_code;
};

// Renames `from` to `to` on the same file system. Throws RenameError with the
// system's text on failure.
void rename(const QString &from, const QString &to);

// The bytes held by the regular files in the tree at `path`, links not followed.
qint64 size(const QString &path);

// Creates the folder and any missing parents; an existing folder is fine.
// Throws ZelvoError with the system's text on failure.
void makeFolder(const QString &path);

// Whether anything, even a dangling symbolic link, exists at `path`.
bool exists(const QString &path);

} // namespace FileTree
