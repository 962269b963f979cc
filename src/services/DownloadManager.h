#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "models/DownloadTaskItem.h"
#include "models/LocalPackage.h"
#include "services/DownloadTransfer.h"

// Fetches installer packages over HTTP(S) into the package cache folder and
// keeps one observable record per download of this run; also owns the list
// of cached packages. Its state and signals live on the thread the manager
// lives on (the main thread); the transfers' network reads, file writes and
// hashing run on a worker thread of its own, so a fast download never costs
// the window a frame.
//
// A download streams into a hidden partial file inside the cache folder,
// named after its key and locked while its transfer runs, and is renamed to
// its final name only when it is complete, its bytes are a package and they
// match the record's SHA-256 (when it has one). A failure on the network is
// retried a few times with growing pauses; the partial file and what names
// the remote file (ETag or Last-Modified, and length) stay, so the next try
// (or the next run) continues with a range request. Any other failure, and a
// cancel, leave nothing. What a killed process left is listed as unfinished.
// Files remember the record id, name, version and address they were
// downloaded for (extended attributes), which findExistingPackage uses
// first. A suggested name already taken by anything but this key's own
// package gets a number; the store never removes a folder in the cache.
// At most maxConcurrent transfers run at once; later starts wait in order.
class DownloadManager final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadManager)

public:
    using Clock = std::function<QDateTime()>;

    static constexpr std::chrono::milliseconds defaultIdleTimeout{60'000};
    // A running record takes new figures at most this often; its status
    // changes (started, completed, failed, gone) are told at once.
    static constexpr std::chrono::milliseconds progressInterval{100};
    static constexpr int defaultMaxConcurrent = 3;

    using RetryPolicy = DownloadTransfer::Retry;

    // Scans cacheFolder once.
    explicit DownloadManager(QString cacheFolder, QObject *parent = nullptr);
    ~DownloadManager() override;

    // The instance of the running app, over Platform::packageCacheFolder().
    static DownloadManager &shared();

    // The key of a download: appId + "-" + version.
    static QString taskKey(const QString &appId, const QString &version);
    // The hidden name in the cache folder a key's transfer writes to.
    static QString partialFileName(const QString &key);

    // Downloads of this run that were not cancelled (running, completed and
    // failed), one per key, in the order they were started. Starting a key
    // again removes its old record and appends the fresh one at the end.
    const QList<DownloadTaskItem> &activeTasks() const { return m_activeTasks; }
    std::optional<DownloadTaskItem> task(const QString &key) const;
    // The record of key without a copy, found in constant time; null when
    // there is none. Valid until the next change notification.
    const DownloadTaskItem *find(const QString &key) const;
    // Records whose transfer is still running or waiting (what a badge counts).
    int runningCount() const;

    // The cache folder's files as of the last rescan, newest first, with the
    // partial files no running transfer holds (marked unfinished).
    const QList<LocalPackage> &localPackages() const { return m_localPackages; }

    // Starts fetching url under taskKey(appId, version) unless that key is
    // already downloading or waiting; a completed or failed record of the key
    // is replaced. sha256: the record's checksum (Sha256::fromHex), checked
    // before the file enters the cache. resume false: what an earlier try
    // left is thrown away and every try starts over.
    void startDownload(const QString &appId, const QString &appName, const QString &version, const QUrl &url,
                       const std::optional<QByteArray> &sha256 = std::nullopt, bool resume = true);
    // Stops the key's transfer (if any) and forgets its record, whatever its state.
    // No failure is reported for a cancelled transfer.
    void cancelDownload(const QString &taskId);

    // The cache folder; created when missing (a failure to create it is ignored).
    QString cacheDirectory() const;
    // Rescans the cache folder into localPackages (one change notification).
    void refreshLocalPackages();
    // Remove files of the cache folder, then rescan once. Failures are
    // ignored; folders, running transfers' partials and paths outside the
    // cache folder are never touched.
    void deletePackage(const QString &path);
    void deletePackages(const QStringList &paths);
    // Removes every entry of localPackages (not ones added since the last rescan).
    void clearAllPackages();
    // The newest finished package downloaded for exactly this id and version
    // (any version when version is empty); else the newest whose lower-cased
    // file name contains the lower-cased id and, unless version is empty, the
    // version as given (case-sensitive).
    std::optional<LocalPackage> findExistingPackage(const QString &appId, const QString &version) const;

    // A transfer that receives nothing for this long fails (default 60 s).
    void setIdleTimeout(std::chrono::milliseconds timeout) { m_idleTimeout = timeout; }
    std::chrono::milliseconds idleTimeout() const { return m_idleTimeout; }
    // Where "now" comes from for createdAt and the speed samples (tests step it by hand).
    void setClock(Clock clock);
    void setRetryPolicy(RetryPolicy policy) { m_retry = policy; }
    void setMaxConcurrent(int count);

Q_SIGNALS:
    // Records were added or removed (the list's size or order changed).
    void activeTasksChanged();
    // The record of key changed, appeared or went away; emitted before
    // activeTasksChanged when both apply.
    void taskChanged(const QString &key);
    void localPackagesChanged();
    // Something a follower of key may want to print: a resume, a restart
    // from zero, a retry with its reason.
    void taskNotice(const QString &key, const QString &text);

private:
    struct Waiting
    {
        std::optional<QByteArray> sha256;
        bool resume = true;
    };
    struct Running
    {
        DownloadTransfer *transfer = nullptr;
        quint64 serial = 0;
        qint64 received = 0;
        qint64 total = -1;
        qint64 from = 0; // where this try's body began
    };
    struct SpeedSample
    {
        qint64 bytes = 0;
        QDateTime date;
    };

    void shutDown();
    void launchWaiting();
    void launch(const QString &key, const Waiting &waiting);
    void onProgress(const QString &key, quint64 serial, qint64 received, qint64 total);
    void onBegan(const QString &key, quint64 serial, qint64 from, qint64 total);
    void onRetrying(const QString &key, quint64 serial, int attempt, int attempts, const QString &reason);
    void onEnded(const QString &key, quint64 serial, const std::optional<QString> &path, const QString &reason,
                 bool verified);
    void publishProgress(const QString &key);
    void stopTransfer(const QString &key, bool keepPartial);
    void placeTask(DownloadTaskItem item);
    DownloadTaskItem *findTask(const QString &key);
    void indexTasks();
    bool isInsideCache(const QString &path) const;

    QString m_cacheFolder;
    std::chrono::milliseconds m_idleTimeout = defaultIdleTimeout;
    RetryPolicy m_retry;
    int m_maxConcurrent = defaultMaxConcurrent;
    Clock m_clock;
    QList<DownloadTaskItem> m_activeTasks;
    QHash<QString, qsizetype> m_taskRows; // key → position in m_activeTasks
    QList<LocalPackage> m_localPackages;
    QThread m_worker;
    quint64 m_serial = 0;
    QHash<QString, Running> m_running;
    QList<QString> m_waitingOrder;
    QHash<QString, Waiting> m_waiting;
    QHash<QString, SpeedSample> m_lastSpeedCheck;
};
