#pragma once

#include <QtGlobal>

#include <sys/resource.h>

// Stands in for a disk that fills up: lowers this process's file-size limit
// for as long as the object lives (SIGXFSZ ignored), so a write past it takes
// what fits and the next one fails with EFBIG ("File too large"). Child
// processes started meanwhile inherit the limit.
class FileSizeLimit final
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit() { end(); }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    bool active() const { return m_active; }
    // The old limit again.
    void end();

private:
    rlimit m_saved{};
    void (*m_savedHandler)(int) = nullptr;
    bool m_active = false;
};
