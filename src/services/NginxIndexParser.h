#pragma once

#include <QFuture>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

#include "models/AppItem.h"

class QNetworkAccessManager;

// Reads the page a web server generates for a folder listing (nginx, Apache,
// Python's http.server: one link per file or sub-folder) and turns its links
// into versions, newest first. The version comes from each link's target; the
// download address from the link when it names a package, or from a template.
class NginxIndexParser final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NginxIndexParser)

public:
    static constexpr int defaultTimeoutMs = 15000;
    // A listing of 100,000 entries stays well below this; anything larger is
    // a package or a mistake, and is not read into memory.
    static constexpr qint64 defaultMaxPageBytes = 32 * 1000 * 1000;

    // network: the manager to fetch with (its thread runs the transfers), or
    // nullptr to own one. timeoutMs: how long a request may go without data.
    explicit NginxIndexParser(QNetworkAccessManager *network = nullptr, int timeoutMs = defaultTimeoutMs,
                              qint64 maxPageBytes = defaultMaxPageBytes, QObject *parent = nullptr);
    ~NginxIndexParser() override;

    static NginxIndexParser &shared();

    // Fetches the listing (redirects followed; relative links then belong to
    // the final address) and parses it on the global thread pool. Callable
    // from any thread: the transfer runs on the network manager's thread.
    // Fails with UrlError; an invalid address fails before anything is sent.
    // A page without usable links gives an empty list.
    QFuture<QList<AppVersion>> parseVersions(const QString &listingUrl,
                                             const std::optional<QString> &patternUrl = std::nullopt) const;

    // The first version number anywhere in the text, as written (without a leading v/V).
    static std::optional<QString> extractVersion(const QString &text);

    // The versions of one listing page, newest first; the first link that
    // yields a version text wins. Relative links resolve against listingUrl;
    // a non-empty patternUrl gives every version its filled-in template instead.
    static QList<AppVersion> parseListing(const QString &html, const QUrl &listingUrl,
                                          const std::optional<QString> &patternUrl);

    // The changelog of every version found in a listing.
    static QString changelogText();

private:
    QFuture<QByteArray> fetch(const QUrl &url) const;

    QNetworkAccessManager *m_network;
    int m_timeoutMs;
    qint64 m_maxPageBytes;
};
