#include "DownloadTransfer.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include "models/ByteFormat.h"
#include "models/LocalPackage.h"
#include "platform/DurableFile.h"
#include "platform/ExtendedAttributes.h"
#include "platform/FileSpace.h"
#include "services/StreamHasher.h"
#include "services/PackageContent.h"
#include "services/PackageFileName.h"
#include "services/UrlError.h"

namespace {

// Qt's reply buffer is unbounded by default: a fast server would fill memory
// with the whole body before the event loop hands it to us. Room for two of
// our reads keeps Qt's network thread receiving while we write.
constexpr qint64 readBufferSize = 2 * StreamHasher::bufferSize;

const QString saveFailedPrefix = QStringLiteral("保存下载文件失败: ");

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray readHead(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(512) : QByteArray();
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

// "bytes 100-199/1000" → first byte and whole length (-1 for "*"); nothing
// when the header is not of that form.
std::optional<std::pair<qint64, qint64>> contentRange(const QByteArray &header)
{
    const QByteArray value = header.trimmed();
    if (!value.startsWith("bytes "))
        return std::nullopt;
    const qsizetype dash = value.indexOf('-'), slash = value.indexOf('/');
    if (dash < 0 || slash < dash)
        return std::nullopt;
    bool firstOk = false, totalOk = true;
    const qint64 first = value.mid(6, dash - 6).trimmed().toLongLong(&firstOk);
    const QByteArray total = value.mid(slash + 1).trimmed();
    const qint64 length = total == "*" ? -1 : total.toLongLong(&totalOk);
    if (!firstOk || !totalOk)
        return std::nullopt;
    return std::pair{first, length};
}

// Retry-After in seconds or as an HTTP date; zero when absent or past.
std::chrono::milliseconds retryAfter(const QNetworkReply &reply)
{
    const QByteArray value = reply.rawHeader("Retry-After").trimmed();
    if (value.isEmpty())
        return std::chrono::milliseconds{0};
    bool number = false;
    const qint64 seconds = value.toLongLong(&number);
    if (number)
        return std::chrono::milliseconds{std::max<qint64>(0, seconds) * 1000};
    const QDateTime date = QDateTime::fromString(QString::fromLatin1(value), Qt::RFC2822Date);
    if (!date.isValid())
        return std::chrono::milliseconds{0};
    return std::chrono::milliseconds{std::max<qint64>(0, QDateTime::currentDateTimeUtc().msecsTo(date))};
}

} // namespace

DownloadTransfer::DownloadTransfer(Setup setup) : m_setup(std::move(setup)) {}

DownloadTransfer::~DownloadTransfer()
{
    if (m_setup.fd >= 0)
        closeFile(true);
}

void DownloadTransfer::start()
{
    m_network = new QNetworkAccessManager(this);
    m_idle = new QTimer(this);
    m_idle->setSingleShot(true);
    m_idle->setInterval(m_setup.idleTimeout);
    connect(m_idle, &QTimer::timeout, this, &DownloadTransfer::onIdle);
    m_reportTimer = new QTimer(this);
    m_reportTimer->setSingleShot(true);
    m_reportTimer->setInterval(m_setup.progressInterval);
    connect(m_reportTimer, &QTimer::timeout, this, [this] { report(true); });
    m_written = m_setup.resume && !m_setup.validator.isEmpty() ? m_setup.resumeFrom : 0;
    struct stat info
    {
    };
    // Cut only what must go (see the manager's opening of the partial).
    const bool cut = ::fstat(m_setup.fd, &info) != 0 || info.st_size != m_written;
    if ((cut && ::ftruncate(m_setup.fd, m_written) != 0) || ::lseek(m_setup.fd, m_written, SEEK_SET) < 0) {
        giveUp({saveFailedPrefix + systemText(errno)});
        return;
    }
    // The hash follows the file from its first byte, kept bytes included.
    if (!m_setup.sha256.isEmpty()) {
        m_hash = std::make_unique<StreamHasher>();
        m_hash->start(m_setup.fd, m_written);
    } else {
        m_buffer = QByteArray(StreamHasher::bufferSize, Qt::Uninitialized);
    }
    request();
}

void DownloadTransfer::request()
{
    if (m_done)
        return;
    m_rangeSent = m_setup.resume && m_written > 0 && !m_setup.validator.isEmpty();
    if (!m_rangeSent && m_written > 0 && !emptyFile())
        return;
    m_expected = -1;

    QNetworkRequest request(m_setup.url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    // The bytes on disk must be the package itself, and the announced length
    // must be comparable with what arrived.
    request.setRawHeader("Accept-Encoding", "identity");
    if (m_rangeSent) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(m_written) + '-');
        // A file that changed since the kept bytes comes whole instead.
        request.setRawHeader("If-Range", m_setup.validator);
    }
    m_reply = m_network->get(request);
    m_reply->setReadBufferSize(readBufferSize);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &DownloadTransfer::onMetaData);
    connect(m_reply, &QNetworkReply::readyRead, this, &DownloadTransfer::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &DownloadTransfer::onFinished);
    m_idle->start();
}

