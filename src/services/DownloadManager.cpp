#include "DownloadManager.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "models/ByteFormat.h"
#include "models/SafeText.h"
#include "models/WebAddress.h"
#include "platform/ExtendedAttributes.h"
#include "platform/Platform.h"
#include "services/DownloadTransfer.h"
#include "services/PackageFileName.h"

namespace {

const QString connectingText = QStringLiteral("连接中...");
const QString calculatingText = QStringLiteral("计算中...");
const QString unknownSizeText = QStringLiteral("未知");
const QString saveFailedPrefix = QStringLiteral("保存下载文件失败: ");

const char *const attributeAppId = "appId";
const char *const attributeAppName = "appName";
const char *const attributeVersion = "version";
const QString partialSuffix = QStringLiteral(".partial");

std::optional<QString> rememberedText(const QString &path, const char *name)
{
    if (const auto value = ExtendedAttributes::read(path, QLatin1String(name)))
        return QString::fromUtf8(*value);
    return std::nullopt;
}

// Whether another transfer (in this or another process) holds a partial
// file: each running transfer keeps an exclusive lock on its own, released
// by the system when the process ends, however it ends.
bool isBusyPartial(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool busy = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return busy;
}

// The store only ever creates files in the cache: a folder there is someone
// else's and is never removed, nor is the partial of a running transfer.
bool removeEntry(const QString &path)
{
    const QFileInfo info(path);
    if ((info.isDir() && !info.isSymLink()) || (info.fileName().endsWith(partialSuffix) && isBusyPartial(path)))
        return false;
    return QFile::remove(path);
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Opens and locks the key's partial file for a transfer. The window and the
// command line may share the cache: the lock says which of them is writing
// it. O_NOFOLLOW keeps a link planted under that name from redirecting the
// write. Bytes an earlier try left are kept only when they came from the
// same address and the server named its file; the rest starts over.
std::optional<QString> openPartial(DownloadTransfer::Setup &setup, const DownloadTaskItem &item)
{
    const QString path = QDir(setup.cacheFolder).filePath(DownloadManager::partialFileName(item.id));
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return saveFailedPrefix + systemText(errno);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return QStringLiteral("此版本正在由另一个窗口或命令下载，请等它完成");
        return saveFailedPrefix + systemText(error);
    }
    struct stat info
    {
    };
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (!regular) {
        ::close(fd);
        return saveFailedPrefix + systemText(EINVAL);
    }
    const QByteArray url = item.downloadUrl.toEncoded();
    const auto remembered = [&path](const char *name) {
        return ExtendedAttributes::read(path, QLatin1String(name)).value_or(QByteArray());
    };
    if (setup.resume && info.st_size > 0 && remembered(DownloadTransfer::urlAttribute) == url) {
        setup.validator = remembered(DownloadTransfer::validatorAttribute);
        bool known = false;
        const qint64 length = remembered(DownloadTransfer::lengthAttribute).toLongLong(&known);
        setup.remoteLength = known ? length : -1;
        setup.resumeFrom = setup.validator.isEmpty() ? 0 : info.st_size;
    }
    if (setup.resumeFrom == 0) {
        ExtendedAttributes::write(path, QLatin1String(DownloadTransfer::validatorAttribute), {});
        // Only a file with something in it is cut: on ext4 cutting even an
        // empty one makes the next close write out every delayed block of
        // the finished download, a stall of a fifth of a second per GiB.
        if (info.st_size > 0 && ::ftruncate(fd, 0) != 0) {
            const int error = errno;
            ::close(fd);
            return saveFailedPrefix + systemText(error);
        }
    }
    setup.partialPath = path;
    setup.fd = fd;
    // Remembered from the start, so an unfinished file says what it was for
    // and the finished one never appears in the cache without it.
    ExtendedAttributes::write(path, QLatin1String(attributeAppId), item.appId.toUtf8());
    ExtendedAttributes::write(path, QLatin1String(attributeAppName), item.appName.toUtf8());
    ExtendedAttributes::write(path, QLatin1String(attributeVersion), item.version.toUtf8());
    ExtendedAttributes::write(path, QLatin1String(DownloadTransfer::urlAttribute), url);
    return std::nullopt;
}

} // namespace

