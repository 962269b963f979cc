// A listing of 20,000 versions in the entry form and on the detail page: the
// longest single stretch the window is busy (fetch result shown, page opened,
// "more" clicked), beside the same with 6 versions. Goal: no update over 50 ms.
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include "BenchServices.h"
#include "BenchUtil.h"
#include "services/AppStoreService.h"
#include "services/BrewService.h"
#include "services/DownloadManager.h"
#include "services/InstalledDetector.h"
#include "services/InstallerService.h"
#include "services/NginxIndexParser.h"
#include "views/AppContext.h"
#include "views/AppDetailView.h"
#include "views/CustomFormImportSection.h"
#include "views/components/ThemeFont.h"

namespace {

QByteArray listingPage(int versions)
{
    QByteArray page = "<html><body><pre><a href=\"../\">../</a>\n";
    for (int i = 0; i < versions; ++i) {
        const QByteArray name = "MyApp-" + QByteArray::number(1 + i / 1000) + '.' + QByteArray::number(i % 1000) +
                                ".0.dmg";
        page += "<a href=\"" + name + "\">" + name + "</a>  06-Dec-2026 10:00  1234\n";
    }
    return page + "</pre></body></html>\n";
}

// Answers every request with the page, once, and closes.
class PageServer final : public QTcpServer
{
public:
    explicit PageServer(QByteArray page) : m_page(std::move(page))
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    socket->readAll();
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: " +
                                  QByteArray::number(m_page.size()) + "\r\n\r\n" + m_page);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

private:
    QByteArray m_page;
};

// Runs the event loop until done() and returns the longest time one turn of
// it took: what the user feels as the window being stuck.
double longestTurnMs(const std::function<bool()> &done)
{
    QElapsedTimer turn;
    double longest = 0;
    QTimer beat;
    beat.setInterval(0);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        longest = std::max(longest, double(turn.nsecsElapsed()) / 1e6);
        turn.restart();
    });
    turn.start();
    beat.start();
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    longest = std::max(longest, double(turn.nsecsElapsed()) / 1e6);
    return longest;
}

double timedMs(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

void measure(int count)
{
    QTemporaryDir dir;
    Bench::Services services(dir.path());
    AppStoreService &store = services.store;
    NginxIndexParser &scraper = services.scraper;
    AppContext &context = services.context;
    const QString note = QStringLiteral("%1 versions; goal ≤ 50 ms").arg(count);

    PageServer server(listingPage(count));
    const QString address = QStringLiteral("http://127.0.0.1:%1/releases/").arg(server.serverPort());
    CustomFormImportSection form(store, scraper);
    form.resize(720, 1000);
    form.show();
    form.grab();
    form.findChild<QLineEdit *>(QStringLiteral("versionListField"))->setText(address);
    form.fetchNginxVersions();
    double formTurn = longestTurnMs([&] { return !form.isParsingNginx(); });
    formTurn = std::max(formTurn, timedMs([&] { form.grab(); }));
    Bench::report(QStringLiteral("entry form, fetched list shown, %1 versions").arg(count), formTurn, "ms",
                  note + QStringLiteral("; longest event-loop turn incl. repaint"));

    AppItem app;
    app.id = app.name = QStringLiteral("myapp");
    app.versions = form.parsedVersions();
    app.currentVersion = app.versions->isEmpty() ? QStringLiteral("1.0") : app.versions->first().version;
    const double open = timedMs([&] {
        AppDetailView page(context, app, QStringLiteral("发现应用"), [] {});
        page.resize(880, 720);
        page.show();
        page.grab();
    });
    AppDetailView page(context, app, QStringLiteral("发现应用"), [] {});
    page.resize(880, 720);
    page.show();
    page.grab();
    auto *more = page.findChild<QAbstractButton *>(QStringLiteral("moreVersionsButton"));
    const double showMore = more && more->isVisible() ? timedMs([&] {
        more->click();
        page.grab();
    })
                                                      : 0;
    Bench::report(QStringLiteral("detail page open, %1 versions").arg(count), open, "ms",
                  note + QStringLiteral("; build, layout, first paint"));
    Bench::report(QStringLiteral("detail page more versions, %1 versions").arg(count), showMore, "ms",
                  note + QStringLiteral("; one click and repaint"));
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    measure(6);
    measure(20000);
    return 0;
}