void DownloadTransfer::onMetaData()
{
    m_idle->start();
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // Redirects are left to Qt.
    if (status.isValid() && (status.toInt() < 300 || status.toInt() >= 400))
        acceptStatus(status.toInt());
}

bool DownloadTransfer::acceptStatus(int status)
{
    const bool probing = std::exchange(m_probing, false);
    if (status == 206 && m_rangeSent) {
        const auto range = contentRange(m_reply->rawHeader("Content-Range"));
        const bool fits = range && range->first == m_written &&
                          (m_setup.remoteLength < 0 || range->second < 0 || range->second == m_setup.remoteLength);
        if (!fits) {
            startOver(QStringLiteral("服务器返回的续传范围不符，从头下载"));
            return false;
        }
        m_expected = range->second >= 0 ? range->second : m_setup.remoteLength;
        rememberBody();
        if (!reserveRest())
            return false;
        Q_EMIT began(m_written, m_expected);
        return true;
    }
    if (status == 416 && m_rangeSent) {
        // Nothing lies past what arrived: the body without a length was whole.
        if (probing) {
            complete();
            return false;
        }
        startOver(QStringLiteral("服务器上的文件已变化，从头下载"));
        return false;
    }
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (probing && status == 200 && length.isValid() && length.toLongLong() == m_written) {
        complete();
        return false;
    }
    if (status >= 200 && status < 300 && status != 206) {
        if (m_written > 0) {
            const QByteArray tag = m_reply->rawHeader("ETag");
            const bool changed = !tag.isEmpty() && tag != m_setup.validator;
            if (!emptyFile())
                return false;
            Q_EMIT restarted(changed ? QStringLiteral("服务器上的文件已更新，从头下载")
                                     : QStringLiteral("服务器不支持断点续传，从头下载"));
        }
        m_expected = length.isValid() ? length.toLongLong() : -1;
        rememberIdentity();
        rememberBody();
        if (!reserveRest())
            return false;
        Q_EMIT began(0, m_expected);
        return true;
    }
    giveUp({QStringLiteral("服务器返回错误: HTTP %1").arg(status), UrlError::isTransientStatus(status),
            retryAfter(*m_reply)});
    return false;
}

void DownloadTransfer::startOver(const QString &why)
{
    closeReply();
    m_setup.validator.clear();
    m_setup.remoteLength = -1;
    Q_EMIT restarted(why);
    request();
}

bool DownloadTransfer::emptyFile()
{
    // The hash must not read what is being cut away.
    if (m_hash)
        m_hash->stop();
    if (::ftruncate(m_setup.fd, 0) != 0 || ::lseek(m_setup.fd, 0, SEEK_SET) < 0) {
        giveUp({saveFailedPrefix + systemText(errno)});
        return false;
    }
    m_written = 0;
    if (m_hash)
        m_hash->start(m_setup.fd, 0);
    return true;
}

void DownloadTransfer::rememberIdentity()
{
    // A weak ETag may not guard a range; the date then stands for the file.
    const QByteArray tag = m_reply->rawHeader("ETag");
    m_setup.validator = !tag.isEmpty() && !tag.startsWith("W/") ? tag : m_reply->rawHeader("Last-Modified");
    m_setup.remoteLength = m_expected;
    ExtendedAttributes::write(m_setup.partialPath, QLatin1String(validatorAttribute), m_setup.validator);
    ExtendedAttributes::write(m_setup.partialPath, QLatin1String(lengthAttribute), QByteArray::number(m_expected));
}

