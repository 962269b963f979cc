#pragma once

#include <QNetworkReply>
#include <QString>

#include <optional>

#include "models/ZelvoError.h"

// A request for a web page that failed: the address, the server's answer or
// the transfer. Every failure says in Chinese what went wrong; for a failed
// transfer Qt's own English text stays available as technicalText().
class UrlError final : public ZelvoError
{
public:
    enum class Code {
        badURL,                   // not an http(s) address; nothing was sent
        timedOut,                 // no data for the whole request time-out
        badServerResponse,        // the final answer was not status 200
        cannotDecodeRawData,      // the page is not UTF-8 (nor ASCII) text
        dataLengthExceedsMaximum, // the page is far larger than any listing
        badRedirect,              // a redirect loop, or a redirect that was refused
        transport,                // connection, TLS...: see networkError()
    };

    static UrlError badUrl(const QString &address);
    static UrlError timedOut(int timeoutMs);
    // httpStatus 0: the answer was not an HTTP answer at all.
    static UrlError badServerResponse(int httpStatus);
    static UrlError cannotDecodeRawData();
    static UrlError dataLengthExceedsMaximum(qint64 limitBytes);
    static UrlError transport(QNetworkReply::NetworkError error, const QString &errorString);

    // A redirect that went nowhere: a loop, one from HTTPS to HTTP, one to an
    // address that is not http(s), one without a new address. Nothing for a
    // reply that was not redirected or whose redirects were all followed.
    static std::optional<UrlError> forRefusedRedirect(const QNetworkReply &reply);

    // The failure of a finished reply for a whole page, or nothing when the
    // page arrived with status 200. A reply aborted by its transfer time-out
    // reports a cancellation, so a cancelled reply counts as timed out: only
    // use this where nothing else aborts the reply.
    static std::optional<UrlError> forFinishedReply(const QNetworkReply &reply, int timeoutMs);

    // The short Chinese text a user reads for a failed transfer. Qt's texts
    // are English and name sockets and handshakes; this is the one place
    // where downloads, listings and the Homebrew API turn them into words.
    static QString describe(QNetworkReply::NetworkError error);
    // The same for a finished reply; its English text goes to the console,
    // where a developer looking into the failure finds it.
    static QString describe(const QNetworkReply &reply);

    // Whether trying the same request again later may succeed: the network
    // or the server failed for the moment (a reset, a time-out, a proxy that
    // went away, 5xx but 501, 408, 429). A refusal, a missing file or a
    // certificate does not change by waiting.
    static bool isTransient(QNetworkReply::NetworkError error);
    static bool isTransientStatus(int httpStatus);

    // Qt's own text of a failed transfer; empty for the other failures.
    const QString &technicalText() const { return m_technicalText; }

    Code code() const { return m_code; }
    QNetworkReply::NetworkError networkError() const { return m_networkError; }

    void raise() const override { throw *this; }
    UrlError *clone() const override { return new UrlError(*this); }

private:
    UrlError(Code code, QString description, QNetworkReply::NetworkError networkError = QNetworkReply::NoError);

    Code m_code;
    QNetworkReply::NetworkError m_networkError;
    QString m_technicalText;
};
