// The discover screen over a large library: opening it (against the same
// screen over six records), typing into its search box, and scrolling its
// card list from top to bottom. Each library size runs in a child process of
// its own so the memory figures do not share an allocator.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <vector>

#include "BenchUtil.h"
#include "services/AppStoreService.h"
#include "services/BrewService.h"
#include "services/DownloadManager.h"
#include "services/InstalledDetector.h"
#include "services/InstallerService.h"
#include "services/NginxIndexParser.h"
#include "views/AppContext.h"
#include "views/AppListView.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"

namespace {

QList<AppItem> makeLibrary(int count)
{
    static const char *const words[] = {"Chrome", "Studio", "Player", "Notes", "Terminal", "Mail", "Docker", "Code"};
    static const char *const categories[] = {"网络浏览器", "开发工具", "通讯社交", "效率办公", "影音视听", "系统工具"};
    static const char *const packages[] = {"dmg", "pkg", "zip"};
    QList<AppItem> apps;
    apps.reserve(count);
    for (int i = 0; i < count; ++i) {
        AppItem app;
        app.id = QStringLiteral("app-%1").arg(i, 5, 10, QLatin1Char('0'));
        app.name = QStringLiteral("%1 %2").arg(QLatin1String(words[i % 8])).arg(i);
        if (i % 3 != 0)
            app.chineseName = QStringLiteral("应用%1号").arg(i);
        app.bundleId = QStringLiteral("com.example.") + app.id;
        app.category = QString::fromUtf8(categories[i % 6]);
        app.summary = QStringLiteral("第 %1 个示例应用，用于衡量列表的速度与内存").arg(i);
        app.description = QStringLiteral("一段较长的描述文字，说明这个应用做什么、适合谁、有哪些特点。").repeated(4);
        app.sourceType = i % 4 == 0 ? AppSourceType::brew : AppSourceType::direct;
        app.currentVersion = QStringLiteral("%1.%2.%3").arg(i % 20).arg(i % 7).arg(i % 11);
        app.packageType = *packageTypeFromRaw(QLatin1String(packages[i % 3]));
        app.downloadUrl = QStringLiteral("https://example.invalid/%1.%2").arg(app.id, QLatin1String(packages[i % 3]));
        apps.append(app);
    }
    return apps;
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
    QSettings settings(home.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    QDir().mkpath(home.filePath(QStringLiteral("library")));
    QFile library(home.filePath(QStringLiteral("library/apps.json")));
    if (!library.open(QIODevice::WriteOnly) || library.write(AppItem::listToJson(makeLibrary(count))) < 0)
        qFatal("cannot write the library");
    library.close();

    InstalledDetector detector({home.filePath(QStringLiteral("Applications"))});
    AppStoreService store(home.filePath(QStringLiteral("library")), detector);
    DownloadManager downloads(home.filePath(QStringLiteral("cache")));
    InstallerService installer(home.filePath(QStringLiteral("Applications")));
    BrewService brew(QStringLiteral("http://127.0.0.1:9"), {home.filePath(QStringLiteral("no-brew"))});
    NginxIndexParser scraper;
    AppContext context{store, downloads, installer, brew, scraper, FontScaleManager::shared()};
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

    // Scrolling: one viewport height per frame, top to bottom.
    QScrollBar *bar = view->listView()->verticalScrollBar();
    const int step = std::max(1, view->listView()->viewport()->height());
    std::vector<double> frames;
    for (int value = 0; value <= bar->maximum() + step - 1; value += step) {
        timer.restart();
        bar->setValue(std::min(value, bar->maximum()));
        watcher.waitForPaint();
        frames.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    const Stats scrolling = stats(frames);
    print("frames", double(frames.size()));
    print("frame_median_ms", scrolling.median);
    print("frame_p99_ms", scrolling.p99);
    print("frame_max_ms", scrolling.max);
    delete view;
    return 0;
}

QHash<QString, double> run(int count, bool openOnly)
{
    QProcess process;
    auto env = QProcessEnvironment::systemEnvironment();
    if (openOnly)
        env.insert(QStringLiteral("BENCH_OPEN_ONLY"), QStringLiteral("1"));
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
    return 0;
}
