#include "TestServerProcess.h"

#include <QDir>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "support/TestFolders.h"

TestServerProcess::~TestServerProcess()
{
    m_process.kill();
    m_process.waitForFinished(3000);
}

QStringList TestServerProcess::nginxArguments(const QString &prefix, const QString &www, quint16 port)
{
    QDir().mkpath(prefix + QStringLiteral("/logs"));
    const QString config =
        QStringLiteral("worker_processes 1; master_process off; daemon off; pid %1/nginx.pid;\n"
                       "error_log %1/logs/error.log;\nevents {}\n"
                       "http { access_log off; client_body_temp_path %1/body; proxy_temp_path %1/proxy;\n"
                       "  fastcgi_temp_path %1/fastcgi; uwsgi_temp_path %1/uwsgi; scgi_temp_path %1/scgi;\n"
                       "  server { listen 127.0.0.1:%2; root %3; autoindex on; } }\n")
            .arg(prefix)
            .arg(port)
            .arg(www);
    TestFolders::writeFile(prefix, QStringLiteral("nginx.conf"), config.toUtf8());
    return {"-p", prefix, "-e", prefix + "/logs/error.log", "-c", prefix + "/nginx.conf"};
}

bool TestServerProcess::start(const QString &name, const std::function<QStringList(quint16)> &arguments)
{
    QString program = QStandardPaths::findExecutable(name);
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(
            name, {"/usr/sbin", "/usr/local/sbin", "/opt/homebrew/bin", "/usr/local/bin"});
    if (program.isEmpty()) {
        m_error = name + QStringLiteral(" is not installed: run scripts/setup");
        return false;
    }
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // The free port found may be taken before the server binds it: try again.
    bool answers = false;
    for (int attempt = 0; attempt < 3 && !answers; ++attempt) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        m_process.start(program, arguments(m_port));
        for (int wait = 0; !answers && wait < 100 && m_process.waitForStarted(5000); ++wait) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            answers = socket.waitForConnected(100);
            if (!answers && m_process.state() == QProcess::Running)
                QTest::qWait(50);
        }
        if (!answers) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    if (!answers)
        m_error = program + QStringLiteral(" did not start: ") + QString::fromLocal8Bit(m_process.readAll());
    return answers;
}

QUrl TestServerProcess::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
}
