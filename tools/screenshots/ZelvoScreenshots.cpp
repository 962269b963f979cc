// Renders every screen of the window to PNG files, headless, at the text
// scales 100 %, 80 % and 145 %, so people can look at the app without a Mac.
//
//   zelvo_screenshots OUTPUT_FOLDER          (scripts/screenshots runs it)
//   zelvo_screenshots --docs OUTPUT_FOLDER   only the README's pictures (see
//                                            docsNames()), at 100 %
//
// The app's real screens come from ScreenFactory, so a destination shows its
// screen here as soon as the factory returns it. A state worth a picture of
// its own (a detail page, a filled form) is one more entry in shots() below.
// Nothing touches the user's files: the library, the installed-app folders
// and the settings all live in a temporary folder.

#include <functional>

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextStream>
#include <QVBoxLayout>

#include "services/AppStoreService.h"
#include "services/BrewService.h"
#include "services/DownloadManager.h"
#include "services/InstallWorkflowRegistry.h"
#include "services/InstalledDetector.h"
#include "services/InstallerService.h"
#include "services/NginxIndexParser.h"
#include "services/SourceStore.h"
#include "support/TestFolders.h"
#include "support/TestHttpServer.h"
#include "services/UpdateCenter.h"
#include "views/AppContext.h"
#include "views/AppDetailView.h"
#include "views/AppImportView.h"
#include "views/AppListView.h"
#include "views/BrewImportSection.h"
#include "views/CustomFormImportSection.h"
#include "views/DownloadsView.h"
#include "views/JsonTemplateImportSection.h"
#include "views/LocalPackageListModel.h"
#include "views/MainView.h"
#include "views/ScreenFactory.h"
#include "views/components/AppCardDelegate.h"
#include "views/components/IconCache.h"
#include "views/components/InstallControlPainter.h"
#include "views/components/Symbols.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"

namespace {

struct Context
{
    ScreenFactory &screens;
    FontScaleManager &fontScale;
    DownloadManager &downloads;
    // Serves the downloads shown on the downloads screen, on 127.0.0.1.
    TestHttpServer &server;
    // The services over a fake brew that knows a few casks (the cask API is
    // unreachable, so every lookup goes to it).
    AppContext &brewDemo;
};

struct Shot
{
    QString name;
    QSize size;
    // Builds the top-level widget to grab; prepare runs after it is shown.
    std::function<QWidget *(Context &)> build;
    std::function<void(QWidget *, Context &)> prepare = {};
    // Runs after the grab, to leave nothing behind for the next shot.
    std::function<void(Context &)> done = {};
};

// The shots the README shows (docs/images), by shot name: the file name there.
const QHash<QString, QString> &docsNames()
{
    static const QHash<QString, QString> names{
        {QStringLiteral("main-discover"), QStringLiteral("discover")},
        {QStringLiteral("import-json-success"), QStringLiteral("import-json")},
        {QStringLiteral("detail-outdated"), QStringLiteral("detail")},
        {QStringLiteral("downloads-filled"), QStringLiteral("downloads")},
    };
    return names;
}

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

// A fake brew for the Homebrew entry: `search` and `info` answer from a
// few canned casks; every other name is unknown.
void writeFakeBrew(const QString &folder)
{
    QDir().mkpath(folder);
    const auto write = [&folder](const QString &name, const QByteArray &bytes, bool executable) {
        QFile file(QDir(folder).filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write(bytes);
        file.close();
        if (executable)
            file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    };
    write(QStringLiteral("android-studio.json"),
          R"({"casks":[{"token":"android-studio","name":["Android Studio"],"desc":"Tools for building Android )"
          R"(applications","homepage":"https://developer.android.com/studio/","version":"2024.2.1.12,ladybug",)"
          R"("url":"https://redirector.gvt1.com/edgedl/android/studio/install/2024.2.1.12/)"
          R"(android-studio-2024.2.1.12-mac_arm.dmg","artifacts":[{"app":["Android Studio.app"]}]}]})",
          false);
    write(QStringLiteral("visual-studio-code.json"),
          R"({"casks":[{"token":"visual-studio-code","name":["Microsoft Visual Studio Code"],)"
          R"("desc":"Open-source code editor","homepage":"https://code.visualstudio.com/","version":"1.96.2",)"
          R"("url":"https://update.code.visualstudio.com/1.96.2/darwin-arm64/stable"}]})",
          false);
    write(QStringLiteral("brew"),
          "#!/bin/sh\n"
          "dir=\"$(dirname \"$0\")\"\n"
          "case \"$1 $3\" in\n"
          "'search android-studio') printf "
          "'android-studio\\nandroid-studio-preview@beta\\nandroid-commandlinetools\\n' ;;\n"
          "'search vscode') printf 'vscodium\\nvisual-studio-code\\nvisual-studio-code@insiders\\n' ;;\n"
          "'info android-studio') cat \"$dir/android-studio.json\" ;;\n"
          "'info visual-studio-code') cat \"$dir/visual-studio-code.json\" ;;\n"
          "info*) echo '{\"casks\":[]}' ;;\n"
          "esac\n",
          true);
}

