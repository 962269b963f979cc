#include "NginxIndexParser.h"

#include <algorithm>
#include <memory>

#include <QCoreApplication>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QPromise>
#include <QSet>
#include <QStringDecoder>
#include <QThread>

#include "models/NumericCompare.h"
#include "models/WebAddress.h"
#include "services/UrlError.h"

namespace {

bool isTagSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v';
}

// Every Unicode line ending: a link whose element is broken over lines is not
// a link, whichever line endings the server writes.
bool isLineBreak(QChar c)
{
    switch (c.unicode()) {
    case u'\n':
    case u'\r':
    case u'\v':
    case u'\f':
    case 0x0085:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

bool isClosingTag(QStringView text, qsizetype i)
{
    return i + 3 < text.size() && text[i] == u'<' && text[i + 1] == u'/' &&
           (text[i + 2] == u'a' || text[i + 2] == u'A') && text[i + 3] == u'>';
}

// The first "</a>" or line break at or after a position. Positions only move
// forward during a scan, so the last answer stays valid until a position
// passes it: a line of unclosed links is searched once, not once per link.
class LinkEndFinder
{
public:
    explicit LinkEndFinder(QStringView text) : m_text(text) {}

    qsizetype find(qsizetype from)
    {
        if (m_from >= 0 && from >= m_from && from <= m_at)
            return m_at;
        qsizetype i = from;
        while (i < m_text.size() && !isLineBreak(m_text[i]) && !isClosingTag(m_text, i))
            ++i;
        m_from = from;
        m_at = i;
        return i;
    }

private:
    QStringView m_text;
    qsizetype m_from = -1;
    qsizetype m_at = -1;
};

// The link targets of a page in page order: the href of each <a> element that
// is closed on the line it opens. One pass over the text; an attribute value
// or tag left open at the end of the page swallows the rest, as in a browser.
QList<QStringView> linkTargets(QStringView html)
{
    QList<QStringView> targets;
    LinkEndFinder linkEnd(html);
    const qsizetype size = html.size();
    qsizetype p = 0;
    while ((p = html.indexOf(u'<', p)) >= 0) {
        if (p + 2 >= size || (html[p + 1] != u'a' && html[p + 1] != u'A') || !isTagSpace(html[p + 2])) {
            ++p;
            continue;
        }
        p += 2;
        std::optional<QStringView> href;
        while (true) {
            while (p < size && (isTagSpace(html[p]) || html[p] == u'/'))
                ++p;
            if (p >= size)
                return targets;
            if (html[p] == u'>')
                break;
            const qsizetype nameStart = p;
            while (p < size && !isTagSpace(html[p]) && html[p] != u'=' && html[p] != u'>')
                ++p;
            const QStringView name = html.sliced(nameStart, p - nameStart);
            while (p < size && isTagSpace(html[p]))
                ++p;
            if (p >= size || html[p] != u'=')
                continue;
            ++p;
            while (p < size && isTagSpace(html[p]))
                ++p;
            if (p >= size)
                return targets;
            QStringView value;
            if (html[p] == u'"' || html[p] == u'\'') {
                const qsizetype end = html.indexOf(html[p], p + 1);
                if (end < 0)
                    return targets;
                value = html.sliced(p + 1, end - p - 1);
                p = end + 1;
            } else {
                const qsizetype valueStart = p;
                while (p < size && !isTagSpace(html[p]) && html[p] != u'>')
                    ++p;
                value = html.sliced(valueStart, p - valueStart);
            }
            if (!href && name.compare(u"href", Qt::CaseInsensitive) == 0)
                href = value;
        }
        const qsizetype tagEnd = p++;
        if (!href || href->isEmpty())
            continue;
        const qsizetype end = linkEnd.find(tagEnd + 1);
        if (end < size && isClosingTag(html, end)) {
            targets.append(*href);
            p = end + 4;
        }
    }
    return targets;
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The end of the run of ASCII digits starting at i.
qsizetype digitsEnd(QStringView text, qsizetype i)
{
    while (i < text.size() && isAsciiDigit(text[i]))
        ++i;
    return i;
}

// The value of one character reference without its "&" and ";", or nothing
// when the text is not one this parser knows.
std::optional<char32_t> referenceValue(QStringView name)
{
    static const QHash<QString, char32_t> named = {
        {QStringLiteral("amp"), U'&'},  {QStringLiteral("lt"), U'<'},    {QStringLiteral("gt"), U'>'},
        {QStringLiteral("quot"), U'"'}, {QStringLiteral("apos"), U'\''}, {QStringLiteral("nbsp"), U'\u00A0'},
    };
    if (!name.startsWith(u'#')) {
        const auto found = named.constFind(name.toString());
        return found == named.cend() ? std::nullopt : std::optional<char32_t>(*found);
    }
    const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
    const QStringView digits = name.sliced(hex ? 2 : 1);
    bool ok = false;
    const uint value = digits.toUInt(&ok, hex ? 16 : 10);
    const bool allDigits = !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [hex](QChar c) {
        return (c >= u'0' && c <= u'9') || (hex && QStringView(u"abcdefABCDEF").contains(c));
    });
    if (!allDigits)
        return std::nullopt;
    // Out of range, a surrogate or NUL: the replacement character, as browsers do.
    if (!ok || value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return U'\uFFFD';
    return char32_t(value);
}

// Servers escape "&" and quotes in attribute values ("a&amp;b.zip"); the
// address and the version are read from what the page means, not how it is
// written.
QString decodeHtmlReferences(QStringView text)
{
    if (!text.contains(u'&'))
        return text.toString();
    QString decoded;
    decoded.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i] == u'&') {
            // The longest reference understood is "&#x10FFFF;".
            const qsizetype end = text.indexOf(u';', i + 1);
            if (end > i + 1 && end - i <= 10) {
                if (const auto value = referenceValue(text.sliced(i + 1, end - i - 1))) {
                    decoded += QStringView(QChar::fromUcs4(*value));
                    i = end + 1;
                    continue;
                }
            }
        }
        decoded += text[i];
        ++i;
    }
    return decoded;
}

