#include "DownloadManager.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUuid>

#include "models/ByteFormat.h"
#include "platform/ExtendedAttributes.h"
#include "platform/Platform.h"

namespace {

// Qt's reply buffer is unbounded by default: a fast server would fill memory
// with the whole body before the event loop hands it to us.
constexpr qint64 readBufferSize = 512 * 1024;
// Leaves room for the extension added from the content and stays far below
// the 255-byte name limit of common file systems.
constexpr qsizetype maxFileNameBytes = 200;

const QString connectingText = QStringLiteral("连接中...");
const QString calculatingText = QStringLiteral("计算中...");
const QString unknownSizeText = QStringLiteral("未知");
const QString saveFailedPrefix = QStringLiteral("保存下载文件失败: ");

const char *const attributeAppId = "appId";
const char *const attributeAppName = "appName";
const char *const attributeVersion = "version";

// A name a server or a record suggests, reduced to one plain entry of the
// cache folder: no directory parts, not hidden, no control characters.
// Empty when nothing usable is left.
QString safeFileName(QString name)
{
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    name = name.section(QLatin1Char('/'), -1);
    name.removeIf([](QChar c) { return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f); });
    name = name.trimmed();
    while (name.startsWith(QLatin1Char('.')))
        name = name.mid(1).trimmed();
    if (name.toUtf8().size() > maxFileNameBytes) {
        const QString suffix = QFileInfo(name).suffix().left(16);
        QString base = suffix.isEmpty() ? name : name.left(name.size() - suffix.size() - 1);
        while (!base.isEmpty() && (base + QLatin1Char('.') + suffix).toUtf8().size() > maxFileNameBytes)
            base.chop(base.size() >= 2 && base.at(base.size() - 1).isLowSurrogate() ? 2 : 1);
        name = suffix.isEmpty() ? base : base + QLatin1Char('.') + suffix;
    }
    return name;
}

QString fallbackFileName(const QString &key)
{
    const QString base = safeFileName(key);
    return (base.isEmpty() ? QStringLiteral("download") : base) + QStringLiteral(".pkg");
}

// Splits a header value at ';' outside double quotes.
QList<QByteArray> headerParameters(const QByteArray &value)
{
    QList<QByteArray> parts;
    QByteArray current;
    bool quoted = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value.at(i);
        if (quoted && c == '\\' && i + 1 < value.size()) {
            current += c;
            current += value.at(++i);
            continue;
        }
        if (c == '"')
            quoted = !quoted;
        if (c == ';' && !quoted) {
            parts << current.trimmed();
            current.clear();
        } else {
            current += c;
        }
    }
    parts << current.trimmed();
    return parts;
}

QByteArray unquote(QByteArray value)
{
    if (value.size() < 2 || !value.startsWith('"') || !value.endsWith('"'))
        return value;
    QByteArray plain;
    for (qsizetype i = 1; i + 1 < value.size(); ++i) {
        if (value.at(i) == '\\' && i + 2 < value.size())
            ++i;
        plain += value.at(i);
    }
    return plain;
}

QString decodeText(const QByteArray &bytes)
{
    // Many servers put raw UTF-8 in the plain parameter; fall back to
    // Latin-1, the header's historical charset, when it is not valid UTF-8.
    QString text = QString::fromUtf8(bytes);
    return text.contains(QChar::ReplacementCharacter) ? QString::fromLatin1(bytes) : text;
}