// The import screen (as the window's detail column shows it) on its
// Homebrew tab, after a lookup of name has ended.
QWidget *brewEntry(Context &context, const QString &name)
{
    auto *page = new AppImportView(context.brewDemo);
    auto *section = page->findChild<BrewImportSection *>();
    section->setPackageName(name);
    section->startResolving();
    QElapsedTimer timer;
    timer.start();
    while (section->isResolving() && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return page;
}

// A catalog list on its own, as the detail column shows it, with a filter set.
AppListView *listView(Context &context, bool installedOnly, const QString &category, const QString &search)
{
    auto *view = new AppListView(context.screens.context(), installedOnly);
    view->setSelectedCategory(category);
    view->setSearchText(search);
    return view;
}


// A record with a version history: build identifiers, notes, and one
// version without an address of its own.
AppItem recordWithVersions()
{
    AppItem app;
    app.id = QStringLiteral("iina");
    app.name = QStringLiteral("IINA");
    app.chineseName = QStringLiteral("IINA 播放器");
    app.bundleId = QStringLiteral("com.colliderli.iina");
    app.category = QStringLiteral("影音视听");
    app.summary = QStringLiteral("为 macOS 打造的现代视频播放器，支持几乎所有常见格式");
    app.description = QStringLiteral("IINA 基于 mpv，提供原生的 macOS 体验：画中画、触控栏、在线字幕搜索与丰富的快捷键。\n\n"
                                     "来源：Homebrew Cask");
    app.homepage = QStringLiteral("https://iina.io/");
    app.sourceType = AppSourceType::customList;
    app.currentVersion = QStringLiteral("1.3.5,142");
    app.packageType = PackageType::dmg;
    app.versions = QList<AppVersion>{
        {QStringLiteral("1.3.5,142"), QStringLiteral("https://dl.iina.io/IINA.v1.3.5.dmg"), {},
         QStringLiteral("适配 macOS 15，修复字幕渲染与播放列表的若干问题。")},
        {QStringLiteral("1.3.4,140"), QStringLiteral("https://dl.iina.io/IINA.v1.3.4.dmg")},
        {QStringLiteral("1.3.3")},
    };
    return app;
}

AppDetailView *detailView(Context &context, const AppItem &app)
{
    return new AppDetailView(context.screens.context(), app, QStringLiteral("返回列表"), [] {});
}

// Every look of the install control, one per line, for checking the painter.
class ControlStates final : public QWidget
{
public:
    ControlStates()
    {
        setAutoFillBackground(true);
        setBackgroundRole(QPalette::Window);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const QList<InstallControlState> states{
            {AppInstallStatus::notInstalled(), {}},
            {AppInstallStatus::installed(QStringLiteral("1.0"), QStringLiteral("/A.app")), {}},
            {AppInstallStatus::updateAvailable(QStringLiteral("0.9"), QStringLiteral("1.0"), QStringLiteral("/A.app")), {}},
            {AppInstallStatus::installing(), {}},
            {AppInstallStatus::downloading(0.42, QStringLiteral("1 MB/s")), {}},
            {AppInstallStatus::downloading(-1, QStringLiteral("1 MB/s")), {}},
            {AppInstallStatus::notInstalled(), QStringLiteral("无法打开磁盘镜像，安装包可能已损坏")},
            {AppInstallStatus::updateAvailable(QStringLiteral("0.9"), QStringLiteral("1.0"), QStringLiteral("/A.app")),
             QStringLiteral("无法连接服务器：连接被拒绝"), InstallControlState::FailedStep::download},
        };
        QPainter painter(this);
        qreal top = 20;
        for (int i = 0; i < states.size(); ++i) {
            const QSizeF size = InstallControlPainter::sizeHint(states[i]);
            InstallControlPainter::Interaction interaction;
            interaction.spinnerPhase = 0.3;
            if (i == 2)
                interaction.hovered = InstallControlPainter::Action::open;
            // The last one as a list card draws it: the mark before the pills.
            const auto side = i + 1 == states.size() ? InstallControlPainter::MarkSide::leading
                                                     : InstallControlPainter::MarkSide::trailing;
            InstallControlPainter::paint(&painter, QRectF(QPointF(20, top), size), states[i], palette(), interaction,
                                         side);
            top += size.height() + 14;
        }
    }
};

// An application bundle with just what the detector reads.
void writeBundle(const QString &folder, const QString &name, const QString &bundleId, const QString &version)
{
    const QString plist = QStringLiteral("%1/%2.app/Contents/Info.plist").arg(folder, name);
    QDir().mkpath(QFileInfo(plist).path());
    QFile file(plist);
    if (file.open(QIODevice::WriteOnly))
        file.write(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                                  "<key>CFBundleIdentifier</key><string>%1</string>"
                                  "<key>CFBundleShortVersionString</key><string>%2</string></dict></plist>\n")
                       .arg(bundleId, version)
                       .toUtf8());
}

