#pragma once

#include <QByteArray>

#include <memory>

class QNetworkReply;

// A reply's body read as it arrives, counted as it is read (a fast server
// delivers megabytes between two progress reports), and refused, the reply
// aborted, the moment it announces or passes its cap.
class BoundedBody final
{
public:
    // Reads the reply from now on; take() once more when it has finished.
    static std::shared_ptr<BoundedBody> attach(QNetworkReply *reply, qint64 cap);

    void take();
    bool tooLarge() const { return m_tooLarge; }
    const QByteArray &bytes() const { return m_bytes; }

private:
    BoundedBody(QNetworkReply *reply, qint64 cap) : m_reply(reply), m_cap(cap) {}

    QNetworkReply *m_reply;
    qint64 m_cap;
    QByteArray m_bytes;
    bool m_tooLarge = false;
};