// "My%20App%204.5.6.zip" names a file "My App 4.5.6.zip": its version is
// 4.5.6, not the 204.5.6 the encoded text would suggest.
QString percentDecoded(const QString &href)
{
    if (!href.contains(u'%'))
        return href;
    return QUrl::fromPercentEncoding(href.toUtf8());
}

std::optional<QString> packageAddress(const QString &href, const QUrl &listingUrl)
{
    static const QStringList endings = {QStringLiteral(".dmg"), QStringLiteral(".pkg"), QStringLiteral(".zip")};
    if (std::none_of(endings.cbegin(), endings.cend(), [&href](const QString &e) { return href.endsWith(e); }))
        return std::nullopt;
    const QUrl link(href);
    if (!link.isValid())
        return std::nullopt;
    // A page may link anywhere (file:, data:, javascript:); only a web
    // address may become a download.
    const QUrl resolved = listingUrl.resolved(link);
    if (!isWebAddress(resolved))
        return std::nullopt;
    return resolved.toString(QUrl::FullyEncoded);
}

std::optional<QString> templateAddress(const QString &pattern, const QString &version)
{
    QString address = fillVersionTemplate(pattern, version);
    return isWebAddress(address) ? std::optional(std::move(address)) : std::nullopt;
}

struct FetchedPage
{
    QUrl url; // after redirects: the address the page's relative links belong to
    QByteArray body;
};

QString decodePage(const QByteArray &body)
{
    // ASCII is a subset of UTF-8: a body that fails as UTF-8 fails as both.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(body);
    if (decoder.hasError())
        throw UrlError::cannotDecodeRawData();
    return text;
}

// One GET on the manager's own thread; the future finishes there too.
QFuture<FetchedPage> fetchPage(QNetworkAccessManager *manager, const QUrl &url, int timeoutMs, qint64 maxBytes)
{
    auto promise = std::make_shared<QPromise<FetchedPage>>();
    promise->start();
    QFuture<FetchedPage> future = promise->future();
    auto start = [network = QPointer<QNetworkAccessManager>(manager), url, timeoutMs, maxBytes, promise] {
        if (!network) {
            promise->finish(); // the manager is gone: the future ends cancelled
            return;
        }
        QNetworkRequest request(url);
        request.setTransferTimeout(timeoutMs);
        QNetworkReply *reply = network->get(request);
        auto tooLarge = std::make_shared<bool>(false);
        QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                         [reply, tooLarge, maxBytes](qint64 received, qint64 total) {
                             if (!*tooLarge && (received > maxBytes || total > maxBytes)) {
                                 *tooLarge = true;
                                 reply->abort();
                             }
                         });
        QObject::connect(reply, &QNetworkReply::finished, reply, [reply, tooLarge, timeoutMs, maxBytes, promise] {
            reply->deleteLater();
            if (*tooLarge)
                promise->setException(UrlError::dataLengthExceedsMaximum(maxBytes));
            else if (const auto error = UrlError::forFinishedReply(*reply, timeoutMs))
                promise->setException(*error);
            else
                promise->addResult(FetchedPage{reply->url(), reply->readAll()});
            promise->finish();
        });
    };
    if (manager->thread() == QThread::currentThread())
        start();
    else
        QMetaObject::invokeMethod(manager, std::move(start));
    return future;
}

} // namespace

