// The discover screen over a large library: opening it (against the same
// screen over six records), typing into its search box, and scrolling its
// card list from top to bottom. Each library size runs in a child process of
// its own so the memory figures do not share an allocator.
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QImage>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <vector>

#include "BenchServices.h"
#include "BenchUtil.h"
#include "views/AppListView.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"

namespace {

// Each record gets one of a few dozen remote icons, already on disk where
// the icon cache keeps what it fetched, so every card draws a real picture.
void giveIcons(QList<AppItem> &apps, const QString &iconFolder)
{
    QDir().mkpath(iconFolder);
    constexpr int distinct = 40;
    for (int i = 0; i < apps.size(); ++i) {
        const QString url = QStringLiteral("http://127.0.0.1:9/icon-%1.png").arg(i % distinct);
        apps[i].iconUrl = url;
        const QString file = QDir(iconFolder).filePath(
            QString::fromLatin1(QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha1).toHex()));
        if (i >= distinct)
            continue;
        QImage image(256, 256, QImage::Format_ARGB32);
        image.fill(QColor::fromHsv(i * 360 / distinct, 160, 220));
        if (!image.save(file, "PNG"))
            qFatal("cannot write an icon");
    }
}

// Notes any paint inside one window; the caller spins the event loop until it happened.
class PaintWatcher final : public QObject
{
public:
    explicit PaintWatcher(QWidget *window) : m_window(window) { qApp->installEventFilter(this); }
    ~PaintWatcher() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget *>(watched)->window() == m_window)
            m_painted = true;
        return false;
    }
    // Runs the event loop until a paint has been handled completely.
    void waitForPaint()
    {
        m_painted = false;
        QElapsedTimer guard;
        guard.start();
        while (!m_painted && guard.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
    }

private:
    QWidget *m_window;
    bool m_painted = false;
};

struct Stats
{
    double median = 0;
    double p99 = 0;
    double max = 0;
};

Stats stats(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values[std::min(values.size() - 1, values.size() * 99 / 100)], values.back()};
}

void print(const char *key, double value)
{
    std::printf("%s %.3f\n", key, value);
}

