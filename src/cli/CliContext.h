#pragma once

#include <QEventLoop>
#include <QFuture>
#include <QFutureWatcher>

#include <memory>
#include <optional>

#include "cli/CliEnvironment.h"
#include "models/AppItem.h"
#include "models/ZelvoError.h"

class AppStoreService;
class BrewService;
class DownloadManager;
class InstalledDetector;
class InstallerService;
class NginxIndexParser;
class SourceStore;
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
    // The library's record, or nothing after telling standard error that the library has no such id.
    std::optional<AppItem> libraryApp(const QString &id);
    BrewService &brew();
    DownloadManager &downloads();
    NginxIndexParser &scraper();
    InstallerService &installer();
    // The catalog sources with their kept copies loaded.
    SourceStore &sources();

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

    // Waits for the future's value; a failure leaves its display text in error.
    template <typename T>
    std::optional<T> result(QFuture<T> future, QString &error)
    {
        wait(future);
        try {
            return future.result();
        } catch (...) {
            error = errorText(std::current_exception());
            return std::nullopt;
        }
    }
    bool succeeded(QFuture<void> future, QString &error);

private:
    CliEnvironment m_environment;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<InstalledDetector> m_detector;
    std::unique_ptr<AppStoreService> m_store;
    std::unique_ptr<BrewService> m_brew;
    std::unique_ptr<DownloadManager> m_downloads;
    std::unique_ptr<NginxIndexParser> m_scraper;
    std::unique_ptr<InstallerService> m_installer;
    std::unique_ptr<SourceStore> m_sources;
};