DownloadManager::DownloadManager(QString cacheFolder, QObject *parent)
    : QObject(parent), m_cacheFolder(std::move(cacheFolder)), m_clock([] { return QDateTime::currentDateTime(); })
{
    m_worker.setObjectName(QStringLiteral("downloads"));
    m_worker.start();
    refreshLocalPackages();
}

DownloadManager::~DownloadManager()
{
    shutDown();
}

void DownloadManager::shutDown()
{
    // What arrived stays for the next run to resume; the transfers end before their thread.
    const auto keys = m_running.keys();
    for (const QString &key : keys)
        stopTransfer(key, true);
    m_worker.quit();
    m_worker.wait();
}

DownloadManager &DownloadManager::shared()
{
    static DownloadManager instance(Platform::packageCacheFolder());
    // The instance outlives the application object; its transfers and their
    // thread must not.
    static const bool stopsWithApp =
        QCoreApplication::instance() &&
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &instance, &DownloadManager::shutDown);
    Q_UNUSED(stopsWithApp);
    return instance;
}

QString DownloadManager::taskKey(const QString &appId, const QString &version)
{
    return appId + QLatin1Char('-') + version;
}

std::optional<DownloadTaskItem> DownloadManager::task(const QString &key) const
{
    if (const DownloadTaskItem *item = find(key))
        return *item;
    return std::nullopt;
}

const DownloadTaskItem *DownloadManager::find(const QString &key) const
{
    const auto row = m_taskRows.constFind(key);
    return row == m_taskRows.cend() ? nullptr : &m_activeTasks.at(*row);
}

int DownloadManager::runningCount() const
{
    return static_cast<int>(std::count_if(m_activeTasks.cbegin(), m_activeTasks.cend(),
                                          [](const DownloadTaskItem &item) { return item.status.isActive(); }));
}

void DownloadManager::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

void DownloadManager::setMaxConcurrent(int count)
{
    m_maxConcurrent = std::max(1, count);
    launchWaiting();
}

void DownloadManager::startDownload(const QString &appId, const QString &appName, const QString &version,
                                    const QUrl &url, const std::optional<QByteArray> &sha256, bool resume)
{
    const QString key = taskKey(appId, version);
    if (const DownloadTaskItem *existing = findTask(key); existing && existing->status.isActive())
        return;

    DownloadTaskItem item;
    item.id = key;
    item.appId = appId;
    item.appName = appName;
    item.version = version;
    item.downloadUrl = url;
    item.createdAt = m_clock();
    item.status = DownloadStatus::downloading(0, connectingText, QStringLiteral("0 MB"), QStringLiteral("--"));

    // Only a web address is fetched: a record's file: or data: address would
    // copy local files into the cache.
    if (!isWebAddress(url)) {
        item.status = DownloadStatus::failed(QStringLiteral("已拒绝下载地址“%1”：只支持 http:// 或 https:// 开头的网址")
                                                 .arg(neutralizeControls(url.toDisplayString())));
        placeTask(std::move(item));
        return;
    }
    const Waiting waiting{sha256, resume};
    if (m_running.size() >= m_maxConcurrent) {
        item.status = DownloadStatus::pending();
        placeTask(std::move(item));
        m_waitingOrder.append(key);
        m_waiting.insert(key, waiting);
        return;
    }
    placeTask(std::move(item));
    launch(key, waiting);
}

void DownloadManager::launchWaiting()
{
    while (m_running.size() < m_maxConcurrent && !m_waitingOrder.isEmpty()) {
        const QString key = m_waitingOrder.takeFirst();
        const Waiting waiting = m_waiting.take(key);
        if (DownloadTaskItem *item = findTask(key)) {
            item->status = DownloadStatus::downloading(0, connectingText, QStringLiteral("0 MB"), QStringLiteral("--"));
            Q_EMIT taskChanged(key);
            launch(key, waiting);
        }
    }
}

