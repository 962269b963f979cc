#pragma once

#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <QTcpServer>

class QTcpSocket;

// A proxy of the kind browsers meet in offices: it answers CONNECT and then
// passes bytes both ways untouched, so TLS runs end to end through it. Every
// host it is asked for is sent to one local port, which lets a test use a
// made-up name; what it was asked for is kept for the test to check.
class TunnelProxy final : public QTcpServer
{
    Q_OBJECT

public:
    explicit TunnelProxy(quint16 targetPort, QObject *parent = nullptr);

    QString address() const;
    QStringList requested() const { return m_requested; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void readHead(QTcpSocket *client);

    quint16 m_targetPort;
    QStringList m_requested;
    QHash<QTcpSocket *, QByteArray> m_heads;
};
