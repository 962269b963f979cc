#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

// A real web server (nginx, Python's http.server) as a child process on a
// free port of 127.0.0.1, stopped when this goes away.
class RealServer final
{
public:
    using Arguments = std::function<QStringList(quint16 port)>;

    ~RealServer();

    // Starts program (looked up in PATH and the usual sbin folders) and waits
    // until the port answers; the free port found may be taken before the
    // server binds it, so it tries again. Empty text when it answers, else why not.
    QString start(const QString &program, const Arguments &arguments);
    // nginx serving root (autoindex on) with its state under prefix. With a
    // host name it speaks TLS only, with a certificate made for that name
    // (certificate() then has it, for the client to trust).
    QString startNginx(const QString &prefix, const QString &root, const QString &tlsHost = {});
    QByteArray certificate() const { return m_certificate; }

    quint16 port() const { return m_port; }
    QString url(const QString &path = QStringLiteral("/")) const;

private:
    QProcess m_process;
    quint16 m_port = 0;
    QByteArray m_certificate;
};