void DownloadManager::launch(const QString &key, const Waiting &waiting)
{
    DownloadTaskItem *item = findTask(key);
    if (!item)
        return;
    DownloadTransfer::Setup setup;
    setup.key = key;
    setup.appId = item->appId;
    setup.version = item->version;
    setup.url = item->downloadUrl;
    setup.cacheFolder = cacheDirectory();
    setup.sha256 = waiting.sha256.value_or(QByteArray());
    setup.resume = waiting.resume;
    setup.idleTimeout = m_idleTimeout;
    setup.progressInterval = progressInterval;
    setup.retry = m_retry;
    if (const auto failure = openPartial(setup, *item)) {
        item->status = DownloadStatus::failed(*failure);
        Q_EMIT taskChanged(key);
        return;
    }

    auto *transfer = new DownloadTransfer(std::move(setup));
    transfer->moveToThread(&m_worker);
    const quint64 serial = ++m_serial;
    m_running.insert(key, Running{transfer, serial});
    m_lastSpeedCheck.insert(key, {0, m_clock()});
    // Queued: the transfer reports from the worker thread. The serial drops
    // what a stopped transfer had already sent.
    connect(transfer, &DownloadTransfer::progressed, this,
            [this, key, serial](qint64 received, qint64 total) { onProgress(key, serial, received, total); });
    connect(transfer, &DownloadTransfer::began, this,
            [this, key, serial](qint64 from, qint64 total) { onBegan(key, serial, from, total); });
    connect(transfer, &DownloadTransfer::restarted, this, [this, key, serial](const QString &why) {
        if (m_running.value(key).serial == serial)
            Q_EMIT taskNotice(key, why);
    });
    connect(transfer, &DownloadTransfer::retrying, this,
            [this, key, serial](int attempt, int attempts, const QString &reason) {
                onRetrying(key, serial, attempt, attempts, reason);
            });
    connect(transfer, &DownloadTransfer::completed, this,
            [this, key, serial](const QString &path, bool verified) { onEnded(key, serial, path, {}, verified); });
    connect(transfer, &DownloadTransfer::failed, this,
            [this, key, serial](const QString &reason) { onEnded(key, serial, std::nullopt, reason, false); });
    QMetaObject::invokeMethod(transfer, &DownloadTransfer::start, Qt::QueuedConnection);
}

QString DownloadManager::partialFileName(const QString &key)
{
    // Derived from the key alone, so the partial a killed run leaves behind
    // can be found again; the digest keeps keys that read alike apart.
    const QByteArray digest = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(10);
    return QLatin1Char('.') + PackageFileName::safe(key).left(100) + QLatin1Char('.') + QString::fromLatin1(digest) +
           partialSuffix;
}

void DownloadManager::placeTask(DownloadTaskItem item)
{
    // A new start is the newest record: it goes to the end, in start order.
    const QString key = item.id;
    m_activeTasks.removeIf([&key](const DownloadTaskItem &old) { return old.id == key; });
    m_activeTasks.append(std::move(item));
    indexTasks();
    Q_EMIT taskChanged(key);
    Q_EMIT activeTasksChanged();
}

void DownloadManager::indexTasks()
{
    m_taskRows.clear();
    for (qsizetype row = 0; row < m_activeTasks.size(); ++row)
        m_taskRows.insert(m_activeTasks.at(row).id, row);
}

void DownloadManager::stopTransfer(const QString &key, bool keepPartial)
{
    const Running running = m_running.take(key);
    m_lastSpeedCheck.remove(key);
    DownloadTransfer *transfer = running.transfer;
    if (!transfer)
        return;
    transfer->disconnect(this);
    // Waits for the worker, so the partial is gone (or closed) and its lock
    // free before a new start of the key opens it again.
    const auto stop = [transfer, keepPartial] {
        transfer->stop(keepPartial);
        delete transfer;
    };
    if (m_worker.isRunning())
        QMetaObject::invokeMethod(transfer, stop, Qt::BlockingQueuedConnection);
    else
        stop();
}