// RFC 6266: "filename*" (RFC 5987, charset'language'percent-encoded) wins
// over "filename".
std::optional<QString> fileNameFromContentDisposition(const QByteArray &header)
{
    std::optional<QString> plain;
    std::optional<QString> extended;
    for (const QByteArray &parameter : headerParameters(header)) {
        const qsizetype equals = parameter.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray name = parameter.left(equals).trimmed().toLower();
        const QByteArray value = parameter.mid(equals + 1).trimmed();
        if (name == "filename*") {
            const QList<QByteArray> pieces = unquote(value).split('\'');
            if (pieces.size() != 3)
                continue;
            const QByteArray charset = pieces.at(0).toLower();
            const QByteArray bytes = QByteArray::fromPercentEncoding(pieces.at(2));
            if (charset == "utf-8")
                extended = QString::fromUtf8(bytes);
            else if (charset == "iso-8859-1")
                extended = QString::fromLatin1(bytes);
        } else if (name == "filename") {
            plain = decodeText(unquote(value));
        }
    }
    return extended ? extended : plain;
}

QString suggestedFileName(const QNetworkReply &reply, const QString &key)
{
    const QByteArray disposition = reply.rawHeader("Content-Disposition");
    if (const auto name = fileNameFromContentDisposition(disposition)) {
        if (const QString safe = safeFileName(*name); !safe.isEmpty())
            return safe;
    }
    if (const QString safe = safeFileName(reply.url().fileName()); !safe.isEmpty())
        return safe;
    return fallbackFileName(key);
}

QByteArray readHead(const QString &path, qint64 size)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(size) : QByteArray();
}

QByteArray readTail(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < size)
        return {};
    file.seek(file.size() - size);
    return file.read(size);
}

// The extension a package's own bytes call for, when its name gives none.
QString extensionFromContent(const QString &path)
{
    const QByteArray head = readHead(path, 4);
    if (head == QByteArrayLiteral("PK\x03\x04"))
        return QStringLiteral("zip");
    if (head == "xar!")
        return QStringLiteral("pkg");
    // A disk image ends with a 512-byte "koly" trailer.
    if (readTail(path, 512).startsWith("koly"))
        return QStringLiteral("dmg");
    return {};
}

bool looksLikeWebPage(const QByteArray &contentType, QByteArray head)
{
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.mid(3);
    head = head.trimmed().toLower();
    if (head.startsWith("<!doctype html") || head.startsWith("<html") || head.startsWith("<head") ||
        head.startsWith("<body"))
        return true;
    // A page announced as HTML that starts like markup; a real package never
    // starts with '<', whatever a misconfigured server calls it.
    const QByteArray type = contentType.trimmed().toLower();
    const bool htmlType = type.startsWith("text/html") || type.startsWith("application/xhtml");
    return htmlType && head.startsWith('<');
}

bool removeEntry(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        return QDir(path).removeRecursively();
    return QFile::remove(path);
}

QString secondsText(std::chrono::milliseconds timeout)
{
    return QString::number(static_cast<double>(timeout.count()) / 1000.0);
}

} // namespace

struct DownloadManager::Transfer
{
    QString key;
    QNetworkReply *reply = nullptr;
    QFile file; // the hidden partial file in the cache folder
    QTimer *idle = nullptr; // owned by the manager; may fire the very call that ends the transfer
    qint64 written = 0;
    qint64 expected = -1;
    QElapsedTimer lastReport;
    bool reportPending = false;
};

DownloadManager::DownloadManager(QString cacheFolder, QNetworkAccessManager *network, QObject *parent)
    : QObject(parent), m_cacheFolder(std::move(cacheFolder)), m_network(network),
      m_clock([] { return QDateTime::currentDateTime(); }), m_readBuffer(readBufferSize, Qt::Uninitialized)
{
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    m_progressTimer.setSingleShot(true);
    m_progressTimer.setInterval(progressInterval);
    connect(&m_progressTimer, &QTimer::timeout, this, &DownloadManager::publishPendingProgress);
    refreshLocalPackages();
}

DownloadManager::~DownloadManager()
{
    // Partial files of unfinished transfers are removed; nothing half-written survives the run.
    const auto replies = m_transfers.keys();
    for (QNetworkReply *reply : replies)
        dropTransfer(reply);
}

DownloadManager &DownloadManager::shared()
{
    static DownloadManager instance(Platform::packageCacheFolder());
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
                                          [](const DownloadTaskItem &item) { return item.status.isDownloading(); }));
}

