// A directory listing with 10,000 links, shaped like nginx's autoindex:
// decoded from UTF-8, parsed and sorted newest first. Goal: <= 100 ms.
// Also a hostile page of the same order of size: one line of links that are
// never closed, which a scan that looks ahead from each link to the line's
// end would take quadratic time over. Goal: no slower than the listing.
#include <algorithm>
#include <cstdio>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>
#include <QUrl>

#include "services/NginxIndexParser.h"

namespace {

QByteArray listingPage(int links)
{
    QByteArray page = "<html>\r\n<head><title>Index of /releases/</title></head>\r\n<body>\r\n"
                      "<h1>Index of /releases/</h1><hr><pre><a href=\"../\">../</a>\r\n";
    for (int i = 0; i < links; ++i) {
        // Every fifth link repeats the version of the one before it.
        const int n = i % 5 == 4 ? i - 1 : i;
        const QByteArray version =
            QByteArray::number(n / 1000) + '.' + QByteArray::number(n / 10 % 100) + '.' + QByteArray::number(n % 10);
        QByteArray href;
        switch (i % 5) {
        case 0:
            href = version + '/';
            break; // version folder
        case 1:
            href = "My%20App%20" + version + ".zip";
            break; // percent-encoded name
        case 2:
            href = "MyApp-" + version + "-beta.1.dmg";
            break; // suffix
        case 3:
            href = "a&amp;b-" + version + ".pkg";
            break; // escaped name
        default:
            href = "MyApp-" + version + ".dmg.sha256";
            break; // checksum of the same version
        }
        page += "<a href=\"" + href + "\">" + href.left(50) + "</a>" +
                QByteArray(50 - std::min<qsizetype>(50, href.size()), ' ') +
                " 06-Dec-2026 07:28            48213987\r\n";
    }
    return page + "</pre><hr></body>\r\n</html>\r\n";
}

// One line of 880 KB: "<a href=\"MyApp-1.0.dmg\">" over and over, never closed.
QByteArray unclosedLinksPage()
{
    return "<html><body><pre>" + QByteArray("<a href=\"MyApp-1.0.dmg\">").repeated(880 * 1000 / 24) + "\r\n</pre>";
}

// Median and best of 15 parses, in milliseconds; the number of versions found.
struct Timing
{
    double median = 0;
    double best = 0;
    qsizetype versions = 0;
};

Timing timeParse(const QByteArray &page)
{
    const QUrl base(QStringLiteral("https://mirror.example.com/releases/"));
    QList<double> runs;
    qsizetype versions = 0;
    for (int run = 0; run < 15; ++run) {
        QElapsedTimer timer;
        timer.start();
        const auto parsed = NginxIndexParser::parseListing(QString::fromUtf8(page), base, std::nullopt);
        runs.append(timer.nsecsElapsed() / 1e6);
        versions = parsed.size();
    }
    std::sort(runs.begin(), runs.end());
    return {runs[runs.size() / 2], runs.first(), versions};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int links = 10000;
    const QByteArray page = listingPage(links);
    const Timing listing = timeParse(page);
    std::printf("listing_10000_links_parse_sort\t%.1f\tms\tmedian of 15; best %.1f ms; %lld versions; %.1f MB page; "
                "goal <= 100 ms\n",
                listing.median, listing.best, static_cast<long long>(listing.versions), page.size() / 1e6);
    const QByteArray hostile = unclosedLinksPage();
    const Timing unclosed = timeParse(hostile);
    std::printf("listing_unclosed_links_one_line\t%.1f\tms\tmedian of 15; best %.1f ms; %lld versions; %.2f MB page; "
                "goal <= 100 ms\n",
                unclosed.median, unclosed.best, static_cast<long long>(unclosed.versions), hostile.size() / 1e6);
    return 0;
}
