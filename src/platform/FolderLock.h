#pragma once

#include <QString>

// A folder claimed by this process for as long as the object lives. The claim
// is an advisory lock on the folder itself, which the system releases when
// the process ends however it ends (even kill -9), so whatever a crash leaves
// behind can be told from folders a live process is still filling.
class FolderLock final
{
public:
    // Creates the folder (it must not exist yet) and claims it. Throws
    // ZelvoError with the system's text when it cannot.
    static FolderLock create(const QString &path);

    // Claims an existing folder, or returns an inactive lock when another
    // process holds it or it cannot be opened.
    static FolderLock tryClaim(const QString &path);

    FolderLock() = default;
    FolderLock(FolderLock &&other) noexcept;
    FolderLock &operator=(FolderLock &&other) noexcept;
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;
    ~FolderLock();

    bool active() const { return m_fd >= 0; }

private:
    explicit FolderLock(int fd) : m_fd(fd) {}

    int m_fd = -1;
};
