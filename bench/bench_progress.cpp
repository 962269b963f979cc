// GUI-thread CPU while downloads run with the catalog list and the downloads
// screen open: one download paced at 20 MB/s, five sharing 20 MB/s, and
// five at 20 MB/s each (a hundred megabytes a second through the main
// thread), by a server on threads of its own, against the same window left
// idle for as long, in the same run. The main thread's CPU time comes from
// CLOCK_THREAD_CPUTIME_ID.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

#include "BenchServices.h"
#include "BenchUtil.h"
#include "views/AppListView.h"
#include "views/DownloadsView.h"

namespace {

constexpr qint64 linkRate = 20'000'000;
constexpr int seconds = 2;

// Serves every request with a body of bytesPerSecond × seconds, written in
// 10 ms slices on time, one thread per connection.
class PacedServer final
{
public:
    explicit PacedServer(qint64 bytesPerSecond) : m_rate(bytesPerSecond)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || ::listen(m_listener, 16) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            qFatal("cannot listen");
        m_port = ntohs(address.sin_port);
        m_acceptor = std::thread([this] { acceptLoop(); });
    }
    ~PacedServer()
    {
        m_stopping = true;
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_acceptor.join();
        for (std::thread &connection : m_connections)
            connection.join();
    }
    Q_DISABLE_COPY_MOVE(PacedServer)

    quint16 port() const { return m_port; }

private:
    void acceptLoop()
    {
        while (!m_stopping) {
            const int client = ::accept(m_listener, nullptr, nullptr);
            if (client < 0)
                return;
            m_connections.emplace_back([client, rate = m_rate] { serve(client, rate); });
        }
    }

    static void serve(int client, qint64 bytesPerSecond)
    {
        char request[4096];
        std::string head;
        while (head.find("\r\n\r\n") == std::string::npos) {
            const ssize_t got = ::read(client, request, sizeof request);
            if (got <= 0) {
                ::close(client);
                return;
            }
            head.append(request, size_t(got));
        }
        const qint64 total = bytesPerSecond * seconds;
        const std::string header = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                                   std::to_string(total) + "\r\nConnection: close\r\n\r\n";
        bool ok = ::write(client, header.data(), header.size()) == ssize_t(header.size());
        const std::vector<char> slice(bytesPerSecond / 100, 'z');
        auto next = std::chrono::steady_clock::now();
        for (qint64 sent = 0; ok && sent < total; sent += qint64(slice.size())) {
            std::this_thread::sleep_until(next);
            next += std::chrono::milliseconds(10);
            for (size_t done = 0; ok && done < slice.size();) {
                const ssize_t wrote = ::write(client, slice.data() + done, slice.size() - done);
                ok = wrote > 0;
                done += size_t(std::max<ssize_t>(0, wrote));
            }
        }
        ::close(client);
    }

    qint64 m_rate;
    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_acceptor;
    std::vector<std::thread> m_connections;
};

double threadCpuMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

struct Share
{
    double cpuMs = 0;
    double wallMs = 0;
    double percent() const { return wallMs > 0 ? 100.0 * cpuMs / wallMs : 0; }
};

// Main-thread CPU over what runs in the event loop until done() holds (or for
// wallMs when done is empty).
Share measure(const std::function<void()> &start, const std::function<bool()> &done, int wallMs)
{
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done && done())
            loop.quit();
    });
    if (!done)
        QTimer::singleShot(wallMs, &loop, &QEventLoop::quit);
    QElapsedTimer wall;
    wall.start();
    const double cpu = threadCpuMs();
    start();
    poll.start();
    loop.exec();
    return {threadCpuMs() - cpu, double(wall.nsecsElapsed()) / 1e6};
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir home;
    QList<AppItem> apps = Bench::makeLibrary(200);
    Bench::writeLibrary(home.filePath(QStringLiteral("library")), apps);
    Bench::Services services(home.path());
    // Five at once is the case measured, not the queue.
    services.downloads.setMaxConcurrent(5);
    PacedServer fullRate(linkRate);
    PacedServer fifthRate(linkRate / 5);

    const auto downloadsRun = [&](int count, const PacedServer &server) {
        const auto start = [&] {
            for (int i = 0; i < count; ++i) {
                const AppItem &item = apps.at(i);
                const QUrl url(QStringLiteral("http://127.0.0.1:%1/%2.dmg").arg(server.port()).arg(item.id));
                services.downloads.startDownload(item.id, item.displayName(), item.currentVersion, url);
            }
        };
        const auto done = [&] {
            for (int i = 0; i < count; ++i) {
                const auto *task = services.downloads.find(
                    DownloadManager::taskKey(apps.at(i).id, apps.at(i).currentVersion));
                if (!task || task->status.isActive())
                    return false;
            }
            return true;
        };
        const Share share = measure(start, done, 0);
        services.downloads.clearAllPackages();
        return share;
    };

    // The transfer's own cost on this thread (receiving and writing the
    // bytes), before any screen exists: what no listener can save.
    const Share bare = downloadsRun(1, fullRate);

    // Both screens in view at once, as the user has them side by side.
    QWidget window;
    auto *row = new QHBoxLayout(&window);
    row->addWidget(new AppListView(services.context, false));
    row->addWidget(new DownloadsView(services.context));
    window.resize(1800, 900);
    window.show();
    QCoreApplication::processEvents();

    // The first card and the fonts of its figures are built once per run, not per update.
    downloadsRun(1, fifthRate);
    const Share idle = measure([] {}, {}, seconds * 1000);
    const QString idleNote = QStringLiteral("idle window %1 %, one download without screens %2 %")
                                 .arg(idle.percent(), 0, 'f', 1)
                                 .arg(bare.percent(), 0, 'f', 1);
    const auto report = [&](const QString &name, const Share &share) {
        Bench::report(name, share.percent(), "%",
                      QStringLiteral("%1 ms CPU in %2 ms; %3; goal ≤ 5 %")
                          .arg(share.cpuMs, 0, 'f', 0)
                          .arg(share.wallMs, 0, 'f', 0)
                          .arg(idleNote));
    };
    report(QStringLiteral("GUI-thread CPU, one 20 MB/s download, both screens"), downloadsRun(1, fullRate));
    report(QStringLiteral("GUI-thread CPU, five downloads sharing 20 MB/s"), downloadsRun(5, fifthRate));
    const Share flood = downloadsRun(5, fullRate);
    Bench::report(QStringLiteral("  five downloads at 20 MB/s each (100 MB/s)"), flood.percent(), "%",
                  QStringLiteral("%1 ms CPU in %2 ms; mostly receiving and writing the bytes, no goal")
                      .arg(flood.cpuMs, 0, 'f', 0)
                      .arg(flood.wallMs, 0, 'f', 0));
    return 0;
}
