#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

// A SHA-256 fed piece by piece, over OpenSSL's libcrypto: it uses the CPU's
// SHA instructions and keeps pace with a loopback download, where Qt's own
// implementation would halve the throughput.
class Sha256 final
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void reset();
    void update(const char *data, qint64 size);
    // The 32-byte digest; the state starts over afterwards.
    QByteArray result();

    // The digest of a file's first `length` bytes (all when negative);
    // nothing when it cannot be read that far.
    static std::optional<QByteArray> ofFile(const QString &path, qint64 length = -1);
    // A record's checksum as 32 bytes: 64 hex digits, any case, spaces
    // around ignored. Anything else (empty, "no_check", garbage) is none.
    static std::optional<QByteArray> fromHex(const QString &text);

private:
    struct State;
    std::unique_ptr<State> m_state;
};