void DownloadManager::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

void DownloadManager::startDownload(const QString &appId, const QString &appName, const QString &version,
                                    const QUrl &url)
{
    const QString key = taskKey(appId, version);
    if (const DownloadTaskItem *existing = findTask(key); existing && existing->status.isDownloading())
        return;

    const QDateTime now = m_clock();
    DownloadTaskItem item;
    item.id = key;
    item.appId = appId;
    item.appName = appName;
    item.version = version;
    item.downloadUrl = url;
    item.createdAt = now;
    item.status = DownloadStatus::downloading(0, connectingText, QStringLiteral("0 MB"), QStringLiteral("--"));

    auto transfer = std::make_shared<Transfer>();
    transfer->key = key;
    // A unique hidden name: the window and the command line may share the
    // cache, and a rescan must never list an unfinished body.
    const QString partialName = QLatin1Char('.') + fallbackFileName(key) + QLatin1Char('.') +
                                QUuid::createUuid().toString(QUuid::Id128).left(12) + QStringLiteral(".partial");
    transfer->file.setFileName(QDir(cacheDirectory()).filePath(partialName));
    if (!transfer->file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        item.status = DownloadStatus::failed(saveFailedPrefix + transfer->file.errorString());
        placeTask(std::move(item));
        return;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    // The bytes on disk must be the package itself, and the announced length
    // must be comparable with what arrived.
    request.setRawHeader("Accept-Encoding", "identity");
    QNetworkReply *reply = m_network->get(request);
    reply->setReadBufferSize(readBufferSize);
    transfer->reply = reply;
    m_transfers.insert(reply, transfer);

    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] { onMetaData(reply); });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { onReadyRead(reply); });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onFinished(reply); });
    transfer->idle = new QTimer(this);
    transfer->idle->setSingleShot(true);
    transfer->idle->setInterval(m_idleTimeout);
    connect(transfer->idle, &QTimer::timeout, this, [this, reply] { onIdle(reply); });
    transfer->idle->start();

    placeTask(std::move(item));
    m_lastSpeedCheck.insert(key, {0, now});
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

void DownloadManager::cancelDownload(const QString &taskId)
{
    const auto replies = m_transfers.keys();
    for (QNetworkReply *reply : replies) {
        if (m_transfers.value(reply)->key == taskId)
            dropTransfer(reply);
    }
    m_lastSpeedCheck.remove(taskId);
    if (m_activeTasks.removeIf([&taskId](const DownloadTaskItem &item) { return item.id == taskId; }) > 0) {
        indexTasks();
        Q_EMIT taskChanged(taskId);
        Q_EMIT activeTasksChanged();
    }
}

void DownloadManager::onMetaData(QNetworkReply *reply)
{
    const auto transfer = m_transfers.value(reply);
    if (!transfer)
        return;
    transfer->idle->start();
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    transfer->expected = length.isValid() ? length.toLongLong() : -1;
    // An error page is not worth receiving; redirects are left to Qt.
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() >= 400))
        fail(reply, QStringLiteral("服务器返回错误: HTTP %1").arg(status.toInt()));
}

void DownloadManager::onReadyRead(QNetworkReply *reply)
{
    const auto transfer = m_transfers.value(reply);
    if (!transfer)
        return;
    transfer->idle->start();
    if (drain(*transfer))
        reportProgress(*transfer);
}

void DownloadManager::onIdle(QNetworkReply *reply)
{
    fail(reply, QStringLiteral("下载超时: %1 秒内没有收到任何数据").arg(secondsText(m_idleTimeout)));
}

