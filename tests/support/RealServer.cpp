#include "support/RealServer.h"

#include <QDir>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "support/TestFolders.h"

RealServer::~RealServer()
{
    m_process.kill();
    m_process.waitForFinished(3000);
}

QString RealServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

QString RealServer::start(const QString &name, const Arguments &arguments)
{
    QString program = QStandardPaths::findExecutable(name);
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(name,
                                                 {"/usr/sbin", "/usr/local/sbin", "/opt/homebrew/bin", "/usr/local/bin"});
    if (program.isEmpty())
        return name + QStringLiteral(" is not installed: run scripts/setup");
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    for (int attempt = 0; attempt < 3; ++attempt) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        m_process.start(program, arguments(m_port));
        for (int wait = 0; wait < 100 && m_process.waitForStarted(5000); ++wait) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (socket.waitForConnected(100))
                return {};
            if (m_process.state() == QProcess::Running)
                QTest::qWait(50);
        }
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    return name + QStringLiteral(" did not start: ") + QString::fromUtf8(m_process.readAll());
}

QString RealServer::startNginx(const QString &prefix, const QString &root, const QString &tlsHost)
{
    QDir().mkpath(prefix + QStringLiteral("/logs"));
    QString tls;
    if (!tlsHost.isEmpty()) {
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start(QStringLiteral("openssl"),
                      {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=" + tlsHost,
                       "-addext", "subjectAltName=DNS:" + tlsHost, "-keyout", prefix + "/key.pem", "-out",
                       prefix + "/cert.pem"});
        if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
            return QStringLiteral("openssl could not make a certificate: ") + QString::fromUtf8(openssl.readAll());
        m_certificate = TestFolders::readFile(prefix + "/cert.pem");
        tls = QStringLiteral(" ssl; ssl_certificate %1/cert.pem; ssl_certificate_key %1/key.pem").arg(prefix);
    }
    return start(QStringLiteral("nginx"), [&](quint16 port) {
        const QString config =
            QStringLiteral("worker_processes 1; master_process off; daemon off; pid %1/nginx.pid;\n"
                           "error_log %1/logs/error.log;\nevents {}\n"
                           "http { access_log %1/logs/access.log; client_body_temp_path %1/body;\n"
                           "  proxy_temp_path %1/proxy; fastcgi_temp_path %1/fastcgi; uwsgi_temp_path %1/uwsgi;\n"
                           "  scgi_temp_path %1/scgi;\n"
                           "  server { listen 127.0.0.1:%2%4; root %3; autoindex on; } }\n")
                .arg(prefix)
                .arg(port)
                .arg(root, tls);
        TestFolders::writeFile(prefix, QStringLiteral("nginx.conf"), config.toUtf8());
        return QStringList{"-p", prefix, "-e", prefix + "/logs/error.log", "-c", prefix + "/nginx.conf"};
    });
}
