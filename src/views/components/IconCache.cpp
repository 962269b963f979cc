#include "views/components/IconCache.h"

#include <QPointer>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSaveFile>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>

#include "models/WebAddress.h"
#include "views/components/BundleIcon.h"

namespace {

// Icons are shown at most at about 100 points on a 2× screen; keeping
// originals larger than this would only cost memory.
constexpr int kStoredSide = 256;
const QString kBundlePrefix = QStringLiteral("bundle:");

QImage fitted(QImage image)
{
    if (std::max(image.width(), image.height()) > kStoredSide)
        image = image.scaled(kStoredSide, kStoredSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

QImage decode(const QByteArray &bytes)
{
    QImage image;
    return image.loadFromData(bytes) ? fitted(std::move(image)) : QImage();
}

QString bundleKey(const QString &path)
{
    return kBundlePrefix + path;
}

qsizetype byteCost(const QImage &image)
{
    return std::max<qsizetype>(1, image.sizeInBytes());
}

} // namespace

IconCache::IconCache(QString diskFolder, QNetworkAccessManager *network, QObject *parent)
    : QObject(parent), m_diskFolder(std::move(diskFolder)), m_network(network)
{
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    m_mainThreadTimer.setInterval(0);
    connect(&m_mainThreadTimer, &QTimer::timeout, this, &IconCache::loadNextOnMainThread);
}

QString IconCache::folderBeside(const QString &packageCacheFolder)
{
    return QDir::cleanPath(QDir(packageCacheFolder).filePath(QStringLiteral("../Icons")));
}

bool IconCache::isRemoteIconAddress(const std::optional<QString> &address)
{
    return address && isWebAddress(*address);
}

QPixmap IconCache::icon(const AppItem &app, const std::optional<QString> &installedPath, int side, qreal ratio,
                        Source *source, QString *key)
{
    QString scaledKey;
    const auto report = [source, key, &scaledKey](Source from, QPixmap pixmap) {
        if (source)
            *source = pixmap.isNull() ? Source::symbol : from;
        if (key)
            *key = pixmap.isNull() ? QString() : scaledKey;
        return pixmap;
    };
    if (installedPath) {
        const QString bundle = bundleKey(*installedPath);
        // Asked on every paint of every card: the file system is consulted
        // once per bundle, when its icon is first wanted.
        if (!m_states.contains(bundle) && QFileInfo::exists(*installedPath))
            loadBundle(*installedPath);
        // While the bundle's icon loads, the symbol holds its place; only a
        // bundle without a readable icon gives way to the remote one.
        if (m_states.contains(bundle) && m_states.value(bundle) != State::failed)
            return report(Source::bundle, lookup(bundle, side, ratio, &scaledKey));
    }
    if (isRemoteIconAddress(app.iconUrl)) {
        if (!m_states.contains(*app.iconUrl))
            loadRemote(*app.iconUrl);
        return report(Source::remote, lookup(*app.iconUrl, side, ratio, &scaledKey));
    }
    return report(Source::symbol, {});
}

QPixmap IconCache::lookup(const QString &key, int side, qreal ratio, QString *scaledKey)
{
    if (m_states.value(key) != State::ready)
        return {};
    const int pixels = qCeil(side * ratio);
    *scaledKey = key + QLatin1Char('@') + QString::number(pixels) + QLatin1Char('/') + QString::number(ratio);
    if (const QPixmap *cached = m_scaled.object(*scaledKey))
        return *cached;
    const QImage *image = m_images.object(key);
    if (!image) {
        // Evicted to stay within the budget: load it again; the symbol stands in meanwhile.
        load(key);
        return {};
    }
    // The ratio is set here, once: a copy that set it on every paint would be
    // a new pixmap each time and defeat every cache keyed by it.
    const QImage sized = image->scaled(pixels, pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    auto *scaled = new QPixmap(QPixmap::fromImage(sized));
    scaled->setDevicePixelRatio(ratio);
    const QPixmap result = *scaled;
    m_scaled.insert(*scaledKey, scaled, byteCost(sized));
    return result;
}

void IconCache::load(const QString &key)
{
    if (key.startsWith(kBundlePrefix))
        loadBundle(key.mid(kBundlePrefix.size()));
    else
        loadRemote(key);
}

void IconCache::loadBundle(const QString &path)
{
    const QString key = bundleKey(path);
    m_states.insert(key, State::loading);
    if (!BundleIcon::loadsOnAnyThread()) {
        // Never inside a paint: the icon arrives a moment later, like any other.
        m_mainThreadQueue.append(path);
        m_mainThreadTimer.start();
        return;
    }
    QtConcurrent::run([path] {
        return fitted(BundleIcon::load(path, kStoredSide));
    }).then(qApp, [this, guard = QPointer<IconCache>(this), key](const QImage &image) {
        if (guard)
            finish(key, image);
    });
}

void IconCache::loadNextOnMainThread()
{
    if (m_mainThreadQueue.isEmpty()) {
        m_mainThreadTimer.stop();
        return;
    }
    const QString path = m_mainThreadQueue.takeFirst();
    finish(bundleKey(path), fitted(BundleIcon::load(path, kStoredSide)));
}

void IconCache::loadRemote(const QString &url)
{
    m_states.insert(url, State::loading);
    const QString file = diskPath(url);
    if (!QFileInfo(file).isFile()) {
        // Asked from inside a paint, and the first secure request of a run
        // reads the system's certificates: that wait belongs after the
        // window has shown, not before its first frame.
        QMetaObject::invokeMethod(this, [this, url] { fetch(url); }, Qt::QueuedConnection);
        return;
    }
    QtConcurrent::run([file] {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? decode(in.readAll()) : QImage();
    }).then(qApp, [this, guard = QPointer<IconCache>(this), url](const QImage &image) {
        // A damaged file on disk is replaced by a fresh fetch.
        if (!guard)
            return;
        if (image.isNull())
            fetch(url);
        else
            finish(url, image);
    });
}

void IconCache::fetch(const QString &url)
{
    ++m_networkRequests;
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(transferTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    // The body is held whole (icons are small); the size cap below bounds it.
    QNetworkReply *reply = m_network->get(request);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > maxIconBytes || total > maxIconBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, url] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError || status < 200 || status >= 300) {
            finish(url, {});
            return;
        }
        const QByteArray bytes = reply->readAll();
        const QString file = diskPath(url);
        QtConcurrent::run([bytes, file] {
            QImage image = decode(bytes);
            // Only real images are kept, so a bad answer is fetched again next run.
            if (!image.isNull() && QDir().mkpath(QFileInfo(file).path())) {
                QSaveFile out(file);
                if (out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size())
                    out.commit();
            }
            return image;
        }).then(qApp, [this, guard = QPointer<IconCache>(this), url](const QImage &image) {
            if (guard)
                finish(url, image);
        });
    });
}

void IconCache::finish(const QString &key, const QImage &image)
{
    if (image.isNull()) {
        m_states.insert(key, State::failed);
    } else {
        m_images.insert(key, new QImage(image), byteCost(image));
        m_states.insert(key, State::ready);
    }
    Q_EMIT iconReady(key.startsWith(kBundlePrefix) ? key.mid(kBundlePrefix.size()) : key);
}

QString IconCache::diskPath(const QString &url) const
{
    const QByteArray digest = QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QDir(m_diskFolder).filePath(QString::fromLatin1(digest));
}
