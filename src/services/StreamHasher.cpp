#include "StreamHasher.h"

#include <unistd.h>

#include <algorithm>

StreamHasher::~StreamHasher()
{
    stop();
}

void StreamHasher::start(int fd, qint64 kept)
{
    stop();
    for (QByteArray &buffer : m_buffers)
        if (buffer.isEmpty())
            buffer = QByteArray(bufferSize, Qt::Uninitialized);
    m_free.clear();
    for (int index = 0; index < bufferCount; ++index)
        m_free.push_back(index);
    m_filled.clear();
    m_current = -1;
    m_final = false;
    m_stopping = false;
    m_failed = false;
    m_result.clear();
    m_hash.reset();
    m_thread = std::thread([this, fd, kept] { run(fd, kept); });
}

char *StreamHasher::buffer()
{
    if (m_current < 0) {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [&] { return !m_free.empty(); });
        m_current = m_free.front();
        m_free.pop_front();
    }
    return m_buffers[m_current].data();
}

void StreamHasher::handOver(qint64 count)
{
    if (m_current < 0 || count <= 0)
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_filled.push_back({std::exchange(m_current, -1), count});
    }
    m_wake.notify_all();
}

std::optional<QByteArray> StreamHasher::finish()
{
    if (!m_thread.joinable())
        return std::nullopt;
    {
        const std::lock_guard lock(m_mutex);
        m_final = true;
    }
    m_wake.notify_all();
    m_thread.join();
    if (m_failed)
        return std::nullopt;
    return m_result;
}

void StreamHasher::stop()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

bool StreamHasher::hashKept(int fd, qint64 kept)
{
    QByteArray buffer(bufferSize, Qt::Uninitialized);
    for (qint64 done = 0; done < kept;) {
        const ssize_t count = ::pread(fd, buffer.data(), size_t(std::min<qint64>(buffer.size(), kept - done)), done);
        if (count <= 0)
            return false;
        m_hash.update(buffer.constData(), count);
        done += count;
    }
    return true;
}

void StreamHasher::run(int fd, qint64 kept)
{
    // A failure still takes every buffer handed over, so the writer never waits for nothing.
    if (!hashKept(fd, kept)) {
        const std::lock_guard lock(m_mutex);
        m_failed = true;
    }
    for (;;) {
        Filled filled{};
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stopping || m_final || !m_filled.empty(); });
            if (m_stopping)
                return;
            if (m_filled.empty()) {
                if (!m_failed)
                    m_result = m_hash.result();
                return;
            }
            filled = m_filled.front();
            m_filled.pop_front();
        }
        if (!m_failed)
            m_hash.update(m_buffers[filled.index].constData(), filled.count);
        {
            const std::lock_guard lock(m_mutex);
            m_free.push_back(filled.index);
        }
        m_wake.notify_all();
    }
}