// One library size: prints "key value" lines for the parent.
int child(int argc, char *argv[], int count)
{
    QApplication app(argc, argv);
    QApplication::setPalette(ThemeColor::appPalette(QApplication::palette()));
    QTemporaryDir home;
    const bool withIcons = qEnvironmentVariableIsSet("BENCH_ICONS");
    QList<AppItem> apps = Bench::makeLibrary(count);
    if (withIcons)
        giveIcons(apps, home.filePath(QStringLiteral("icons")));
    Bench::writeLibrary(home.filePath(QStringLiteral("library")), apps);
    Bench::Services services(home.path());
    AppContext &context = services.context;
    // Fonts are loaded once per process whatever the library; load them first
    // so that the screen's own cost is what gets measured.
    {
        QWidget warm;
        ThemeFont::apply(&warm, 12);
        warm.resize(10, 10);
        warm.show();
        QCoreApplication::processEvents();
        warm.grab();
    }

    // What the library's loading freed goes back to the system first, so the
    // screen's own allocations show as growth instead of reusing it.
    ::malloc_trim(0);
    const long before = Bench::residentKiB();
    const auto heapBefore = ::mallinfo2();
    QElapsedTimer timer;
    timer.start();
    auto *view = new AppListView(context, false);
    view->resize(880, 720);
    PaintWatcher watcher(view);
    view->show();
    watcher.waitForPaint();
    print("open_ms", double(timer.nsecsElapsed()) / 1e6);
    print("open_kib", double(Bench::residentKiB() - before));
    const auto heapAfter = ::mallinfo2();
    print("heap_kib", double(qint64(heapAfter.uordblks + heapAfter.hblkhd) - qint64(heapBefore.uordblks + heapBefore.hblkhd)) / 1024.0);
    if (view->filteredApps().size() != count)
        qFatal("the screen shows %lld of %d records", qlonglong(view->filteredApps().size()), count);

    if (qEnvironmentVariableIsSet("BENCH_OPEN_ONLY"))
        return 0;

    // Scrolling: one viewport height per frame, top to bottom.
    const auto scrollThrough = [&] {
        QScrollBar *bar = view->listView()->verticalScrollBar();
        const int step = std::max(1, view->listView()->viewport()->height());
        std::vector<double> frames;
        // The list starts at the top: a first step to 0 would move nothing,
        // and its "frame" would time the wait for some other paint.
        for (int value = step; value <= bar->maximum() + step - 1; value += step) {
            timer.restart();
            bar->setValue(std::min(value, bar->maximum()));
            watcher.waitForPaint();
            frames.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        bar->setValue(0);
        watcher.waitForPaint();
        return frames;
    };

    if (withIcons) {
        // The first pass starts every icon loading; the one measured draws them.
        scrollThrough();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
    } else {
        // Typing: each key refilters all records and repaints the list.
        std::vector<double> keys;
        QLineEdit *field = view->searchField();
        for (int round = 0; round < 5; ++round) {
            for (const char c : {'c', 'h', 'r'}) {
                timer.restart();
                QTest::keyClick(field, c);
                watcher.waitForPaint();
                keys.push_back(double(timer.nsecsElapsed()) / 1e6);
            }
            for (int i = 0; i < 3; ++i) {
                timer.restart();
                QTest::keyClick(field, Qt::Key_Backspace);
                watcher.waitForPaint();
                keys.push_back(double(timer.nsecsElapsed()) / 1e6);
            }
        }
        const Stats typing = stats(keys);
        print("key_median_ms", typing.median);
        print("key_max_ms", typing.max);
    }

    const std::vector<double> frames = scrollThrough();
    const Stats scrolling = stats(frames);
    print("frames", double(frames.size()));
    print("frame_median_ms", scrolling.median);
    print("frame_p99_ms", scrolling.p99);
    print("frame_max_ms", scrolling.max);
    delete view;
    return 0;
}

QHash<QString, double> run(int count, bool openOnly, bool iconsAtRatio2 = false)
{
    QProcess process;
    auto env = QProcessEnvironment::systemEnvironment();
    if (openOnly)
        env.insert(QStringLiteral("BENCH_OPEN_ONLY"), QStringLiteral("1"));
    if (iconsAtRatio2) {
        env.insert(QStringLiteral("BENCH_ICONS"), QStringLiteral("1"));
        env.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
    }
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), QString::number(count)});
    if (!process.waitForFinished(600'000) || process.exitCode() != 0)
        qFatal("child for %d records failed", count);
    QHash<QString, double> values;
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2)
            values.insert(QString::fromUtf8(parts[0]), parts[1].toDouble());
    }
    return values;
}

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 2 && qstrcmp(argv[1], "--child") == 0)
        return child(argc, argv, QByteArray(argv[2]).toInt());

    QCoreApplication app(argc, argv);
    constexpr int large = 10'000;
    std::vector<double> smallMs, largeMs, smallKiB, largeKiB, smallHeap, largeHeap;
    for (int i = 0; i < 5; ++i) {
        const auto few = run(6, true);
        const auto many = run(large, true);
        smallMs.push_back(few.value(QStringLiteral("open_ms")));
        largeMs.push_back(many.value(QStringLiteral("open_ms")));
        smallKiB.push_back(few.value(QStringLiteral("open_kib")));
        largeKiB.push_back(many.value(QStringLiteral("open_kib")));
        smallHeap.push_back(few.value(QStringLiteral("heap_kib")));
        largeHeap.push_back(many.value(QStringLiteral("heap_kib")));
    }
    Bench::reportRatio(QStringLiteral("open discover screen, 10,000 records"), medianOf(largeMs), medianOf(smallMs),
                       QStringLiteral("6 records"), QStringLiteral("≤ 250 ms"));
    const double growthMiB = (medianOf(largeKiB) - medianOf(smallKiB)) / 1024.0;
    Bench::report(QStringLiteral("  resident memory growth over the 6-record screen"), growthMiB, "MiB",
                  QStringLiteral("opening grew %1 MiB vs %2 MiB; goal ≤ 60 MiB")
                      .arg(medianOf(largeKiB) / 1024.0, 0, 'f', 1)
                      .arg(medianOf(smallKiB) / 1024.0, 0, 'f', 1));
    const double heapMiB = (medianOf(largeHeap) - medianOf(smallHeap)) / 1024.0;
    Bench::report(QStringLiteral("  heap growth over the 6-record screen"), heapMiB, "MiB",
                  QStringLiteral("allocated %1 MiB vs %2 MiB; goal ≤ 60 MiB")
                      .arg(medianOf(largeHeap) / 1024.0, 0, 'f', 1)
                      .arg(medianOf(smallHeap) / 1024.0, 0, 'f', 1));

    const auto many = run(large, false);
    Bench::report(QStringLiteral("type one character, refilter + repaint (median)"),
                  many.value(QStringLiteral("key_median_ms")), "ms", QStringLiteral("10,000 records; goal ≤ 16 ms"));
    Bench::report(QStringLiteral("  slowest of 30 keys"), many.value(QStringLiteral("key_max_ms")), "ms",
                  QStringLiteral("goal ≤ 16 ms"));
    Bench::report(QStringLiteral("scroll top to bottom, frame (median)"),
                  many.value(QStringLiteral("frame_median_ms")), "ms",
                  QStringLiteral("%1 frames of one viewport height").arg(many.value(QStringLiteral("frames"))));
    Bench::report(QStringLiteral("  frame p99"), many.value(QStringLiteral("frame_p99_ms")), "ms",
                  QStringLiteral("goal ≤ 16 ms"));
    Bench::report(QStringLiteral("  slowest frame"), many.value(QStringLiteral("frame_max_ms")), "ms",
                  QStringLiteral("goal ≤ 16 ms"));

    const auto sharp = run(1000, false, true);
    Bench::report(QStringLiteral("scroll 1,000 cards with icons at ratio 2, frame (median)"),
                  sharp.value(QStringLiteral("frame_median_ms")), "ms",
                  QStringLiteral("QT_SCALE_FACTOR=2, %1 frames; 40 distinct icons").arg(sharp.value(QStringLiteral("frames"))));
    Bench::report(QStringLiteral("  frame p99"), sharp.value(QStringLiteral("frame_p99_ms")), "ms",
                  QStringLiteral("goal ≤ 16 ms"));
    Bench::report(QStringLiteral("  slowest frame"), sharp.value(QStringLiteral("frame_max_ms")), "ms",
                  QStringLiteral("goal ≤ 16 ms"));
    return 0;
}
