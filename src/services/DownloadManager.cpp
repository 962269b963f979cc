#include "DownloadManager.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include "models/ByteFormat.h"
#include "models/SafeText.h"
#include "models/WebAddress.h"
#include "platform/ExtendedAttributes.h"
#include "platform/Platform.h"
#include "services/PackageContent.h"
#include "services/UrlError.h"

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
const char *const attributeUrl = "url";
const QString partialSuffix = QStringLiteral(".partial");

// A name a server or a record suggests, reduced to one plain entry of the
// cache folder: no directory parts, not hidden, no control characters and no
// bidi overrides that make it read as something else. Empty when nothing
// usable is left.
QString safeFileName(QString name)
{
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    name = name.section(QLatin1Char('/'), -1);
    name.removeIf([](QChar c) { return isUnsafeTextChar(c.unicode()); });
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

QByteArray readHead(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(512) : QByteArray();
}

// The name a package is cached under: its type comes from its bytes, so an
// untyped name gets the extension and a name that claims another type gets
// the right one instead.
QString typedFileName(const QString &name, PackageType content)
{
    const PackageType named = LocalPackage::packageTypeForFileName(name);
    if (named == content)
        return name;
    const QString base = named == PackageType::unknown ? name : QFileInfo(name).completeBaseName();
    return base + QLatin1Char('.') + rawValue(content);
}

// "App.dmg", "App (2).dmg", "App (3).dmg"...
QString numberedFileName(const QString &name, int number)
{
    if (number < 2)
        return name;
    const QFileInfo info(name);
    const QString mark = QStringLiteral(" (%1)").arg(number);
    return info.suffix().isEmpty() ? name + mark : info.completeBaseName() + mark + QLatin1Char('.') + info.suffix();
}

std::optional<QString> rememberedText(const QString &path, const char *name)
{
    if (const auto value = ExtendedAttributes::read(path, QLatin1String(name)))
        return QString::fromUtf8(*value);
    return std::nullopt;
}

// Moves a finished file to a name that must not exist yet. link() refuses any
// existing entry (a dangling symbolic link too) in one step; a file system
// without hard links falls back to a check and a rename.
bool moveToFreeName(const QString &from, const QString &to, int *error)
{
    const QByteArray source = QFile::encodeName(from), target = QFile::encodeName(to);
    if (::link(source.constData(), target.constData()) == 0) {
        ::unlink(source.constData());
        return true;
    }
    *error = errno;
    if (*error != EPERM && *error != ENOTSUP && *error != EXDEV)
        return false;
    struct stat info
    {
    };
    if (::lstat(target.constData(), &info) == 0) {
        *error = EEXIST;
        return false;
    }
    if (::rename(source.constData(), target.constData()) == 0)
        return true;
    *error = errno;
    return false;
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

QString secondsText(std::chrono::milliseconds timeout)
{
    return QString::number(static_cast<double>(timeout.count()) / 1000.0);
}

} // namespace

struct DownloadManager::Transfer
{
    QString key;
    QNetworkReply *reply = nullptr;
    QString partialPath;    // the hidden partial file in the cache folder, named after the key
    QFile file;             // open on partialPath and locked while the transfer runs
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

    // Only a web address is fetched: a record's file: or data: address would
    // copy local files into the cache.
    if (!isWebAddress(url)) {
        item.status = DownloadStatus::failed(QStringLiteral("已拒绝下载地址“%1”：只支持 http:// 或 https:// 开头的网址")
                                                 .arg(neutralizeControls(url.toDisplayString())));
        placeTask(std::move(item));
        return;
    }

    auto transfer = std::make_shared<Transfer>();
    transfer->key = key;
    if (const auto failure = openPartial(*transfer, item)) {
        item.status = DownloadStatus::failed(*failure);
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

QString DownloadManager::partialFileName(const QString &key)
{
    // Derived from the key alone, so the partial a killed run leaves behind
    // can be found again; the digest keeps keys that read alike apart.
    const QByteArray digest = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(10);
    return QLatin1Char('.') + safeFileName(key).left(100) + QLatin1Char('.') + QString::fromLatin1(digest) +
           partialSuffix;
}

std::optional<QString> DownloadManager::openPartial(Transfer &transfer, const DownloadTaskItem &item)
{
    // The window and the command line may share the cache: the lock says
    // which of them is writing the key's partial. O_NOFOLLOW keeps a link
    // planted under that name from redirecting the write.
    const QString path = QDir(cacheDirectory()).filePath(partialFileName(item.id));
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return saveFailedPrefix + QString::fromLocal8Bit(std::strerror(errno));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return QStringLiteral("此版本正在由另一个窗口或命令下载，请等它完成");
        return saveFailedPrefix + QString::fromLocal8Bit(std::strerror(error));
    }
    struct stat info
    {
    };
    // What a killed run left is started over: nothing yet tells how much of it is sound.
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (!regular || ::ftruncate(fd, 0) != 0) {
        const int error = regular ? errno : EINVAL;
        ::close(fd);
        return saveFailedPrefix + QString::fromLocal8Bit(std::strerror(error));
    }
    transfer.partialPath = path;
    if (!transfer.file.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return saveFailedPrefix + transfer.file.errorString();
    }
    // Remembered from the start, so an unfinished file says what it was for
    // and the finished one never appears in the cache without it.
    ExtendedAttributes::write(path, QLatin1String(attributeAppId), item.appId.toUtf8());
    ExtendedAttributes::write(path, QLatin1String(attributeAppName), item.appName.toUtf8());
    ExtendedAttributes::write(path, QLatin1String(attributeVersion), item.version.toUtf8());
    ExtendedAttributes::write(path, QLatin1String(attributeUrl), item.downloadUrl.toEncoded());
    return std::nullopt;
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
    if (const auto redirect = UrlError::forRefusedRedirect(reply))
        return redirect->localizedDescription();
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() >= 300))
        return QStringLiteral("服务器返回错误: HTTP %1").arg(status.toInt());
    const bool closed = reply.error() == QNetworkReply::NoError || reply.error() == QNetworkReply::RemoteHostClosedError;
    if (closed && transfer.expected >= 0 && transfer.written != transfer.expected)
        return QStringLiteral("连接提前断开，下载不完整: 收到 %1，应为 %2")
            .arg(ByteFormat::fileSize(transfer.written), ByteFormat::fileSize(transfer.expected));
    if (reply.error() != QNetworkReply::NoError)
        return UrlError::describe(reply);
    if (transfer.written == 0)
        return QStringLiteral("服务器返回了空文件，没有安装包可保存");
    if (PackageContent::looksLikeWebPage(reply.rawHeader("Content-Type"), readHead(transfer.partialPath)))
        return QStringLiteral("服务器返回的是网页而不是安装包");
    if (PackageContent::typeOfFile(transfer.partialPath) == PackageType::unknown)
        return QStringLiteral("服务器返回的内容不是可识别的安装包（DMG、PKG 或 ZIP），可能是一条错误信息");
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
    // The file stays open, and so locked, until it has its final name.
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
    // Closed first: the partial's name is free again and may already be another transfer's.
    transfer->file.close();
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
    const QString partial = transfer.partialPath;
    if (transfer.file.error() != QFileDevice::NoError) {
        *error = transfer.file.errorString();
        return {};
    }
    const DownloadTaskItem *item = findTask(transfer.key);
    const QString name =
        typedFileName(suggestedFileName(*transfer.reply, transfer.key), PackageContent::typeOfFile(partial));
    // Another app's package, a file from elsewhere or a folder may already
    // have the name a server suggests: the newcomer takes the next free
    // number. Only a package of this very key and version is replaced.
    const QDir cache(cacheDirectory());
    for (int number = 1; number <= 1000; ++number) {
        const QString destination = cache.filePath(numberedFileName(name, number));
        const QFileInfo existing(destination);
        if (existing.exists() || existing.isSymLink()) {
            const bool sameKey = item && existing.isFile() && !existing.isSymLink() &&
                                 rememberedText(destination, attributeAppId) == item->appId &&
                                 rememberedText(destination, attributeVersion) == item->version;
            if (!sameKey)
                continue;
            std::error_code code;
            std::filesystem::rename(QFile::encodeName(partial).toStdString(),
                                    QFile::encodeName(destination).toStdString(), code);
            if (code) {
                *error = QString::fromLocal8Bit(code.message());
                return {};
            }
            return destination;
        }
        int code = 0;
        if (moveToFreeName(partial, destination, &code))
            return destination;
        if (code != EEXIST) {
            *error = QString::fromLocal8Bit(std::strerror(code));
            return {};
        }
    }
    *error = QStringLiteral("缓存中同名的文件过多");
    return {};
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
    // Removed while still locked, so no other transfer of the key has taken it over.
    if (transfer->file.isOpen())
        QFile::remove(transfer->partialPath);
    transfer->file.close();
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
