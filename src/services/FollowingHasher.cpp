#include "FollowingHasher.h"

#include <unistd.h>

#include <algorithm>

FollowingHasher::~FollowingHasher()
{
    stop();
}

void FollowingHasher::start(int fd)
{
    stop();
    m_fd = fd;
    m_target = 0;
    m_final = false;
    m_stopping = false;
    m_failed = false;
    m_result.clear();
    m_hash.reset();
    m_thread = std::thread([this] { run(); });
}

void FollowingHasher::written(qint64 upTo)
{
    {
        const std::lock_guard lock(m_mutex);
        m_target = upTo;
    }
    m_wake.notify_one();
}

std::optional<QByteArray> FollowingHasher::finish(qint64 size)
{
    if (!m_thread.joinable())
        return std::nullopt;
    {
        const std::lock_guard lock(m_mutex);
        m_target = size;
        m_final = true;
    }
    m_wake.notify_one();
    m_thread.join();
    if (m_failed)
        return std::nullopt;
    return m_result;
}

void FollowingHasher::stop()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void FollowingHasher::run()
{
    QByteArray buffer(1024 * 1024, Qt::Uninitialized);
    qint64 done = 0;
    for (;;) {
        qint64 target = 0;
        bool final = false;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stopping || m_final || m_target > done; });
            if (m_stopping)
                return;
            target = m_target;
            final = m_final;
        }
        while (done < target) {
            const ssize_t count =
                ::pread(m_fd, buffer.data(), size_t(std::min<qint64>(buffer.size(), target - done)), done);
            if (count <= 0) {
                m_failed = true;
                return;
            }
            m_hash.update(buffer.constData(), count);
            done += count;
        }
        if (final) {
            m_result = m_hash.result();
            return;
        }
    }
}