void DownloadManager::cancelDownload(const QString &taskId)
{
    stopTransfer(taskId, false);
    if (m_waiting.remove(taskId) > 0)
        m_waitingOrder.removeAll(taskId);
    if (m_activeTasks.removeIf([&taskId](const DownloadTaskItem &item) { return item.id == taskId; }) > 0) {
        indexTasks();
        Q_EMIT taskChanged(taskId);
        Q_EMIT activeTasksChanged();
    }
    launchWaiting();
}

void DownloadManager::onBegan(const QString &key, quint64 serial, qint64 from, qint64 total)
{
    const auto running = m_running.find(key);
    if (running == m_running.end() || running->serial != serial)
        return;
    running->from = from;
    running->received = from;
    running->total = total;
    // The speed counts what this try brings, not the bytes kept from before.
    m_lastSpeedCheck.insert(key, {from, m_clock()});
    DownloadTaskItem *item = findTask(key);
    if (!item)
        return;
    item->resumedBytes = from;
    if (from > 0)
        Q_EMIT taskNotice(key, QStringLiteral("从 %1 处继续下载").arg(ByteFormat::fileSize(from)));
    if (item->status.isDownloading() && item->status.speed != connectingText) {
        item->status.speed = calculatingText;
        publishProgress(key);
    }
}

void DownloadManager::onProgress(const QString &key, quint64 serial, qint64 received, qint64 total)
{
    const auto running = m_running.find(key);
    if (running == m_running.end() || running->serial != serial)
        return;
    running->received = received;
    running->total = total;
    publishProgress(key);
}

void DownloadManager::onRetrying(const QString &key, quint64 serial, int attempt, int attempts, const QString &reason)
{
    if (m_running.value(key).serial != serial)
        return;
    const QString text = QStringLiteral("网络中断，正在重试 (%1/%2)").arg(attempt).arg(attempts);
    if (DownloadTaskItem *item = findTask(key)) {
        item->speedText = text;
        item->status.speed = text;
        Q_EMIT taskChanged(key);
    }
    Q_EMIT taskNotice(key, text + QStringLiteral("：") + reason);
}

void DownloadManager::publishProgress(const QString &key)
{
    DownloadTaskItem *item = findTask(key);
    const auto running = m_running.constFind(key);
    if (!item || running == m_running.cend())
        return;
    const qint64 written = running->received;
    const qint64 expected = running->total;
    const double progress = expected >= 1 ? static_cast<double>(written) / static_cast<double>(expected) : 0.0;

    QString speedText = calculatingText;
    if (const auto sample = m_lastSpeedCheck.find(key); sample != m_lastSpeedCheck.end()) {
        const QDateTime now = m_clock();
        const double elapsed = static_cast<double>(sample->date.msecsTo(now)) / 1000.0;
        if (elapsed >= 0.5) {
            const auto bytesPerSecond = static_cast<qint64>(static_cast<double>(written - sample->bytes) / elapsed);
            speedText = ByteFormat::speed(bytesPerSecond);
            *sample = {written, now};
        } else if (item->status.isDownloading()) {
            speedText = item->status.speed;
        }
    }

    item->totalBytes = expected;
    item->receivedBytes = written;
    item->progress = progress;
    item->speedText = speedText;
    item->status = DownloadStatus::downloading(progress, speedText, ByteFormat::fileSize(written),
                                               expected < 1 ? unknownSizeText : ByteFormat::fileSize(expected));
    Q_EMIT taskChanged(key);
}

void DownloadManager::onEnded(const QString &key, quint64 serial, const std::optional<QString> &path,
                              const QString &reason, bool verified)
{
    const auto running = m_running.find(key);
    if (running == m_running.end() || running->serial != serial)
        return;
    running->transfer->deleteLater();
    const qint64 received = running->received;
    m_running.erase(running);
    m_lastSpeedCheck.remove(key);
    if (DownloadTaskItem *item = findTask(key)) {
        if (path) {
            // Figures held back by the progress interval end at the whole body.
            item->receivedBytes = received;
            item->destinationUrl = *path;
            item->progress = 1.0;
            item->verified = verified;
            item->status = DownloadStatus::completed(*path);
        } else {
            item->status = DownloadStatus::failed(reason);
        }
        Q_EMIT taskChanged(key);
    }
    // A failure on the network may have left a partial to resume later.
    refreshLocalPackages();
    launchWaiting();
}