bool DownloadManager::drain(Transfer &transfer)
{
    while (transfer.reply->bytesAvailable() > 0) {
        const qint64 count = transfer.reply->read(m_readBuffer.data(), m_readBuffer.size());
        if (count <= 0)
            break;
        // A short write is no error to the file (a disk that fills up takes
        // what fits); the next write of the rest fails with the reason.
        for (qint64 done = 0; done < count;) {
            const qint64 written = transfer.file.write(m_readBuffer.constData() + done, count - done);
            if (written <= 0) {
                fail(transfer.reply, saveFailedPrefix + transfer.file.errorString());
                return false;
            }
            done += written;
            transfer.written += written;
        }
    }
    return true;
}

void DownloadManager::reportProgress(Transfer &transfer)
{
    // A fast transfer reads hundreds of chunks a second and every listener
    // repaints on each notification, while the figures a person can read
    // change far slower (the speed only twice a second). Chunks arriving
    // within the interval of the last report wait for the timer.
    if (transfer.lastReport.isValid() && transfer.lastReport.elapsed() < progressInterval.count()) {
        transfer.reportPending = true;
        if (!m_progressTimer.isActive())
            m_progressTimer.start();
        return;
    }
    publishProgress(transfer);
}

void DownloadManager::publishPendingProgress()
{
    // A listener may cancel a transfer from inside a notification.
    const auto replies = m_transfers.keys();
    for (QNetworkReply *reply : replies) {
        if (const auto transfer = m_transfers.value(reply); transfer && transfer->reportPending)
            publishProgress(*transfer);
    }
}

void DownloadManager::publishProgress(Transfer &transfer)
{
    transfer.lastReport.start();
    transfer.reportPending = false;
    DownloadTaskItem *item = findTask(transfer.key);
    if (!item)
        return;
    const qint64 written = transfer.written;
    const qint64 expected = transfer.expected;
    const double progress = expected >= 1 ? static_cast<double>(written) / static_cast<double>(expected) : 0.0;

    QString speedText = calculatingText;
    if (const auto sample = m_lastSpeedCheck.find(transfer.key); sample != m_lastSpeedCheck.end()) {
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
    Q_EMIT taskChanged(transfer.key);
}

std::optional<QString> DownloadManager::checkResponse(const Transfer &transfer) const
{
    const QNetworkReply &reply = *transfer.reply;
    if (reply.error() == QNetworkReply::InsecureRedirectError)
        return QStringLiteral("已拒绝从 HTTPS 跳转到不安全的 HTTP 地址");
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() >= 300))
        return QStringLiteral("服务器返回错误: HTTP %1").arg(status.toInt());
    const bool closed = reply.error() == QNetworkReply::NoError || reply.error() == QNetworkReply::RemoteHostClosedError;
    if (closed && transfer.expected >= 0 && transfer.written != transfer.expected)
        return QStringLiteral("连接提前断开，下载不完整: 收到 %1，应为 %2")
            .arg(ByteFormat::fileSize(transfer.written), ByteFormat::fileSize(transfer.expected));
    if (reply.error() != QNetworkReply::NoError)
        return reply.errorString();
    if (looksLikeWebPage(reply.rawHeader("Content-Type"), readHead(transfer.file.fileName(), 512)))
        return QStringLiteral("服务器返回的是网页而不是安装包");
    return std::nullopt;
}

void DownloadManager::onFinished(QNetworkReply *reply)
{
    const auto transfer = m_transfers.value(reply);
    if (!transfer)
        return;
    if (!drain(*transfer))
        return;
    // The last figures held back by the interval are told before the end,
    // so a follower sees the whole body arrive.
    if (transfer->reportPending)
        publishProgress(*transfer);
    transfer->file.close();
    if (const auto reason = checkResponse(*transfer)) {
        fail(reply, *reason);
        return;
    }
    QString error;
    const QString destination = moveIntoCache(*transfer, &error);
    if (destination.isEmpty()) {
        fail(reply, saveFailedPrefix + error);
        return;
    }
    const QString key = transfer->key;
    const qint64 written = transfer->written;
    dropTransfer(reply);
    if (DownloadTaskItem *item = findTask(key)) {
        // Figures held back by the progress interval end at the whole body.
        item->receivedBytes = written;
        item->destinationUrl = destination;
        item->progress = 1.0;
        item->status = DownloadStatus::completed(destination);
        Q_EMIT taskChanged(key);
    }
    refreshLocalPackages();
}

