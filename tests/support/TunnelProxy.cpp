#include "support/TunnelProxy.h"

#include <QTcpSocket>

TunnelProxy::TunnelProxy(quint16 targetPort, QObject *parent) : QTcpServer(parent), m_targetPort(targetPort)
{
    listen(QHostAddress::LocalHost, 0);
}

QString TunnelProxy::address() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(serverPort());
}

void TunnelProxy::incomingConnection(qintptr descriptor)
{
    auto *client = new QTcpSocket(this);
    client->setSocketDescriptor(descriptor);
    connect(client, &QTcpSocket::readyRead, this, [this, client] { readHead(client); });
    connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
}

void TunnelProxy::readHead(QTcpSocket *client)
{
    QByteArray &head = m_heads[client];
    head += client->readAll();
    const qsizetype end = head.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const QByteArray rest = head.mid(end + 4);
    const QList<QByteArray> words = head.left(head.indexOf("\r\n")).split(' ');
    m_heads.remove(client);
    disconnect(client, &QTcpSocket::readyRead, this, nullptr);
    if (words.size() < 2 || words[0] != "CONNECT") {
        client->write("HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        client->disconnectFromHost();
        return;
    }
    m_requested.append(QString::fromLatin1(words[1]));

    auto *server = new QTcpSocket(client);
    connect(server, &QTcpSocket::connected, client, [client, server, rest] {
        client->write("HTTP/1.1 200 Connection established\r\n\r\n");
        server->write(rest);
        connect(client, &QTcpSocket::readyRead, server, [client, server] { server->write(client->readAll()); });
        connect(server, &QTcpSocket::readyRead, client, [client, server] { client->write(server->readAll()); });
        connect(server, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
        connect(client, &QTcpSocket::disconnected, server, &QTcpSocket::disconnectFromHost);
        server->write(client->readAll());
    });
    connect(server, &QTcpSocket::errorOccurred, client, [client] {
        client->write("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        client->disconnectFromHost();
    });
    server->connectToHost(QHostAddress::LocalHost, m_targetPort);
}