bool DownloadTransfer::reserveRest()
{
    if (m_expected <= m_written)
        return true;
    const int error = FileSpace::reserve(m_setup.fd, m_written, m_expected - m_written);
    if (error == 0)
        return true;
    giveUp({saveFailedPrefix + QStringLiteral("%1（还需 %2）")
                                   .arg(DurableFile::reasonText(error), ByteFormat::fileSize(m_expected - m_written))});
    return false;
}

void DownloadTransfer::rememberBody()
{
    m_contentType = m_reply->rawHeader("Content-Type");
    m_suggestedName = PackageFileName::suggested(*m_reply, m_setup.key);
}

void DownloadTransfer::onReadyRead()
{
    m_idle->start();
    if (drain())
        report(false);
}

void DownloadTransfer::onIdle()
{
    const double seconds = static_cast<double>(m_setup.idleTimeout.count()) / 1000.0;
    giveUp({QStringLiteral("下载超时: %1 秒内没有收到任何数据").arg(seconds), true});
}

bool DownloadTransfer::drain()
{
    while (m_reply && m_reply->bytesAvailable() > 0) {
        char *buffer = m_hash ? m_hash->buffer() : m_buffer.data();
        const qint64 count = m_reply->read(buffer, StreamHasher::bufferSize);
        if (count <= 0)
            break;
        if (!writeAll(buffer, count))
            return false;
        if (m_hash)
            m_hash->handOver(count);
    }
    return true;
}

bool DownloadTransfer::writeAll(const char *data, qint64 size)
{
    // A disk that fills up takes what fits and fails on the rest with the reason.
    for (qint64 done = 0; done < size;) {
        const ssize_t written = ::write(m_setup.fd, data + done, static_cast<size_t>(size - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            giveUp({saveFailedPrefix + systemText(written < 0 ? errno : ENOSPC)});
            return false;
        }
        done += written;
        m_written += written;
    }
    return true;
}

void DownloadTransfer::report(bool now)
{
    // A fast transfer reads hundreds of chunks a second, while the figures a
    // person can read change far slower: chunks within the interval of the
    // last report wait for the timer.
    if (!now && m_lastReport.isValid() && m_lastReport.elapsed() < m_setup.progressInterval.count()) {
        if (!m_reportTimer->isActive())
            m_reportTimer->start();
        return;
    }
    m_reportTimer->stop();
    m_lastReport.start();
    Q_EMIT progressed(m_written, m_expected);
}

void DownloadTransfer::onFinished()
{
    if (!m_reply || !drain())
        return;
    // The last figures held back by the interval are told before the end.
    report(true);
    if (const auto failure = checkTransfer()) {
        giveUp(*failure);
        return;
    }
    // A body without a length ends where the connection ends, and Qt tells
    // a reset from the server's orderly close by nothing. Where the server
    // names its file, a range request from the end confirms it (416) or
    // brings the rest; once per transfer.
    if (m_expected < 0 && !m_probed && m_setup.resume && !m_setup.validator.isEmpty()) {
        m_probed = true;
        m_probing = true;
        closeReply();
        request();
        return;
    }
    complete();
}

void DownloadTransfer::complete()
{
    closeReply();
    m_idle->stop();
    if (const auto failure = checkContent()) {
        giveUp(*failure);
        return;
    }
    QString error;
    const QString destination = moveIntoCache(&error);
    if (destination.isEmpty()) {
        giveUp({saveFailedPrefix + error});
        return;
    }
    // Closed only now: the partial's name is free again and may already be another transfer's.
    ::close(m_setup.fd);
    m_setup.fd = -1;
    m_done = true;
    Q_EMIT completed(destination, m_hash != nullptr);
}

std::optional<DownloadTransfer::Failure> DownloadTransfer::checkTransfer() const
{
    const QNetworkReply &reply = *m_reply;
    if (const auto redirect = UrlError::forRefusedRedirect(reply))
        return Failure{redirect->localizedDescription()};
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() >= 300))
        return Failure{QStringLiteral("服务器返回错误: HTTP %1").arg(status.toInt()),
                       UrlError::isTransientStatus(status.toInt()), retryAfter(reply)};
    const bool closed =
        reply.error() == QNetworkReply::NoError || reply.error() == QNetworkReply::RemoteHostClosedError;
    if (closed && m_expected >= 0 && m_written != m_expected)
        return Failure{QStringLiteral("连接提前断开，下载不完整: 收到 %1，应为 %2")
                           .arg(ByteFormat::fileSize(m_written), ByteFormat::fileSize(m_expected)),
                       true};
    if (reply.error() != QNetworkReply::NoError)
        return Failure{UrlError::describe(reply), UrlError::isTransient(reply.error())};
    return std::nullopt;
}