QString DownloadManager::moveIntoCache(Transfer &transfer, QString *error)
{
    const QString partial = transfer.file.fileName();
    if (transfer.file.error() != QFileDevice::NoError) {
        *error = transfer.file.errorString();
        return {};
    }
    QString name = suggestedFileName(*transfer.reply, transfer.key);
    if (LocalPackage::packageTypeForFileName(name) == PackageType::unknown) {
        if (const QString extension = extensionFromContent(partial); !extension.isEmpty())
            name += QLatin1Char('.') + extension;
    }
    // Remembered on the file before it gets its name, so the package never
    // appears in the cache without them.
    if (const DownloadTaskItem *item = findTask(transfer.key)) {
        ExtendedAttributes::write(partial, QLatin1String(attributeAppId), item->appId.toUtf8());
        ExtendedAttributes::write(partial, QLatin1String(attributeAppName), item->appName.toUtf8());
        ExtendedAttributes::write(partial, QLatin1String(attributeVersion), item->version.toUtf8());
    }

    const QString destination = QDir(cacheDirectory()).filePath(name);
    if (const QFileInfo existing(destination); existing.isDir() && !existing.isSymLink())
        QDir(destination).removeRecursively();
    // rename() replaces an older file of the same name in one step.
    std::error_code code;
    std::filesystem::rename(QFile::encodeName(partial).toStdString(), QFile::encodeName(destination).toStdString(),
                            code);
    if (code) {
        *error = QString::fromLocal8Bit(code.message());
        return {};
    }
    return destination;
}

void DownloadManager::fail(QNetworkReply *reply, const QString &reason)
{
    const auto transfer = m_transfers.value(reply);
    if (!transfer)
        return;
    const QString key = transfer->key;
    dropTransfer(reply);
    if (DownloadTaskItem *item = findTask(key)) {
        item->status = DownloadStatus::failed(reason);
        Q_EMIT taskChanged(key);
    }
}

void DownloadManager::dropTransfer(QNetworkReply *reply)
{
    const auto transfer = m_transfers.take(reply);
    if (!transfer)
        return;
    transfer->idle->stop();
    transfer->idle->deleteLater();
    // Nothing the reply reports from now on may reach a record. The abort
    // itself waits for the event loop: Qt does not allow aborting a reply
    // from inside its own header or error handling.
    reply->disconnect(this);
    QTimer::singleShot(0, reply, [reply] {
        reply->abort();
        reply->deleteLater();
    });
    transfer->file.close();
    if (transfer->file.exists())
        transfer->file.remove();
    m_lastSpeedCheck.remove(transfer->key);
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
    // Hidden entries (partial downloads among them) are left out by QDir's default filter.
    const QFileInfoList entries =
        QDir(cacheDirectory()).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    QList<LocalPackage> packages;
    packages.reserve(entries.size());
    for (const QFileInfo &info : entries) {
        if (!info.exists())
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
        const auto remembered = [&](const char *name) -> std::optional<QString> {
            if (const auto value = ExtendedAttributes::read(package.filePath, QLatin1String(name)))
                return QString::fromUtf8(*value);
            return std::nullopt;
        };
        package.appId = remembered(attributeAppId);
        package.appName = remembered(attributeAppName);
        package.version = remembered(attributeVersion);
        package.packageType = LocalPackage::packageTypeForFileName(package.fileName);
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
        if (package.appId == appId && (version.isEmpty() || package.version == version))
            return package;
    }
    const QString id = appId.toLower();
    for (const LocalPackage &package : m_localPackages) {
        const QString name = package.fileName.toLower();
        if (name.contains(id) && (version.isEmpty() || name.contains(version)))
            return package;
    }
    return std::nullopt;
}
