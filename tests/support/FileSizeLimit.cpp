#include "support/FileSizeLimit.h"

#include <csignal>

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    if (getrlimit(RLIMIT_FSIZE, &m_saved) != 0)
        return;
    m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = m_saved;
    small.rlim_cur = rlim_t(bytes);
    m_active = setrlimit(RLIMIT_FSIZE, &small) == 0;
    if (!m_active)
        std::signal(SIGXFSZ, m_savedHandler);
}

void FileSizeLimit::end()
{
    if (!m_active)
        return;
    setrlimit(RLIMIT_FSIZE, &m_saved);
    std::signal(SIGXFSZ, m_savedHandler);
    m_active = false;
}
