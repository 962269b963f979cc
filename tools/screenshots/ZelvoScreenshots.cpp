// Renders every screen of the window to PNG files, headless, at the text
// scales 100 %, 80 % and 145 %, so people can look at the app without a Mac.
//
//   zelvo_screenshots OUTPUT_FOLDER        (scripts/screenshots runs it)
//
// The app's real screens come from ScreenFactory, so a destination shows its
// screen here as soon as the factory returns it. A state worth a picture of
// its own (a detail page, a filled form) is one more entry in shots() below.
// Nothing touches the user's files: the library, the installed-app folders
// and the settings all live in a temporary folder.

#include <functional>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListView>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>

#include "services/AppStoreService.h"
#include "services/BrewService.h"
#include "services/DownloadManager.h"
#include "services/InstallerService.h"
#include "services/InstalledDetector.h"
#include "services/NginxIndexParser.h"
#include "views/AppListView.h"
#include "views/MainView.h"
#include "views/ScreenFactory.h"
#include "views/components/AppCardDelegate.h"
#include "views/components/Symbols.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"

namespace {

struct Context
{
    ScreenFactory &screens;
    FontScaleManager &fontScale;
};

struct Shot
{
    QString name;
    QSize size;
    // Builds the top-level widget to grab; prepare runs after it is shown.
    std::function<QWidget *(Context &)> build;
    std::function<void(QWidget *, Context &)> prepare = {};
    bool dark = false;
};

void settle(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

MainView *mainView(Context &context, NavigationItem item)
{
    auto *view = new MainView(context.fontScale, [&screens = context.screens](NavigationItem shown, QWidget *parent) {
        return screens.create(shown, parent);
    });
    view->setSelectedItem(item);
    return view;
}

// A catalog list on its own, as the detail column shows it, with a filter set.
AppListView *listView(Context &context, bool installedOnly, const QString &category, const QString &search)
{
    auto *view = new AppListView(context.screens.context(), installedOnly);
    view->setSelectedCategory(category);
    view->setSearchText(search);
    return view;
}

// A few of the presets "installed", one of them older than the catalog, so
// the lists show every kind of install control.
void installSomePresets(const QString &applications)
{
    const struct
    {
        const char *file, *id, *version;
    } bundles[] = {{"Google Chrome", "com.google.Chrome", "120.0.1"},
                   {"WeChat", "com.tencent.xinWeChat", "3.8.8"},
                   {"iTerm", "com.googlecode.iterm2", "3.5.4"}};
    for (const auto &bundle : bundles) {
        const QString contents = QStringLiteral("%1/%2.app/Contents").arg(applications, QLatin1String(bundle.file));
        QDir().mkpath(contents);
        QFile plist(contents + QStringLiteral("/Info.plist"));
        if (plist.open(QIODevice::WriteOnly))
            plist.write(QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>CFBundleName</key><string>%1</string>
<key>CFBundleIdentifier</key><string>%2</string>
<key>CFBundleShortVersionString</key><string>%3</string>
</dict></plist>
)")
                            .arg(QLatin1String(bundle.file), QLatin1String(bundle.id), QLatin1String(bundle.version))
                            .toUtf8());
    }
}

QList<Shot> shots()
{
    QList<Shot> list;
    for (NavigationItem item : Navigation::allItems()) {
        list.append({QStringLiteral("main-") + Navigation::id(item), QSize(1100, 720),
                     [item](Context &context) { return mainView(context, item); }});
    }
    // The catalog lists: a category with a search and the pointer over a card,
    // and the empty state of each destination.
    list.append({QStringLiteral("list-discover-filtered"), QSize(880, 720),
                 [](Context &context) {
                     return listView(context, false, QStringLiteral("开发工具"), QStringLiteral("o"));
                 },
                 [](QWidget *widget, Context &) {
                     auto *view = static_cast<AppListView *>(widget);
                     const QModelIndex first = view->listView()->model()->index(0, 0);
                     view->cardDelegate()->setHoverPosition(first, view->listView()->visualRect(first).center());
                 }});
    list.append({QStringLiteral("list-discover-empty"), QSize(880, 720), [](Context &context) {
                     return listView(context, false, QStringLiteral("全部"), QStringLiteral("没有这个应用"));
                 }});
    list.append({QStringLiteral("list-installed-empty"), QSize(880, 720), [](Context &context) {
                     return listView(context, true, QStringLiteral("全部"), QStringLiteral("没有这个应用"));
                 }});
    // The smallest window, with the badge and the HUD up: what clips first.
    list.append({QStringLiteral("main-minimum-badge-hud"), QSize(920, 620),
                 [](Context &context) {
                     MainView *view = mainView(context, NavigationItem::downloads);
                     view->setDownloadsBadgeCount(12);
                     return view;
                 },
                 [](QWidget *, Context &context) { context.fontScale.triggerHud(); }});
    list.append({QStringLiteral("main-dark-badge-hud"), QSize(1100, 720),
                 [](Context &context) {
                     MainView *view = mainView(context, NavigationItem::discover);
                     view->setDownloadsBadgeCount(2);
                     return view;
                 },
                 [](QWidget *, Context &context) { context.fontScale.triggerHud(); }, true});
    return list;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZelvoAppStore"));
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: zelvo_screenshots OUTPUT_FOLDER\n";
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(output)) {
        err << "cannot create " << output << "\n";
        return 1;
    }
    QTemporaryDir temp;
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, temp.filePath(QStringLiteral("settings")));
    QPalette darkBase;
    darkBase.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
    darkBase.setColor(QPalette::WindowText, Qt::white);
    const QPalette lightPalette = ThemeColor::appPalette(QApplication::palette());
    const QPalette darkPalette = ThemeColor::appPalette(darkBase);
    if (!Symbols::fontLoaded())
        err << "warning: the symbol font did not load\n";

    installSomePresets(temp.filePath(QStringLiteral("Applications")));
    InstalledDetector detector({temp.filePath(QStringLiteral("Applications"))});
    AppStoreService store(temp.filePath(QStringLiteral("library")), detector);
    FontScaleManager &fontScale = FontScaleManager::shared();
    DownloadManager downloads(temp.filePath(QStringLiteral("cache")));
    InstallerService installer(temp.filePath(QStringLiteral("Applications")), temp.filePath(QStringLiteral("tmp")));
    // Nothing listens on the discard port: screenshots never touch the network.
    BrewService brew(QStringLiteral("http://127.0.0.1:9"), {temp.filePath(QStringLiteral("no-brew"))});
    NginxIndexParser scraper;
    AppContext appContext{store, downloads, installer, brew, scraper, fontScale};
    ScreenFactory screens(appContext);
    Context context{screens, fontScale};

    int written = 0;
    for (const double scale : {1.0, 0.8, 1.45}) {
        fontScale.setScale(scale);
        const QString suffix = QString::number(std::llround(scale * 100));
        for (const Shot &shot : shots()) {
            QApplication::setPalette(shot.dark ? darkPalette : lightPalette);
            QWidget *widget = shot.build(context);
            widget->resize(shot.size);
            widget->show();
            settle(50);
            if (shot.prepare) {
                shot.prepare(widget, context);
                settle(300);
            }
            const QString path = QDir(output).filePath(shot.name + QLatin1Char('@') + suffix + QStringLiteral(".png"));
            if (!widget->grab().save(path)) {
                err << "cannot write " << path << "\n";
                return 1;
            }
            ++written;
            delete widget;
            settle(10);
        }
    }
    QTextStream(stdout) << written << " screenshots in " << output << "\n";
    return 0;
}