DownloadTaskItem *DownloadManager::findTask(const QString &key)
{
    const auto row = m_taskRows.constFind(key);
    return row == m_taskRows.cend() ? nullptr : &m_activeTasks[*row];
}

QString DownloadManager::cacheDirectory() const
{
    QDir().mkpath(m_cacheFolder);
    return m_cacheFolder;
}

void DownloadManager::refreshLocalPackages()
{
    const QFileInfoList entries =
        QDir(cacheDirectory())
            .entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    QList<LocalPackage> packages;
    packages.reserve(entries.size());
    for (const QFileInfo &info : entries) {
        // Of the hidden entries only what an interrupted download left is
        // shown, and only once no transfer holds it; folders are not packages.
        const bool hidden = info.fileName().startsWith(QLatin1Char('.'));
        const bool unfinished = hidden && info.fileName().endsWith(partialSuffix) && info.isFile() &&
                                !info.isSymLink() && !isBusyPartial(info.absoluteFilePath());
        if ((hidden && !unfinished) || !info.exists() || (info.isDir() && !info.isSymLink()))
            continue;
        QDateTime created = info.birthTime();
        if (!created.isValid())
            created = info.lastModified();
        if (!created.isValid())
            continue;
        LocalPackage package;
        package.filePath = info.absoluteFilePath();
        package.fileName = info.fileName();
        package.fileSize = info.size();
        package.formattedSize = ByteFormat::fileSize(package.fileSize);
        package.creationDate = created;
        package.appId = rememberedText(package.filePath, attributeAppId);
        package.appName = rememberedText(package.filePath, attributeAppName);
        package.version = rememberedText(package.filePath, attributeVersion);
        package.packageType = LocalPackage::packageTypeForFileName(package.fileName);
        package.unfinished = unfinished;
        package.verified =
            !unfinished && rememberedText(package.filePath, DownloadTransfer::sha256Attribute).has_value();
        packages.append(std::move(package));
    }
    std::sort(packages.begin(), packages.end(), [](const LocalPackage &a, const LocalPackage &b) {
        if (a.creationDate != b.creationDate)
            return a.creationDate > b.creationDate;
        return a.fileName < b.fileName;
    });
    m_localPackages = std::move(packages);
    Q_EMIT localPackagesChanged();
}

bool DownloadManager::isInsideCache(const QString &path) const
{
    const QFileInfo entry(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    return !entry.fileName().isEmpty() &&
           QDir::cleanPath(entry.absolutePath()) == QDir::cleanPath(QDir(m_cacheFolder).absolutePath());
}

void DownloadManager::deletePackage(const QString &path)
{
    deletePackages({path});
}

void DownloadManager::deletePackages(const QStringList &paths)
{
    for (const QString &path : paths) {
        // Paths come from screens and the command line: never let one reach
        // outside the cache folder.
        if (isInsideCache(path))
            removeEntry(path);
    }
    refreshLocalPackages();
}

void DownloadManager::clearAllPackages()
{
    QStringList paths;
    for (const LocalPackage &package : m_localPackages)
        paths << package.filePath;
    deletePackages(paths);
}

std::optional<LocalPackage> DownloadManager::findExistingPackage(const QString &appId, const QString &version) const
{
    for (const LocalPackage &package : m_localPackages) {
        if (!package.unfinished && package.appId == appId && (version.isEmpty() || package.version == version))
            return package;
    }
    const QString id = appId.toLower();
    for (const LocalPackage &package : m_localPackages) {
        const QString name = package.fileName.toLower();
        if (!package.unfinished && name.contains(id) && (version.isEmpty() || name.contains(version)))
            return package;
    }
    return std::nullopt;
}
