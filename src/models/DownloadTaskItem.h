#pragma once

#include <QDateTime>
#include <QString>
#include <QUrl>

#include <optional>

// The state of one download. Only the fields of the current kind carry
// meaning; the others stay at their defaults, so two values compare equal
// exactly when kind and payload agree.
struct DownloadStatus
{
    enum class Kind { downloading, completed, failed, pending, paused };

    Kind kind = Kind::pending;
    double progress = 0; // downloading: 0…1 (stays 0 when the size is unknown)
    QString speed;       // downloading: e.g. "1.2 MB/s", "连接中...", "计算中..."
    QString received;    // downloading: bytes so far as display text
    QString total;       // downloading: expected size as display text, "未知" or "--"
    QString fileUrl;     // completed: absolute path of the package in the cache
    QString reason;      // failed: the text shown to the user

    static DownloadStatus downloading(double progress, QString speed, QString received, QString total);
    static DownloadStatus completed(QString filePath);
    static DownloadStatus failed(QString reason);
    static DownloadStatus pending() { return {}; }
    static DownloadStatus paused();

    bool isDownloading() const { return kind == Kind::downloading; }
    // Running or waiting for its turn.
    bool isActive() const { return kind == Kind::downloading || kind == Kind::pending; }
    bool operator==(const DownloadStatus &) const = default;
};

// One download of the current run.
struct DownloadTaskItem
{
    QString id; // the task key: appId + "-" + version
    QString appId;
    QString appName;
    QString version;
    QUrl downloadUrl;
    std::optional<QString> destinationUrl; // path of the finished package; absent until completion
    qint64 totalBytes = 0;                 // expected size; -1 or 0 when the server gives no length
    qint64 receivedBytes = 0;
    qint64 resumedBytes = 0;               // of receivedBytes, those kept from an earlier try
    double progress = 0;                   // exactly 1.0 once completed
    QString speedText = QStringLiteral("0 KB/s");
    DownloadStatus status;
    bool verified = false; // completed and matched the record's SHA-256
    QDateTime createdAt;

    bool operator==(const DownloadTaskItem &) const = default;
};

size_t qHash(const DownloadStatus &status, size_t seed = 0);
size_t qHash(const DownloadTaskItem &item, size_t seed = 0);
