#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

// A real web server (nginx, Python's http.server) run as a child process on
// a free port of 127.0.0.1 for the length of a test; killed when destroyed.
class TestServerProcess final
{
public:
    TestServerProcess() = default;
    ~TestServerProcess();
    TestServerProcess(const TestServerProcess &) = delete;
    TestServerProcess &operator=(const TestServerProcess &) = delete;

    // nginx serving folder `www` (with autoindex), its own files under `prefix`.
    static QStringList nginxArguments(const QString &prefix, const QString &www, quint16 port);

    // Starts the program (found on PATH or in the usual sbin folders) with
    // the arguments for a port and waits until it    // answers; false with error() set when it never does.
    bool start(const QString &program, const std::function<QStringList(quint16)> &arguments);
    QUrl url(const QString &path) const;
    const QString &error() const { return m_error; }

private:
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