NginxIndexParser::NginxIndexParser(QNetworkAccessManager *network, int timeoutMs, qint64 maxPageBytes, QObject *parent)
    : QObject(parent), m_network(network ? network : new QNetworkAccessManager(this)), m_timeoutMs(timeoutMs),
      m_maxPageBytes(maxPageBytes)
{
}

NginxIndexParser::~NginxIndexParser() = default;

NginxIndexParser &NginxIndexParser::shared()
{
    // Owned by the application object, so the network manager is gone before
    // Qt itself shuts down.
    static auto *instance =
        new NginxIndexParser(nullptr, defaultTimeoutMs, defaultMaxPageBytes, QCoreApplication::instance());
    return *instance;
}

QString NginxIndexParser::changelogText()
{
    return QStringLiteral("从版本目录自动解析");
}

QFuture<QList<AppVersion>> NginxIndexParser::parseVersions(const QString &listingUrl,
                                                           const std::optional<QString> &patternUrl) const
{
    const QUrl url(listingUrl);
    if (!isWebAddress(url))
        return QtFuture::makeExceptionalFuture<QList<AppVersion>>(UrlError::badUrl(listingUrl));
    return fetchPage(m_network, url, m_timeoutMs, m_maxPageBytes)
        .then(QtFuture::Launch::Async, [patternUrl](const FetchedPage &page) {
            return parseListing(decodePage(page.body), page.url, patternUrl);
        });
}

std::optional<QString> NginxIndexParser::extractVersion(const QString &text)
{
    // Two or three numbers joined by dots, then an optional "-" suffix of
    // letters, digits and dots. Scanned run by run, so a long run of digits
    // costs its length once rather than once per digit.
    const qsizetype size = text.size();
    for (qsizetype start = 0; start < size;) {
        if (!isAsciiDigit(text[start])) {
            ++start;
            continue;
        }
        qsizetype end = digitsEnd(text, start);
        if (end + 1 >= size || text[end] != u'.' || !isAsciiDigit(text[end + 1])) {
            start = end;
            continue;
        }
        end = digitsEnd(text, end + 1);
        if (end + 1 < size && text[end] == u'.' && isAsciiDigit(text[end + 1]))
            end = digitsEnd(text, end + 1);
        if (end < size && text[end] == u'-') {
            ++end;
            while (end < size && ((text[end].isLetterOrNumber() && text[end].unicode() < 0x80) || text[end] == u'.'))
                ++end;
        }
        return text.sliced(start, end - start);
    }
    return std::nullopt;
}

QList<AppVersion> NginxIndexParser::parseListing(const QString &html, const QUrl &listingUrl,
                                                 const std::optional<QString> &patternUrl)
{
    const bool useTemplate = patternUrl && !patternUrl->isEmpty();
    QList<AppVersion> versions;
    QSet<QString> seen;
    for (const QStringView target : linkTargets(html)) {
        const QString href = decodeHtmlReferences(target);
        // The parent folder and the listing's own sort and anchor links.
        if (href == u"../" || href.startsWith(u'?') || href.startsWith(u'#'))
            continue;
        auto version = extractVersion(percentDecoded(href));
        if (!version || seen.contains(*version))
            continue;
        seen.insert(*version);
        AppVersion entry;
        entry.downloadUrl = useTemplate ? templateAddress(*patternUrl, *version) : packageAddress(href, listingUrl);
        entry.version = std::move(*version);
        entry.changelog = changelogText();
        versions.append(std::move(entry));
    }
    std::stable_sort(versions.begin(), versions.end(),
                     [](const AppVersion &a, const AppVersion &b) { return numericCompare(a.version, b.version) > 0; });
    return versions;
}
