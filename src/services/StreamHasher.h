#pragma once

#include <QByteArray>

#include <array>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "services/Sha256.h"

// Hashes a download on a thread of its own from the very buffers the
// transfer writes to disk, so the bytes are never read back from the file
// and the thread that reads the socket pays nothing for the digest. Bytes
// kept from an earlier try are read from the file once, first.
//
// The writer takes a buffer, fills it, writes it out and hands it over; it
// waits only when every buffer is still being hashed, which bounds memory.
class StreamHasher final
{
public:
    static constexpr qsizetype bufferSize = 1024 * 1024;

    StreamHasher() = default;
    ~StreamHasher();
    StreamHasher(const StreamHasher &) = delete;
    StreamHasher &operator=(const StreamHasher &) = delete;

    // Starts over (stopping any earlier run): the first `kept` bytes of fd
    // are hashed before anything handed over. fd must stay open until
    // finish() or stop() returns.
    void start(int fd, qint64 kept);
    // A buffer of bufferSize bytes to fill; the same one until it is handed over.
    char *buffer();
    // The first `count` bytes of buffer() follow what was handed over before.
    void handOver(qint64 count);
    // Waits until everything handed over is hashed; nothing when the kept
    // bytes could not be read.
    std::optional<QByteArray> finish();
    void stop();

private:
    void run(int fd, qint64 kept);
    bool hashKept(int fd, qint64 kept);

    static constexpr int bufferCount = 4;
    struct Filled
    {
        int index;
        qint64 count;
    };

    std::array<QByteArray, bufferCount> m_buffers;
    int m_current = -1; // the writer's buffer; -1: none taken yet
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<int> m_free;
    std::deque<Filled> m_filled;
    bool m_final = false;
    bool m_stopping = false;
    bool m_failed = false;
    Sha256 m_hash;
    QByteArray m_result;
};
