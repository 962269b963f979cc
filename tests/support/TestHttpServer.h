#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <functional>

// A small HTTP/1.1 server on 127.0.0.1 (random port) for tests. Each route
// answers one path with a canned reply that can redirect, fail, drip slowly,
// leave out Content-Length, break off or never answer at all. Routed by a
// whole address ("http://host/path") it serves as a plain HTTP proxy.
class TestHttpServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TestHttpServer)

public:
    struct Reply
    {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        bool sendContentLength = true;
        int chunkSize = 0;       // > 0: write the body in chunks of this size...
        int chunkIntervalMs = 0; // ...this many milliseconds apart
        bool stall = false;      // accept the request and never answer
        QString bodyFile;        // stream the body from this file instead of `body`
        qint64 contentLength = -1; // >= 0: announce this length whatever is sent (cut a body short)
        bool hold = false;       // send head and body, then keep the connection open for push()
        qint64 resetAfter = -1;  // >= 0: send head and this many body bytes, then reset the connection
    };

    explicit TestHttpServer(QObject *parent = nullptr);
    ~TestHttpServer() override;

    QUrl url(const QString &path = QStringLiteral("/")) const;
    quint16 port() const { return m_server.serverPort(); }

    void route(const QString &path, Reply reply);
    void routeBody(const QString &path, QByteArray body, QByteArray contentType = "application/octet-stream");
    void routeRedirect(const QString &path, const QString &location, int status = 302);
    // Computes the reply per request (path and query, method).
    void routeHandler(const QString &path, std::function<Reply(const QByteArray &target)> handler);

    // Writes more body bytes to every connection kept open by a `hold` reply;
    // closeHeld() ends them.
    void push(const QByteArray &bytes);
    void closeHeld();
    int heldCount() const;

    // Request targets (path + query) in arrival order, and their whole heads
    // (request line and header lines); a handler sees its own request last.
    const QList<QByteArray> &requests() const { return m_requests; }
    const QList<QByteArray> &requestHeads() const { return m_heads; }

private:
    void handleConnection(QTcpSocket *socket);
    void respond(QTcpSocket *socket, const QByteArray &target);

    QTcpServer m_server;
    QHash<QString, Reply> m_routes;
    QHash<QString, std::function<Reply(const QByteArray &)>> m_handlers;
    QList<QByteArray> m_requests;
    QList<QByteArray> m_heads;
    QList<QPointer<QTcpSocket>> m_held;
};
