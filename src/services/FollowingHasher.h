#pragma once

#include <QByteArray>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "services/Sha256.h"

// Hashes a file on a thread of its own while another thread is still
// writing it, never reading past what the writer says is written. A
// download's SHA-256 then costs the thread that reads the socket nothing.
class FollowingHasher final
{
public:
    FollowingHasher() = default;
    ~FollowingHasher();
    FollowingHasher(const FollowingHasher &) = delete;
    FollowingHasher &operator=(const FollowingHasher &) = delete;

    // Starts over from the file's first byte (stopping any earlier run).
    // fd must stay open until finish() or stop() returns.
    void start(int fd);
    // The writer's bytes up to here are on disk.
    void written(qint64 upTo);
    // Waits until the first `size` bytes are hashed; nothing when the file
    // could not be read that far.
    std::optional<QByteArray> finish(qint64 size);
    void stop();

private:
    void run();

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_fd = -1;
    qint64 m_target = 0;
    bool m_final = false;
    bool m_stopping = false;
    bool m_failed = false;
    Sha256 m_hash;
    QByteArray m_result;
};
