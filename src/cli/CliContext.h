#pragma once

#include <QEventLoop>
#include <QFuture>
#include <QFutureWatcher>

#include <memory>

#include "cli/CliEnvironment.h"

class AppStoreService;
class InstalledDetector;
class QNetworkAccessManager;

// The services one run of `zelvo` works with, built on first use from the
// environment, so a command that only reads the library never touches the
// network or the cache.
class CliContext final
{
    Q_DISABLE_COPY_MOVE(CliContext)

public:
    explicit CliContext(CliEnvironment environment);
    ~CliContext();

    const CliEnvironment &environment() const { return m_environment; }

    QNetworkAccessManager &network();
    const InstalledDetector &detector();
    AppStoreService &store();

    // Runs the event loop until the future is done (network replies and
    // service continuations need it), then returns it.
    template <typename T>
    QFuture<T> wait(QFuture<T> future)
    {
        if (!future.isFinished()) {
            QEventLoop loop;
            QFutureWatcher<T> watcher;
            QObject::connect(&watcher, &QFutureWatcher<T>::finished, &loop, &QEventLoop::quit);
            watcher.setFuture(future);
            if (!future.isFinished())
                loop.exec();
        }
        return future;
    }

private:
    CliEnvironment m_environment;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<InstalledDetector> m_detector;
    std::unique_ptr<AppStoreService> m_store;
};
