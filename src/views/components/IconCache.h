#pragma once

#include <QCache>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <optional>

#include "models/AppItem.h"

class QNetworkAccessManager;

// Application icons for widgets and painting delegates alike: the installed
// bundle's own icon, else the record's remote icon. Loads happen in the
// background; asking returns what is there now (a null pixmap meaning "draw
// the category symbol") and iconReady() tells when to ask again.
//
// Remote icons are fetched once per run and kept on disk, so cards never
// fetch the same address twice; an answer that is not an image is
// remembered as failed for the run. Memory is bounded by bytes: decoded
// originals (never larger than the largest icon drawn) and their scaled
// copies give way least-recently-used, and an evicted original is simply
// loaded again the next time it is asked for.
class IconCache final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IconCache)

public:
    enum class Source { bundle, remote, symbol };

    // Downloaded icons are kept in diskFolder. Without a network manager the cache makes its own.
    explicit IconCache(QString diskFolder, QNetworkAccessManager *network = nullptr, QObject *parent = nullptr);

    // The folder the running app keeps downloaded icons in: "Icons" beside the package cache.
    static QString folderBeside(const QString &packageCacheFolder);

    // Only addresses that parse and begin with "http" are ever fetched.
    static bool isRemoteIconAddress(const std::optional<QString> &address);

    // The icon of app to draw now in a square of side points at the given
    // device-pixel ratio (the pixmap carries that ratio), or a null pixmap
    // while loading or when there is none. source, when given, receives where
    // it came from; key, when given, a name for the image that stays the same
    // for as long as what is drawn does (empty for the symbol).
    QPixmap icon(const AppItem &app, const std::optional<QString> &installedPath, int side, qreal ratio,
                 Source *source = nullptr, QString *key = nullptr);

    QString diskFolder() const { return m_diskFolder; }
    // Network requests made so far (each address at most once per run).
    int networkRequestCount() const { return m_networkRequests; }

    // Fetches give up after this long without an answer.
    static constexpr int transferTimeoutMs = 20'000;
    // Larger answers are not icons; the transfer is dropped.
    static constexpr qint64 maxIconBytes = 4 * 1024 * 1024;
    // Memory for decoded originals and for their scaled copies.
    static constexpr qint64 originalsBudget = 32 * 1024 * 1024;
    static constexpr qint64 scaledBudget = 16 * 1024 * 1024;

Q_SIGNALS:
    // An icon finished loading (successfully or not); key is the bundle path or the address.
    void iconReady(const QString &key);

private:
    enum class State { loading, ready, failed };

    QPixmap lookup(const QString &key, int side, qreal ratio, QString *scaledKey);
    void load(const QString &key);
    void loadBundle(const QString &path);
    void loadNextOnMainThread();
    void loadRemote(const QString &url);
    void fetch(const QString &url);
    void finish(const QString &key, const QImage &image);
    QString diskPath(const QString &url) const;

    QString m_diskFolder;
    QNetworkAccessManager *m_network;
    QHash<QString, State> m_states;
    QCache<QString, QImage> m_images{originalsBudget};
    QCache<QString, QPixmap> m_scaled{scaledBudget};
    // Bundles whose icon only the main thread may read, one per event-loop turn.
    QStringList m_mainThreadQueue;
    QTimer m_mainThreadTimer;
    int m_networkRequests = 0;
};
