#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class StreamHasher;

// The network and disk work of one download, on the download manager's
// worker thread, so that writing and hashing a fast transfer never cost the
// window a frame. It streams into the partial file the manager opened and
// locked, hashes what arrives, retries what fails for the moment (resuming
// with a range request guarded by If-Range where the server allows it) and
// finally moves the verified package to its name in the cache. It talks to
// the manager through its signals only.
class DownloadTransfer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadTransfer)

public:
    struct Retry
    {
        int attempts = 3; // tries after the first one
        std::chrono::milliseconds firstDelay{2000};
        std::chrono::milliseconds longestDelay{60'000}; // also caps what a server asks for
    };

    struct Setup
    {
        QString key;
        QString appId;
        QString version;
        QUrl url;
        QString cacheFolder;
        QString partialPath;
        int fd = -1;              // the partial, open for writing and locked; the transfer closes it
        QByteArray sha256;        // the expected digest (32 bytes); empty: none to check
        qint64 resumeFrom = 0;    // bytes of the partial worth keeping; 0: start over
        QByteArray validator;     // the ETag or Last-Modified those bytes belong to
        qint64 remoteLength = -1; // the whole file's length those bytes belong to
        bool resume = true;       // false: every try starts over
        std::chrono::milliseconds idleTimeout{60'000};
        std::chrono::milliseconds progressInterval{100};
        Retry retry;
    };

    // What the partial file remembers of the remote file its bytes came
    // from, besides its address, so a later run can resume it.
    static constexpr const char *validatorAttribute = "validator";
    static constexpr const char *lengthAttribute = "length";
    static constexpr const char *urlAttribute = "url";
    // The verified digest (hex) of a finished package.
    static constexpr const char *sha256Attribute = "sha256";

    explicit DownloadTransfer(Setup setup);
    ~DownloadTransfer() override;

    // These run on the worker thread.
    void start();
    // Ends the transfer without a signal. keepPartial: what arrived stays for
    // a later resume when the server named the file (the app quits); else
    // nothing is left (a cancel).
    void stop(bool keepPartial);

Q_SIGNALS:
    // received counts the whole file's bytes on disk, resumed ones included.
    void progressed(qint64 received, qint64 total);
    // A try's answer was accepted; its body continues the file at `from`
    // (> 0: the server honoured the range request).
    void began(qint64 from, qint64 total);
    // The kept bytes were thrown away: the server ignores ranges or its file changed.
    void restarted(const QString &why);
    void retrying(int attempt, int attempts, const QString &reason);
    void completed(const QString &path, bool verified);
    void failed(const QString &reason);

private:
    struct Failure
    {
        QString reason;
        bool transient = false;
        std::chrono::milliseconds wait{0}; // what the server asked for (Retry-After)
    };

    void request();
    void onMetaData();
    void onReadyRead();
    void onFinished();
    void onIdle();
    bool acceptStatus(int status);
    void startOver(const QString &why);
    bool emptyFile();
    bool drain();
    bool writeAll(const char *data, qint64 size);
    void report(bool now);
    std::optional<Failure> checkTransfer() const;
    std::optional<Failure> checkContent();
    void complete();
    void rememberBody();
    bool reserveRest();
    QString moveIntoCache(QString *error);
    void giveUp(const Failure &failure);
    void closeReply();
    void closeFile(bool keep);
    void rememberIdentity();

    Setup m_setup;
    QNetworkAccessManager *m_network = nullptr;
    QNetworkReply *m_reply = nullptr;
    QTimer *m_idle = nullptr;
    QTimer *m_reportTimer = nullptr;
    QElapsedTimer m_lastReport;
    std::unique_ptr<StreamHasher> m_hash;
    QByteArray m_buffer;
    qint64 m_written = 0;   // bytes of the whole file on disk
    qint64 m_expected = -1; // the whole file's length; -1 unknown
    bool m_rangeSent = false;
    bool m_probed = false;  // the end of a body without a length was asked about
    bool m_probing = false; // ...and the answer is awaited
    QByteArray m_contentType;
    QString m_suggestedName;
    int m_attempt = 0;
    bool m_done = false;
};
