#include "DownloadTaskItem.h"

#include <QHashFunctions>

DownloadStatus DownloadStatus::downloading(double progress, QString speed, QString received, QString total)
{
    DownloadStatus s;
    s.kind = Kind::downloading;
    s.progress = progress;
    s.speed = std::move(speed);
    s.received = std::move(received);
    s.total = std::move(total);
    return s;
}

DownloadStatus DownloadStatus::completed(QString filePath)
{
    DownloadStatus s;
    s.kind = Kind::completed;
    s.fileUrl = std::move(filePath);
    return s;
}

DownloadStatus DownloadStatus::failed(QString reason)
{
    DownloadStatus s;
    s.kind = Kind::failed;
    s.reason = std::move(reason);
    return s;
}

DownloadStatus DownloadStatus::paused()
{
    DownloadStatus s;
    s.kind = Kind::paused;
    return s;
}

size_t qHash(const DownloadStatus &status, size_t seed)
{
    return qHashMulti(seed, static_cast<int>(status.kind), status.progress, status.speed, status.received, status.total,
                      status.fileUrl, status.reason);
}

size_t qHash(const DownloadTaskItem &item, size_t seed)
{
    return qHashMulti(seed, item.id, item.appId, item.appName, item.version, item.downloadUrl,
                      item.destinationUrl.value_or(QString()), item.destinationUrl.has_value(), item.totalBytes,
                      item.receivedBytes, item.resumedBytes, item.progress, item.speedText, item.status, item.verified,
                      item.createdAt);
}