std::optional<DownloadTransfer::Failure> DownloadTransfer::checkContent()
{
    if (m_written == 0)
        return Failure{QStringLiteral("服务器返回了空文件，没有安装包可保存")};
    if (PackageContent::looksLikeWebPage(m_contentType, readHead(m_setup.partialPath)))
        return Failure{QStringLiteral("服务器返回的是网页而不是安装包")};
    if (PackageContent::typeOfFile(m_setup.partialPath) == PackageType::unknown)
        return Failure{QStringLiteral("服务器返回的内容不是可识别的安装包（DMG、PKG 或 ZIP），可能是一条错误信息")};
    if (m_hash && m_hash->finish() != m_setup.sha256)
        return Failure{QStringLiteral("校验失败：文件的 SHA-256 与记录不符")};
    return std::nullopt;
}

QString DownloadTransfer::moveIntoCache(QString *error)
{
    const QString partial = m_setup.partialPath;
    if (m_hash)
        ExtendedAttributes::write(partial, QLatin1String(sha256Attribute), m_setup.sha256.toHex());
    // The system checks what a downloaded package holds before its first launch.
    ExtendedAttributes::markDownloaded(partial);
    const QString name = PackageFileName::typed(m_suggestedName, PackageContent::typeOfFile(partial));
    // Another app's package, a file from elsewhere or a folder may already
    // have the name a server suggests: the newcomer takes the next free
    // number. Only a package of this very key and version is replaced.
    const QDir cache(m_setup.cacheFolder);
    for (int number = 1; number <= 1000; ++number) {
        const QString destination = cache.filePath(PackageFileName::numbered(name, number));
        const QFileInfo existing(destination);
        if (existing.exists() || existing.isSymLink()) {
            const bool sameKey = existing.isFile() && !existing.isSymLink() &&
                                 rememberedText(destination, "appId") == m_setup.appId &&
                                 rememberedText(destination, "version") == m_setup.version;
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
            *error = systemText(code);
            return {};
        }
    }
    *error = QStringLiteral("缓存中同名的文件过多");
    return {};
}

void DownloadTransfer::giveUp(const Failure &failure)
{
    closeReply();
    if (m_idle)
        m_idle->stop();
    if (m_done)
        return;
    if (failure.transient && m_attempt < m_setup.retry.attempts) {
        ++m_attempt;
        // Doubling pauses, or what the server asked for, within the longest pause.
        auto delay = m_setup.retry.firstDelay * (1 << std::min(m_attempt - 1, 16));
        delay = std::min(std::max(delay, failure.wait), m_setup.retry.longestDelay);
        Q_EMIT retrying(m_attempt, m_setup.retry.attempts, failure.reason);
        QTimer::singleShot(delay, this, &DownloadTransfer::request);
        return;
    }
    m_done = true;
    closeFile(failure.transient);
    Q_EMIT failed(failure.reason);
}

void DownloadTransfer::stop(bool keepPartial)
{
    m_done = true;
    closeReply();
    if (m_idle)
        m_idle->stop();
    if (m_reportTimer)
        m_reportTimer->stop();
    if (m_setup.fd >= 0)
        closeFile(keepPartial);
}

void DownloadTransfer::closeReply()
{
    if (!m_reply)
        return;
    // Nothing the reply reports from now on may reach the transfer. The abort
    // itself waits for the event loop: Qt does not allow aborting a reply
    // from inside its own header or error handling.
    QNetworkReply *reply = std::exchange(m_reply, nullptr);
    reply->disconnect(this);
    QTimer::singleShot(0, reply, [reply] {
        reply->abort();
        reply->deleteLater();
    });
}

void DownloadTransfer::closeFile(bool keep)
{
    if (m_hash)
        m_hash->stop();
    // Only bytes a later range request can continue are worth keeping.
    const bool resumable = keep && m_setup.resume && !m_setup.validator.isEmpty() && m_written > 0;
    // Removed while still locked, so no other transfer of the key has taken it over.
    if (!resumable)
        QFile::remove(m_setup.partialPath);
    ::close(m_setup.fd);
    m_setup.fd = -1;
}
