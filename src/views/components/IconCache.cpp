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
#include "services/AppStoreService.h"
#include "services/DownloadManager.h"
#include "views/AppContext.h"
#include "views/components/BundleIcon.h"

namespace {

// Icons are shown at most at about 100 points on a 2× screen; keeping
// originals larger than this would only cost memory.
constexpr int kStoredSide = 256;

QImage decode(const QByteArray &bytes)
{
    QImage image;
    if (!image.loadFromData(bytes))
        return {};
    if (std::max(image.width(), image.height()) > kStoredSide)
        image = image.scaled(kStoredSide, kStoredSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

QString bundleKey(const QString &path)
{
    return QStringLiteral("bundle:") + path;
}

} // namespace

IconCache::IconCache(QString diskFolder, QNetworkAccessManager *network, QObject *parent)
    : QObject(parent), m_diskFolder(std::move(diskFolder)), m_network(network)
{
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
}

IconCache &IconCache::of(AppContext &context)
{
    if (auto *attached = context.store.findChild<IconCache *>(QString(), Qt::FindDirectChildrenOnly))
        return *attached;
    const QString folder =
        QDir::cleanPath(QDir(context.downloads.cacheDirectory()).filePath(QStringLiteral("../Icons")));
    return *new IconCache(folder, nullptr, &context.store);
}

bool IconCache::isRemoteIconAddress(const std::optional<QString> &address)
{
    return address && isWebAddress(*address);
}

QPixmap IconCache::icon(const AppItem &app, const std::optional<QString> &installedPath, int pixelSize, Source *source)
{
    const auto report = [source](Source from, QPixmap pixmap) {
        if (source)
            *source = pixmap.isNull() ? Source::symbol : from;
        return pixmap;
    };
    if (installedPath && QFileInfo::exists(*installedPath)) {
        const QString key = bundleKey(*installedPath);
        if (!m_states.contains(key))
            loadBundle(*installedPath);
        // While the bundle's icon loads, the symbol holds its place; only a
        // bundle without a readable icon gives way to the remote one.
        if (m_states.value(key) != State::failed)
            return report(Source::bundle, lookup(key, pixelSize));
    }
    if (isRemoteIconAddress(app.iconUrl)) {
        if (!m_states.contains(*app.iconUrl))
            loadRemote(*app.iconUrl);
        return report(Source::remote, lookup(*app.iconUrl, pixelSize));
    }
    return report(Source::symbol, {});
}

QPixmap IconCache::lookup(const QString &key, int pixelSize)
{
    if (m_states.value(key) != State::ready)
        return {};
    const QString scaledKey = key + QLatin1Char('@') + QString::number(pixelSize);
    if (const QPixmap *cached = m_scaled.object(scaledKey))
        return *cached;
    const QImage &image = m_images[key];
    auto *scaled = new QPixmap(
        QPixmap::fromImage(image.scaled(pixelSize, pixelSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    const QPixmap result = *scaled;
    m_scaled.insert(scaledKey, scaled);
    return result;
}

void IconCache::loadBundle(const QString &path)
{
    const QString key = bundleKey(path);
    m_states.insert(key, State::loading);
    if (!BundleIcon::loadsOnAnyThread()) {
        finish(key, BundleIcon::load(path, kStoredSide));
        return;
    }
    QtConcurrent::run([path] {
        return BundleIcon::load(path, kStoredSide);
    }).then(qApp, [this, guard = QPointer<IconCache>(this), key](const QImage &image) {
        if (guard)
            finish(key, image);
    });
}

void IconCache::loadRemote(const QString &url)
{
    m_states.insert(url, State::loading);
    const QString file = diskPath(url);
    if (!QFileInfo(file).isFile()) {
        fetch(url);
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
        m_images.insert(key, image);
        m_states.insert(key, State::ready);
    }
    Q_EMIT iconReady(key.startsWith(QStringLiteral("bundle:")) ? key.mid(7) : key);
}

QString IconCache::diskPath(const QString &url) const
{
    const QByteArray digest = QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QDir(m_diskFolder).filePath(QString::fromLatin1(digest));
}
