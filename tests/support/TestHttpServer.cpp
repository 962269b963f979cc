#include "TestHttpServer.h"

#include <QFile>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <memory>

#include <sys/socket.h>

TestHttpServer::TestHttpServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (auto *socket = m_server.nextPendingConnection())
            handleConnection(socket);
    });
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        qFatal("TestHttpServer: cannot listen on 127.0.0.1");
}

TestHttpServer::~TestHttpServer() = default;

QUrl TestHttpServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path));
}

void TestHttpServer::route(const QString &path, Reply reply)
{
    m_routes.insert(path, std::move(reply));
}

void TestHttpServer::routeBody(const QString &path, QByteArray body, QByteArray contentType)
{
    Reply reply;
    reply.body = std::move(body);
    reply.headers.append({"Content-Type", std::move(contentType)});
    route(path, std::move(reply));
}

void TestHttpServer::routeRedirect(const QString &path, const QString &location, int status)
{
    Reply reply;
    reply.status = status;
    reply.headers.append({"Location", location.toUtf8()});
    route(path, std::move(reply));
}

void TestHttpServer::routeHandler(const QString &path, std::function<Reply(const QByteArray &)> handler)
{
    m_handlers.insert(path, std::move(handler));
}

void TestHttpServer::handleConnection(QTcpSocket *socket)
{
    socket->setParent(this);
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
        buffer->append(socket->readAll());
        const auto end = buffer->indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray requestLine = buffer->left(buffer->indexOf("\r\n"));
        m_heads.append(buffer->left(end));
        buffer->clear();
        const auto parts = requestLine.split(' ');
        const QByteArray target = parts.size() > 1 ? parts.at(1) : QByteArray("/");
        m_requests.append(target);
        respond(socket, target);
    });
}

void TestHttpServer::respond(QTcpSocket *socket, const QByteArray &target)
{
    const QString path = QString::fromUtf8(target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?')));
    Reply reply;
    if (const auto handler = m_handlers.constFind(path); handler != m_handlers.cend())
        reply = (*handler)(target);
    else if (const auto canned = m_routes.constFind(path); canned != m_routes.cend())
        reply = *canned;
    else {
        reply.status = 404;
        reply.body = "not found";
    }
    if (reply.stall)
        return;

    QByteArray body = reply.body;
    if (!reply.bodyFile.isEmpty()) {
        QFile file(reply.bodyFile);
        if (file.open(QIODevice::ReadOnly))
            body = file.readAll();
    }

    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " Status\r\n";
    for (const auto &[name, value] : reply.headers)
        head += name + ": " + value + "\r\n";
    if (reply.sendContentLength)
        head += "Content-Length: " + QByteArray::number(reply.contentLength >= 0 ? reply.contentLength : body.size()) +
                "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head);

    if (reply.resetAfter >= 0) {
        socket->write(body.left(reply.resetAfter));
        // Late enough for the client to have read the bytes; then no orderly
        // end: a zero linger time makes the close a reset.
        QTimer::singleShot(100, socket, [socket] {
            const struct linger abrupt{1, 0};
            ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
            socket->abort();
        });
        return;
    }
    if (reply.hold) {
        socket->write(body);
        m_held.append(socket);
        return;
    }
    if (reply.chunkSize <= 0) {
        socket->write(body);
        socket->disconnectFromHost();
        return;
    }
    // Drip the body from a timer so the client sees progress over time.
    auto offset = std::make_shared<qsizetype>(0);
    auto *timer = new QTimer(socket);
    timer->setInterval(reply.chunkIntervalMs);
    QPointer<QTcpSocket> guard(socket);
    connect(timer, &QTimer::timeout, socket, [guard, timer, offset, body, size = reply.chunkSize] {
        if (!guard)
            return;
        guard->write(body.mid(*offset, size));
        *offset += size;
        if (*offset >= body.size()) {
            timer->stop();
            guard->disconnectFromHost();
        }
    });
    timer->start();
}

void TestHttpServer::push(const QByteArray &bytes)
{
    for (const auto &socket : std::as_const(m_held)) {
        if (socket)
            socket->write(bytes);
    }
}

void TestHttpServer::closeHeld()
{
    for (const auto &socket : std::as_const(m_held)) {
        if (socket)
            socket->disconnectFromHost();
    }
    m_held.clear();
}

int TestHttpServer::heldCount() const
{
    return static_cast<int>(std::count_if(m_held.cbegin(), m_held.cend(), [](const auto &socket) {
        return socket && socket->state() == QAbstractSocket::ConnectedState;
    }));
}