// A bundle of the preset's application that is older than the catalog's version.
void installOutdatedVsCode(Context &context)
{
    AppStoreService &store = context.screens.context().store;
    writeBundle(store.detector().applicationFolders().constFirst(), QStringLiteral("Visual Studio Code"),
                QStringLiteral("com.microsoft.VSCode"), QStringLiteral("1.90.2"));
    store.setInstalledAppMap(store.detector().scanInstalledApps());
}

void writeSparseFile(const QString &path, qint64 size)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.resize(size);
}

// The downloads screen with a running, a finished and a failed download, a
// cache of every package kind, two rows ticked and one failed installation.
void fillDownloads(Context &context)
{
    const QDir cache(context.downloads.cacheDirectory());
    writeSparseFile(cache.filePath(QStringLiteral("README")), 2'400);
    writeSparseFile(cache.filePath(QStringLiteral("Setup.ZIP")), 12'650'000);
    writeSparseFile(cache.filePath(QStringLiteral("WeChatMac-3.8.7.pkg")), 284'300'000);
    writeSparseFile(cache.filePath(QStringLiteral("Visual Studio Code-darwin-universal-1.86.2-stable-build.zip")),
                    201'800'000);
    writeSparseFile(cache.filePath(QStringLiteral("googlechrome.dmg")), 231'400'000);
    context.downloads.refreshLocalPackages();

    TestHttpServer &server = context.server;
    TestHttpServer::Reply running;
    running.body = QByteArray(38'000'000, '\0');
    running.contentLength = 96'500'000;
    running.hold = true;
    server.route(QStringLiteral("/IINA.v1.3.4.dmg"), running);
    // A disk image by its trailer, checked against its SHA-256 on the way in.
    const QByteArray image = QByteArray(3'400'000, '\0') + "koly" + QByteArray(508, '\0');
    server.routeBody(QStringLiteral("/Rectangle0.77.dmg"), image);
    server.route(QStringLiteral("/OBS-Studio-30.0.dmg"), TestHttpServer::Reply{404, "not found", {}});
    // One transfer at a time: the last one waits its turn behind the running one.
    context.downloads.setMaxConcurrent(1);
    context.downloads.startDownload(QStringLiteral("rectangle"), QStringLiteral("Rectangle"), QStringLiteral("0.77"),
                                    server.url(QStringLiteral("/Rectangle0.77.dmg")),
                                    QCryptographicHash::hash(image, QCryptographicHash::Sha256));
    context.downloads.startDownload(QStringLiteral("obs"), QStringLiteral("OBS Studio"), QStringLiteral("30.0"),
                                    server.url(QStringLiteral("/OBS-Studio-30.0.dmg")));
    context.downloads.startDownload(QStringLiteral("iina"), QStringLiteral("IINA"), QStringLiteral("1.3.4"),
                                    server.url(QStringLiteral("/IINA.v1.3.4.dmg")));
    context.downloads.startDownload(QStringLiteral("figma"), QStringLiteral("Figma"), QStringLiteral("124.1"),
                                    server.url(QStringLiteral("/Figma-124.1.dmg")));
}

void showDownloadsProgress(QWidget *widget, Context &context)
{
    // More bytes after half a second give the running download a real speed.
    settle(600);
    context.server.push(QByteArray(6'000'000, '\0'));
    settle(300);
    auto *view = widget->findChild<DownloadsView *>();
    if (!view)
        return;
    LocalPackageListModel &model = view->packageModel();
    for (const LocalPackage &package : model.packages()) {
        if (package.fileName.endsWith(QStringLiteral(".pkg")) || package.fileName == QStringLiteral("googlechrome.dmg"))
            model.toggleSelected(package.filePath);
        if (package.fileName == QStringLiteral("Setup.ZIP"))
            view->installPackage(package); // an empty file: the installation fails
    }
}

void emptyDownloads(Context &context)
{
    const QList<DownloadTaskItem> tasks = context.downloads.activeTasks();
    for (const DownloadTaskItem &task : tasks)
        context.downloads.cancelDownload(task.id);
    settle(20); // the manager aborts cancelled transfers from the event loop
    context.server.closeHeld();
    context.downloads.clearAllPackages();
    settle(50);
}

QList<Shot> shots()
{
    QList<Shot> list;
    for (NavigationItem item : Navigation::allItems()) {
        list.append({QStringLiteral("main-") + Navigation::id(item), QSize(1100, 720),
                     [item](Context &context) { return mainView(context, item); }});
    }
    // The newer destinations at the smallest window as well.
    for (NavigationItem item : {NavigationItem::sources, NavigationItem::updates})
        list.append({QStringLiteral("main-") + Navigation::id(item) + QStringLiteral("-minimum"), QSize(920, 620),
                     [item](Context &context) { return mainView(context, item); }});
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
    list.append({QStringLiteral("sources-manager"), QSize(1100, 720),
                 [](Context &context) { return mainView(context, NavigationItem::sources); },
                 [](QWidget *main, Context &) {
                     static_cast<AppListView *>(static_cast<MainView *>(main)->currentScreen())->showSourceManager();
                 }});
    list.append({QStringLiteral("sources-search"), QSize(880, 720),
                 [](Context &context) { return mainView(context, NavigationItem::sources); },
                 [](QWidget *main, Context &) {
                     static_cast<AppListView *>(static_cast<MainView *>(main)->currentScreen())
                         ->setSearchText(QStringLiteral("editor"));
                 }});
    list.append({QStringLiteral("list-discover-source-matches"), QSize(880, 720), [](Context &context) {
                     return listView(context, false, QStringLiteral("全部"), QStringLiteral("rectangle"));
                 }});
    list.append({QStringLiteral("list-discover-empty"), QSize(880, 720), [](Context &context) {
                     return listView(context, false, QStringLiteral("全部"), QStringLiteral("没有这个应用"));
                 }});
    list.append({QStringLiteral("list-installed-empty"), QSize(880, 720), [](Context &context) {
                     return listView(context, true, QStringLiteral("全部"), QStringLiteral("没有这个应用"));
                 }});
    // Before the HUD shots, whose panel would still be fading out over these.
    list.append({QStringLiteral("downloads-filled"), QSize(1100, 720),
                 [](Context &context) {
                     fillDownloads(context);
                     return mainView(context, NavigationItem::downloads);
                 },
                 showDownloadsProgress, emptyDownloads});
    list.append({QStringLiteral("downloads-filled-minimum"), QSize(920, 620),
                 [](Context &context) {
                     fillDownloads(context);
                     return mainView(context, NavigationItem::downloads);
                 },
                 [](QWidget *widget, Context &context) {
                     showDownloadsProgress(widget, context);
                     // The rows at the end, with the ticked ones, at the smallest window.
                     if (auto *scroll = widget->findChild<QScrollArea *>(QStringLiteral("downloadsScroll")))
                         scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
                 },
                 emptyDownloads});
    list.append({QStringLiteral("downloads-empty"), QSize(920, 620),
                 [](Context &context) { return mainView(context, NavigationItem::downloads); }});
    // The HUD stays up for its countdown; the next windows must not show it.
    const auto waitForHudGone = [](Context &context) {
        while (context.fontScale.showHud())
            settle(50);
    };
    // The smallest window, with the badge and the HUD up: what clips first.
    list.append({QStringLiteral("main-minimum-badge-hud"), QSize(920, 620),
                 [](Context &context) {
                     MainView *view = mainView(context, NavigationItem::downloads);
                     view->setDownloadsBadgeCount(12);
                     return view;
                 },
                 [](QWidget *, Context &context) { context.fontScale.triggerHud(); }, waitForHudGone});

    // The detail page as a list screen opens it, in the window's detail column.
    const QSize detailSize(880, 720);
    list.append({QStringLiteral("detail-preset"), detailSize, [](Context &context) {
                     return detailView(context, *context.screens.context().store.app(QStringLiteral("wechat")));
                 }});
    list.append({QStringLiteral("detail-outdated"), detailSize, [](Context &context) {
                     installOutdatedVsCode(context);
                     return detailView(context,
                                       *context.screens.context().store.app(QStringLiteral("visual-studio-code")));
                 }});
    list.append({QStringLiteral("detail-uninstall-confirm"), detailSize,
                 [](Context &context) {
                     installOutdatedVsCode(context);
                     return detailView(context,
                                       *context.screens.context().store.app(QStringLiteral("visual-studio-code")));
                 },
                 [](QWidget *widget, Context &) { static_cast<AppDetailView *>(widget)->askToUninstall(); }});
    list.append({QStringLiteral("detail-versions"), detailSize,
                 [](Context &context) { return detailView(context, recordWithVersions()); }});
    // A bundle id wider than the smallest window's detail column, at every text scale.
    list.append({QStringLiteral("detail-long-id-minimum"), QSize(700, 560), [](Context &context) {
                     AppItem app = recordWithVersions();
                     app.bundleId = QStringLiteral("com.example.enterprise.distribution.channel.stable.universal."
                                                   "player.application");
                     return detailView(context, app);
                 }});
    list.append({QStringLiteral("install-control-states"), QSize(320, 380),
                 [](Context &) { return new ControlStates; }});

    const auto importTab = [](QWidget *main, int tab) {
        auto *view = main->findChild<AppImportView *>();
        view->setSelectedTab(tab);
        return view->currentSection();
    };
    list.append({QStringLiteral("import-json-success"), QSize(1100, 820),
                 [](Context &context) { return mainView(context, NavigationItem::importApp); },
                 [importTab](QWidget *main, Context &) {
                     auto *section = qobject_cast<JsonTemplateImportSection *>(importTab(main, AppImportView::jsonTab));
                     section->findChild<QPushButton *>(QStringLiteral("fillTemplateButton"))->click();
                     section->executeImport();
                 }});
    list.append({QStringLiteral("import-json-error"), QSize(1100, 820),
                 [](Context &context) { return mainView(context, NavigationItem::importApp); },
                 [importTab](QWidget *main, Context &) {
                     auto *section = qobject_cast<JsonTemplateImportSection *>(importTab(main, AppImportView::jsonTab));
                     section->findChild<QPlainTextEdit *>(QStringLiteral("jsonEditor"))
                         ->setPlainText(QStringLiteral("{ \"id\": 不是 JSON"));
                     section->executeImport();
                 }});
    list.append({QStringLiteral("import-form-fetched"), QSize(1100, 980),
                 [](Context &context) { return mainView(context, NavigationItem::importApp); },
                 [importTab](QWidget *main, Context &context) {
                     auto *form = qobject_cast<CustomFormImportSection *>(importTab(main, AppImportView::customFormTab));
                     const auto type = [form](const char *field, const QString &text) {
                         form->findChild<QLineEdit *>(QString::fromLatin1(field))->setText(text);
                     };
                     type("idField", QStringLiteral("com.example.myapp"));
                     type("nameField", QStringLiteral("MyApp"));
                     type("chineseNameField", QStringLiteral("效率神器"));
                     type("versionListField", context.server.url(QStringLiteral("/myapp/releases/")).toString());
                     form->fetchNginxVersions();
                     QElapsedTimer waited;
                     waited.start();
                     while (form->isParsingNginx() && waited.elapsed() < 10000)
                         settle(20);
                 }});
    // The smallest window: the picker squeezes before anything clips.
    list.append({QStringLiteral("import-minimum"), QSize(920, 620),
                 [](Context &context) { return mainView(context, NavigationItem::importApp); }});
    // Homebrew entry in the detail column of the default window, and of the smallest one.
    list.append({QStringLiteral("brew-preview-drawer"), QSize(880, 760),
                 [](Context &context) { return brewEntry(context, QStringLiteral(" Android-Studio ")); },
                 [](QWidget *page, Context &) { page->findChild<BrewImportSection *>()->setDetailExpanded(true); }});
    list.append({QStringLiteral("brew-fuzzy"), QSize(700, 640),
                 [](Context &context) { return brewEntry(context, QStringLiteral("vscode")); }});
    list.append({QStringLiteral("brew-error"), QSize(880, 420),
                 [](Context &context) { return brewEntry(context, QStringLiteral("no-such-cask")); }});
    return list;
}

// Kept copies of the Homebrew catalog and of one subscribed catalog, as a
// refresh leaves them; one refresh of the subscription failed since.
void seedSources(const QString &library)
{
    QJsonArray casks;
    const QList<QStringList> rows{
        {"firefox", "Mozilla Firefox", "Web browser", "133.0.3"},
        {"visual-studio-code", "Microsoft Visual Studio Code", "Open-source code editor", "1.96.2"},
        {"iterm2", "iTerm2", "Terminal emulator as alternative to Apple's Terminal app", "3.5.10"},
        {"obsidian", "Obsidian", "Knowledge base that works on top of a local folder of plain text Markdown files",
         "1.7.7"},
        {"rectangle", "Rectangle", "Move and resize windows using keyboard shortcuts or snap areas", "0.85"},
        {"tencent-meeting", "腾讯会议", "Cloud video conferencing", "3.30.1.500"}};
    for (const QStringList &row : rows)
        casks.append(QJsonObject{{"token", row[0]},
                                 {"name", QJsonArray{row[1]}},
                                 {"desc", row[2]},
                                 {"version", row[3]},
                                 {"homepage", "https://example.com/" + row[0]},
                                 {"url", "https://example.com/" + row[0] + ".dmg"},
                                 {"artifacts", QJsonArray{QJsonObject{{"app", QJsonArray{row[1] + ".app"}}}}}});
    QJsonArray apps;
    for (const char *id : {"wps-office", "baidunetdisk"}) {
        AppItem app = AppStoreService::defaultPresetApps().first();
        app.id = QString::fromLatin1(id);
        app.name = id == QByteArray("wps-office") ? QStringLiteral("WPS Office") : QStringLiteral("百度网盘");
        app.category = QStringLiteral("效率");
        apps.append(app.toJson());
    }
    TestFolders::writeFile(library, QStringLiteral("Sources/homebrew-casks.json"), QJsonDocument(casks).toJson());
    TestFolders::writeFile(library, QStringLiteral("Sources/catalog-team.json"),
                           QJsonDocument(QJsonObject{{"name", "团队软件"}, {"apps", apps}}).toJson());
    const QString checked = QDateTime::currentDateTimeUtc().addSecs(-3 * 3600).toString(Qt::ISODate);
    const QJsonObject settings{
        {"brewApiBase", "https://mirrors.tuna.tsinghua.edu.cn/homebrew-bottles"},
        {"sources",
         QJsonArray{QJsonObject{{"id", "homebrew-casks"}, {"name", "Homebrew Cask"}, {"kind", "brewCasks"},
                                {"recordCount", int(rows.size())}, {"checkedAt", checked}},
                    QJsonObject{{"id", "catalog-team"}, {"name", "团队软件"}, {"kind", "library"},
                                {"url", "https://it.example.com/mac/catalog.json"}, {"recordCount", 2},
                                {"skipped", 1}, {"checkedAt", checked},
                                {"error", "服务器返回的是网页而不是应用目录，可能需要登录或地址有误"}}}}};
    TestFolders::writeFile(library, QStringLiteral("sources.json"), QJsonDocument(settings).toJson());
}

// An nginx autoindex page of a release folder.
QByteArray releaseListing()
{
    QByteArray page = "<html><head><title>Index of /myapp/releases/</title></head><body>"
                      "<h1>Index of /myapp/releases/</h1><hr><pre><a href=\"../\">../</a>\n";
    for (const char *version : {"2.4.1", "2.4.0", "2.3.2", "2.3.0", "2.2.5", "2.1.0", "2.0.0", "1.9.8", "1.9.0"})
        page += QByteArray("<a href=\"MyApp-") + version + ".dmg\">MyApp-" + version +
                ".dmg</a>   06-Dec-2026 10:00   48211011\n";
    return page + "</pre><hr></body></html>\n";
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZelvoAppStore"));
    QTextStream err(stderr);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool docs = arguments.removeAll(QStringLiteral("--docs")) > 0;
    if (arguments.size() != 1) {
        err << "usage: zelvo_screenshots [--docs] OUTPUT_FOLDER\n";
        return 2;
    }
    const QString output = arguments.constFirst();
    if (!QDir().mkpath(output)) {
        err << "cannot create " << output << "\n";
        return 1;
    }
    QTemporaryDir temp;
    // The text scale is changed shot by shot; the user's own setting stays as it is.
    qputenv("ZELVO_SETTINGS_FILE", temp.filePath(QStringLiteral("settings.ini")).toLocal8Bit());
    QPalette darkBase;
    darkBase.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
    darkBase.setColor(QPalette::WindowText, Qt::white);
    const QPalette lightPalette = ThemeColor::appPalette(QApplication::palette());
    const QPalette darkPalette = ThemeColor::appPalette(darkBase);
    if (!Symbols::fontLoaded())
        err << "warning: the symbol font did not load\n";
    ThemeFont::applyToApplication();

    // Two presets found installed from the start, one older than the catalog,
    // so the installed list has cards and the lists show "更新" and "打开".
    writeBundle(temp.filePath(QStringLiteral("Applications")), QStringLiteral("Google Chrome"),
                QStringLiteral("com.google.Chrome"), QStringLiteral("120.0.1"));
    writeBundle(temp.filePath(QStringLiteral("Applications")), QStringLiteral("iTerm"),
                QStringLiteral("com.googlecode.iterm2"), QStringLiteral("3.5.4"));
    InstalledDetector detector({temp.filePath(QStringLiteral("Applications"))});
    AppStoreService store(temp.filePath(QStringLiteral("library")), detector);
    FontScaleManager &fontScale = FontScaleManager::shared();
    DownloadManager downloads(temp.filePath(QStringLiteral("cache")));
    InstallerService installer(temp.filePath(QStringLiteral("Applications")), temp.filePath(QStringLiteral("tmp")));
    // Nothing listens on the discard port: screenshots never touch the network.
    BrewService brew(QStringLiteral("http://127.0.0.1:9"), {temp.filePath(QStringLiteral("no-brew"))});
    NginxIndexParser scraper;
    IconCache icons(temp.filePath(QStringLiteral("icons")));
    InstallWorkflowRegistry workflows(store, downloads, installer, brew);
    seedSources(temp.filePath(QStringLiteral("library")));
    SourceStore sources(temp.filePath(QStringLiteral("library")));
    for (const auto loading = sources.loadCopies(); !loading.isFinished();)
        settle(10);
    UpdateCenter updates(store, workflows, brew, Caskroom({temp.filePath(QStringLiteral("Caskroom"))}));
    AppContext appContext{store, downloads, installer, brew, scraper, fontScale, icons, workflows, sources, updates};
    ScreenFactory screens(appContext);
    writeFakeBrew(temp.filePath(QStringLiteral("fake-brew")));
    BrewService fakeBrew(QStringLiteral("http://127.0.0.1:9"), {temp.filePath(QStringLiteral("fake-brew/brew"))});
    InstallWorkflowRegistry brewDemoWorkflows(store, downloads, installer, fakeBrew);
    UpdateCenter brewDemoUpdates(store, brewDemoWorkflows, fakeBrew, Caskroom({temp.filePath(QStringLiteral("Caskroom"))}));
    AppContext brewDemo{store, downloads, installer, fakeBrew, scraper, fontScale, icons, brewDemoWorkflows, sources,
                        brewDemoUpdates};
    TestHttpServer server;
    Context context{screens, fontScale, downloads, server, brewDemo};
    // The entry form fetches this folder listing.
    server.routeBody(QStringLiteral("/myapp/releases/"), releaseListing(), "text/html");

    int written = 0;
    // Every screen at each text scale in the light appearance, then again switched to
    // dark after it was built: the dark pictures show that a live switch leaves no
    // light colour behind.
    struct Pass { double scale; bool dark; };
    const QList<Pass> passes = docs ? QList<Pass>{{1.0, false}} : QList<Pass>{{1.0, false}, {0.8, false}, {1.45, false}, {1.0, true}, {0.8, true}, {1.45, true}};
    for (const Pass &pass : passes) {
        fontScale.setScale(pass.scale);
        const QString suffix = QString::number(std::llround(pass.scale * 100)) + (pass.dark ? QStringLiteral("-dark") : QString());
        for (const Shot &shot : shots()) {
            if (docs && !docsNames().contains(shot.name))
                continue;
            QApplication::setPalette(lightPalette);
            QWidget *widget = shot.build(context);
            widget->resize(shot.size);
            widget->show();
            settle(50);
            if (shot.prepare) {
                shot.prepare(widget, context);
                settle(300);
            }
            if (pass.dark) {
                QApplication::setPalette(darkPalette);
                settle(50);
            }
            const QString path = QDir(output).filePath((docs ? docsNames().value(shot.name) : shot.name + QLatin1Char('@') + suffix) +
                                                       QStringLiteral(".png"));
            if (!widget->grab().save(path)) {
                err << "cannot write " << path << "\n";
                return 1;
            }
            ++written;
            delete widget;
            if (shot.done)
                shot.done(context);
            settle(10);
        }
    }
    QTextStream(stdout) << written << " screenshots in " << output << "\n";
    return 0;
}
