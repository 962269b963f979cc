// A new user's first afternoon through the real window and services, step by step over one window; then the
// road breaking (server down, broken archive, full disk), each in a window of its own: told, nothing lost.

#include <QTcpServer>
#include <QtTest>
#include <QtWidgets>

#include <cstring>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include "models/ByteFormat.h"
#include "services/AppStoreService.h"
#include "services/DownloadManager.h"
#include "services/InstallWorkflowRegistry.h"
#include "services/InstalledDetector.h"
#include "support/FileSizeLimit.h"
#include "support/TestFolders.h"
#include "support/TestRecords.h"
#include "support/TestServices.h"
#include "views/AppDetailView.h"
#include "views/AppImportView.h"
#include "views/AppListView.h"
#include "views/DownloadTaskCard.h"
#include "views/DownloadsView.h"
#include "views/MainView.h"
#include "views/MainWindow.h"
#include "views/UpdatesView.h"
#include "views/components/ActionButton.h"
#include "views/components/AppCardDelegate.h"
#include "views/components/ChipButton.h"
#include "views/components/IconCache.h"
#include "views/components/CountBadge.h"
#include "views/components/MessageLine.h"
#include "views/components/SegmentedControl.h"
#include "views/components/SymbolButton.h"
#include "views/components/TextScaleHud.h"
#include "views/components/ThemeFont.h"

using Action = InstallControlPainter::Action;

namespace {

constexpr int kWait = 20000; // generous: the suite shares two cores with builds

const QString kAppId = QStringLiteral("road-notes");
const QString kBundleName = QStringLiteral("RoadNotes");
// As most vendors name their downloads: neither the record's id nor its version.
const QString kPackagePath = QStringLiteral("/releases/latest/Setup-Universal.zip");
const QString kImported = QStringLiteral("成功导入 / 更新了 1 个应用！已同步保存到本地应用库。");
const QStringList kUpdateOpen{"更新", "打开"};
const QString kUnusable = QStringLiteral("无法解压 ZIP 文件，安装包可能已损坏。已从缓存中删除此安装包，再次点击将重新下载");

QString recordJson(const QUrl &download, const QString &version)
{
    return QStringLiteral(R"([{"id":"road-notes","name":"RoadNotes","chineseName":"路记","category":"效率办公",
        "bundleId":"com.example.roadnotes","summary":"旅途中随手记下的小笔记本","description":"离线可用的轻量笔记应用。",
        "sourceType":"direct","currentVersion":"%1","downloadUrl":"%2","packageType":"zip"}])")
        .arg(version, download.toString());
}

// A real ZIP holding RoadNotes.app of version plus payloadBytes of incompressible data.
QByteArray makeZip(const QString &workFolder, const QString &version, int payloadBytes,
                   const QString &bundleName = kBundleName)
{
    const QString staging = QDir(workFolder).filePath("zip-" + bundleName + version);
    const QString bundle =
        TestFolders::makeBundle(staging, bundleName, "com.example." + bundleName.toLower(), version);
    QByteArray payload(payloadBytes, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char &byte : payload)
        byte = char(generator.bounded(256));
    TestFolders::writeFile(bundle, "Contents/Resources/payload.bin", payload);
    const QString zip = QDir(workFolder).filePath("made-" + bundleName + version + ".zip");
    if (QProcess::execute("bsdtar", {"-a", "-cf", zip, "-C", staging, bundleName + ".app"}) != 0)
        return {};
    return TestFolders::readFile(zip);
}

using TestRecords::ids;

// Makes writes into one folder fail for want of space. In a private mount namespace a 64 KiB tmpfs goes over
// the folder, failing writes with ENOSPC as a full disk does; elsewhere the process's file-size limit drops to
// 64 KiB while this object lives, failing the same writes with EFBIG.
class FullDisk final
{
public:
    static bool canMount() { return s_privateMounts; }
    explicit FullDisk(const QString &folder) : m_folder(QFile::encodeName(folder))
    {
        m_mounted = s_privateMounts && mount("tmpfs", m_folder, "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") == 0;
        if (!m_mounted)
            m_limit.emplace(64 * 1024);
    }
    ~FullDisk() { end(); }
    bool active() const { return m_mounted || (m_limit && m_limit->active()); }
    bool mounted() const { return m_mounted; }
    QString systemReason() const { return QString::fromLocal8Bit(std::strerror(m_mounted ? ENOSPC : EFBIG)); }
    // Space again (what the user frees); the tiny file system goes with its contents.
    void end()
    {
        if (m_mounted)
            umount2(m_folder, MNT_DETACH);
        m_limit.reset();
        m_mounted = false;
    }

private:
    // Root needs only a mount namespace; others get one inside a user namespace that maps them to themselves,
    // where they may mount a tmpfs. Only a process with a single thread may enter one: this runs before main.
    static bool enterPrivateMountNamespace()
    {
        const auto write = [](const char *path, const QByteArray &text) {
            QFile file(QString::fromLatin1(path));
            return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
        };
        const QByteArray uid = QByteArray::number(geteuid()), gid = QByteArray::number(getegid());
        bool entered = geteuid() == 0 && unshare(CLONE_NEWNS) == 0;
        if (!entered && unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0)
            entered = write("/proc/self/setgroups", "deny") && write("/proc/self/uid_map", uid + ' ' + uid + " 1") &&
                      write("/proc/self/gid_map", gid + ' ' + gid + " 1");
        return entered && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }
    static inline const bool s_privateMounts = enterPrivateMountNamespace();
    QByteArray m_folder;
    bool m_mounted = false;
    std::optional<FileSizeLimit> m_limit;
};

// The program as the user has it: the real services over one temporary home, the window, the shared text scale.
struct Road
{
    TestServices rig;
    IconCache icons{rig.root.filePath(QStringLiteral("icons"))};
    AppContext context{*rig.store, *rig.downloads, *rig.installer, *rig.brew, *rig.scraper, FontScaleManager::shared(),
                       icons, *rig.registry, *rig.sources, *rig.updates};
    MainWindow window{context};

    Road() { window.resize(1100, 720); window.show(); QApplication::setActiveWindow(&window); }
    MainView &view() { return window.mainView(); }
    AppStoreService &store() { return *rig.store; }
    DownloadManager &downloads() { return *rig.downloads; }
    QString badgeText(const char *name = "downloadsBadge")
    {
        auto *badge = view().findChild<CountBadge *>(name);
        return badge && badge->isVisibleTo(&window) ? badge->text() : QString();
    }
    void go(NavigationItem item)
    {
        auto *row = view().findChild<QAbstractButton *>("sidebarRow_" + Navigation::id(item));
        QVERIFY(row);
        QTest::mouseClick(row, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(view().shownItem() == item && view().currentScreen(), kWait);
    }
    template <typename Screen> Screen *screen() const
    {
        QWidget *shown = window.mainView().currentScreen();
        if (auto *direct = qobject_cast<Screen *>(shown))
            return direct;
        return shown ? shown->findChild<Screen *>() : nullptr;
    }
    AppListView *list() { return screen<AppListView>(); }

    // Pastes the record of version into the JSON tab of "应用录入", clicks "解析并导入" and returns the result line.
    QString importVersion(const QString &version, const QUrl &address = {})
    {
        go(NavigationItem::importApp);
        auto *import = screen<AppImportView>();
        auto *picker = import ? import->findChild<SegmentedControl *>("importModePicker") : nullptr;
        if (!picker)
            return "no import screen";
        QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(AppImportView::jsonTab).center());
        auto *editor = import->findChild<QPlainTextEdit *>("jsonEditor");
        auto *button = import->findChild<QPushButton *>("importButton");
        if (!editor || !button)
            return "no JSON tab";
        editor->setFocus();
        editor->selectAll();
        editor->insertPlainText(recordJson(address.isEmpty() ? rig.server.url(kPackagePath) : address, version));
        if (!button->isEnabled())
            return "import button disabled";
        QTest::mouseClick(button, Qt::LeftButton);
        auto *result = import->findChild<MessageLine *>("resultLine");
        return result && result->isVisibleTo(import) ? result->text() : QString();
    }

    QModelIndex cardIndex()
    {
        // The model answers an invalid index for a row it does not have (-1 included).
        AppListView *shown = list();
        return shown ? shown->listView()->model()->index(ids(shown->filteredApps()).indexOf(kAppId), 0) : QModelIndex();
    }
    bool showCard()
    {
        go(NavigationItem::discover);
        return QTest::qWaitFor([&] { return cardIndex().isValid(); }, kWait);
    }
    // The texts of a card's install control ("获取", "42%", "更新" + "打开", ...).
    QStringList controls(const QString &appId = kAppId)
    {
        const std::optional<AppItem> app = store().app(appId);
        return app ? InstallControlPainter::texts(rig.registry->state(*app)) : QStringList{};
    }
    // Action::none clicks the card's title.
    bool clickCard(Action action)
    {
        AppListView *shown = list();
        const QModelIndex index = cardIndex();
        if (!index.isValid())
            return false;
        shown->listView()->scrollTo(index);
        const QRectF target = action == Action::none ? shown->cardDelegate()->layout(index).text
                                                     : shown->cardDelegate()->actionRect(index, action);
        if (target.isEmpty())
            return false;
        QTest::mouseClick(shown->listView()->viewport(), Qt::LeftButton, {}, target.center().toPoint());
        return true;
    }
    // Clicks "获取" or "更新" on the card and waits for that version's download to end.
    bool fetch(const QString &version)
    {
        const QString key = DownloadManager::taskKey(kAppId, version);
        return clickCard(Action::install) && QTest::qWaitFor([&] {
                   return downloads().task(key) && !downloads().task(key)->status.isDownloading();
               }, kWait);
    }
    QString installedVersion()
    {
        const auto info = InstalledDetector::readAppInfo(rig.apps() + "/" + kBundleName + ".app");
        return info ? info->version.value_or(QString()) : QString();
    }
};

template <typename Visit> void forEachText(QWidget *root, Visit visit)
{
    const auto shown = [&](QWidget *widget, const QString &text) {
        if (!text.trimmed().isEmpty() && widget->isVisibleTo(root->window()))
            visit(widget, text);
    };
    for (QLabel *label : root->findChildren<QLabel *>())
        shown(label, label->text());
    for (QAbstractButton *button : root->findChildren<QAbstractButton *>())
        shown(button, button->text());
    for (QLineEdit *field : root->findChildren<QLineEdit *>())
        shown(field, field->placeholderText());
}

QStringList visibleTexts(QWidget *root)
{
    QStringList texts;
    forEachText(root, [&](QWidget *, const QString &text) { texts << text; });
    return texts;
}

// Logical font sizes of the visible texts meant to follow the text scale, keyed by widget identity and text.
QHash<QString, qreal> scaledTextSizes(QWidget *root)
{
    QHash<QString, qreal> sizes;
    forEachText(root, [&](QWidget *widget, const QString &text) {
        // Fixed system texts (the badge count) and icon-font symbols keep their size.
        if (widget->property("zelvoFontFace").toInt() != int(ThemeFont::Face::System) &&
            !widget->font().families().contains("Material Icons"))
            sizes.insert(widget->metaObject()->className() + ('/' + widget->objectName()) + '/' + text,
                         ThemeFont::logicalSize(widget->font()));
    });
    return sizes;
}

} // namespace

class tst_NewUserRoad : public QObject
{
    Q_OBJECT

    std::unique_ptr<Road> m_road;
    QByteArray m_zip;

private Q_SLOTS:
    void initTestCase()
    {
        FontScaleManager::shared().setScale(1.0);
        qInfo("disk-full cases: %s", FullDisk::canMount() ? "a 64 KiB tmpfs" : "a 64 KiB file-size limit");
        m_road = std::make_unique<Road>();
        QVERIFY(QTest::qWaitForWindowExposed(&m_road->window));
        m_zip = makeZip(m_road->rig.root.filePath("work"), "1.0.0", 4096);
        QVERIFY2(!m_zip.isEmpty(), "bsdtar could not make the package");
    }

    // 1. A fresh start: "发现应用" with the six presets, each to "获取"; chips and search narrow the cards.
    void startsOnDiscoverWithThePresets()
    {
        Road &road = *m_road;
        QCOMPARE(road.view().shownItem(), NavigationItem::discover);
        QVERIFY(road.view().findChild<QAbstractButton *>("sidebarRow_discover")->isChecked());
        QCOMPARE(road.badgeText(), QString());
        AppListView *list = road.list();
        QVERIFY(list && !list->showOnlyInstalled());
        const QStringList presets{"google-chrome", "visual-studio-code", "iterm2", "docker", "wechat", "obsidian"};
        QCOMPARE(ids(list->filteredApps()), presets);
        const auto rows = [list] { return list->listView()->model()->rowCount(); };
        for (const QString &id : presets)
            QCOMPARE(road.controls(id), QStringList{"获取"});
        QCOMPARE(list->categories(), (QStringList{"全部", "开发工具", "效率办公", "网络浏览器", "通讯社交"}));

        QTest::mouseClick(list->chip("开发工具"), Qt::LeftButton);
        QTRY_COMPARE(rows(), 3);
        QCOMPARE(ids(list->filteredApps()), (QStringList{"visual-studio-code", "iterm2", "docker"}));
        QTest::mouseClick(list->chip("全部"), Qt::LeftButton);
        QTRY_COMPARE(rows(), 6);

        // Names and ids, whatever the case; the clear button empties the field.
        QTest::keyClicks(list->searchField(), "CHROME");
        QTRY_COMPARE(rows(), 1);
        QVERIFY(list->clearSearchButton()->isVisible());
        QCOMPARE(list->filteredApps().constFirst().id, QStringLiteral("google-chrome"));
        QTest::mouseClick(list->clearSearchButton(), Qt::LeftButton);
        QTRY_COMPARE(rows(), 6);
        QCOMPARE(list->searchField()->text(), QString());
    }

    // 2. A record through the JSON tab; its package is served in halves, the rest when the test pushes it.
    void addsARecordThroughTheJsonTab()
    {
        Road &road = *m_road;
        road.rig.server.route(kPackagePath, {.body = m_zip.left(m_zip.size() / 2),
                                             .headers = {{"Content-Type", "application/zip"}},
                                             .contentLength = m_zip.size(), .hold = true});

        QCOMPARE(road.importVersion("1.0.0"), kImported);
        // Saved for the next start, not only shown.
        QVERIFY(TestFolders::readFile(road.store().storageFilePath()).contains(kAppId.toUtf8()));
        QVERIFY(road.showCard());
        QCOMPARE(road.list()->listView()->model()->rowCount(), 7);
        QCOMPARE(road.controls(), QStringList{"获取"});
    }

    // 3. "获取" downloads (ring, percentage, badge), a second "获取" installs, the card shows "打开".
    void getDownloadsThenInstalls()
    {
        Road &road = *m_road;
        QVERIFY(road.clickCard(Action::install));
        const QString percent = QString::number(qint64(m_zip.size() / 2) * 100 / m_zip.size()) + '%';
        QTRY_COMPARE_WITH_TIMEOUT(road.controls(), QStringList{percent}, kWait);
        QCOMPARE(road.badgeText(), QStringLiteral("1"));

        road.rig.server.push(m_zip.mid(m_zip.size() / 2));
        road.rig.server.closeHeld();
        QTRY_COMPARE_WITH_TIMEOUT(road.controls(), QStringList{"获取"}, kWait);
        QTRY_COMPARE_WITH_TIMEOUT(road.downloads().localPackages().size(), 1, kWait);
        QCOMPARE(road.badgeText(), QString()); // the badge counts running downloads only
        QCOMPARE(road.installedVersion(), QString());    // nothing installs by itself

        const qsizetype requests = road.rig.server.requests().size();
        QVERIFY(road.clickCard(Action::install));
        QTRY_COMPARE_WITH_TIMEOUT(road.controls(), QStringList{"打开"}, kWait);
        QCOMPARE(road.rig.server.requests().size(), requests); // installed from the cache, not fetched again
        QCOMPARE(road.installedVersion(), QStringLiteral("1.0.0"));
        QVERIFY(road.rig.console.contains("Installer: 安装成功完成！"));

        QVERIFY(road.clickCard(Action::open));
        const QByteArray launch = "launch " + QFile::encodeName(road.rig.apps() + "/" + kBundleName + ".app");
        QTRY_VERIFY_WITH_TIMEOUT(road.rig.toolLog().contains(launch), kWait);

        road.go(NavigationItem::installed);
        AppListView *installed = road.list();
        QVERIFY(installed && installed->showOnlyInstalled());
        QCOMPARE(ids(installed->filteredApps()), QStringList{kAppId});
        QCOMPARE(installed->listView()->model()->rowCount(), 1);
    }

    // 4. The library announces a newer version: "更新" and "打开"; the detail page tells both versions.
    void newerVersionShowsUpdateAndOpen()
    {
        Road &road = *m_road;
        QCOMPARE(road.importVersion("1.1.0"), kImported);
        QVERIFY(road.showCard());
        QCOMPARE(road.controls(), kUpdateOpen);

        QVERIFY(road.clickCard(Action::none));
        QTRY_VERIFY_WITH_TIMEOUT(road.screen<AppDetailView>() && road.screen<AppDetailView>()->isVisible(), kWait);
        AppDetailView *detail = road.screen<AppDetailView>();
        const QStringList texts = visibleTexts(detail);
        for (const char *shown : {"最新版本", "本地已装", "v1.1.0", "v1.0.0"})
            QVERIFY2(texts.contains(shown), qPrintable(texts.join('|')));
        QVERIFY(!texts.contains("当前版本"));
        auto *button = detail->findChild<ActionButton *>();
        QVERIFY(button);
        QCOMPARE(button->visibleTexts(), kUpdateOpen);

        QTest::mouseClick(detail->findChild<QAbstractButton *>("backButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(road.list() && road.list()->listView()->isVisible(), kWait);
    }

    // 4b. "可更新" counts it in the sidebar; "全部更新" fetches and installs the new version and sums up.
    void updateAllThroughTheWindow()
    {
        Road &road = *m_road;
        const QByteArray newer = makeZip(road.rig.root.filePath("work"), "1.1.0", 4096);
        road.rig.server.routeBody("/releases/1.1.0.zip", newer, "application/zip");
        QCOMPARE(road.importVersion("1.1.0", road.rig.server.url("/releases/1.1.0.zip")), kImported);
        QTRY_COMPARE_WITH_TIMEOUT(road.badgeText("updatesBadge"), QStringLiteral("1"), kWait);
        road.go(NavigationItem::updates);
        auto *screen = road.screen<UpdatesView>();
        QVERIFY(screen && visibleTexts(screen).contains("1.0.0 → 1.1.0"));
        QTest::mouseClick(screen->findChild<QAbstractButton *>("updateAllButton"), Qt::LeftButton);
        auto *summary = screen->findChild<MessageLine *>("updatesSummary");
        QTRY_VERIFY_WITH_TIMEOUT(summary->isVisibleTo(screen), kWait);
        QCOMPARE(summary->text(), QStringLiteral("1 个成功，0 个失败"));
        QCOMPARE(road.installedVersion(), QStringLiteral("1.1.0"));
        QCOMPARE(road.badgeText("updatesBadge"), QString());
        QCOMPARE(road.controls(), QStringList{"打开"});
    }

    // 5. Ctrl++ / Ctrl+= grow the texts of every screen, the one shown and those built afterwards; Ctrl+- and Ctrl+0
    // bring them back.
    void textScaleReachesEveryScreen()
    {
        Road &road = *m_road;
        const QList<NavigationItem> items = Navigation::allItems();
        QHash<NavigationItem, QHash<QString, qreal>> before;
        for (NavigationItem item : items) {
            road.go(item);
            before.insert(item, scaledTextSizes(&road.view()));
            QVERIFY2(before[item].size() >= 4, qPrintable(Navigation::id(item)));
        }
        const int cardHeight = AppCardDelegate::rowHeight();

        QVERIFY(QTest::qWaitForWindowActive(&road.window));
        QTest::keyClick(&road.window, Qt::Key_Plus, Qt::ControlModifier);
        QTest::keyClick(&road.window, Qt::Key_Equal, Qt::ControlModifier);
        QVERIFY(qAbs(FontScaleManager::shared().scale() - 1.2) < 1e-9);
        QCOMPARE(road.view().hud()->labelText(), "字号 120%");

        // The screen on show (the last one visited) first, then the others as they are built.
        const QList<NavigationItem> order = QList{items.last()} + items.mid(0, items.size() - 1);
        for (NavigationItem item : order) {
            if (road.view().shownItem() != item)
                road.go(item);
            const QHash<QString, qreal> after = scaledTextSizes(&road.view());
            for (auto it = before[item].cbegin(); it != before[item].cend(); ++it)
                QVERIFY2(after.value(it.key()) > it.value() * 1.15, qPrintable(Navigation::id(item) + ": " + it.key()));
        }
        QVERIFY(AppCardDelegate::rowHeight() > cardHeight);

        QTest::keyClick(&road.window, Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(FontScaleManager::shared().percentText(), "110%");
        QTest::keyClick(&road.window, Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(FontScaleManager::shared().scale(), 1.0);
        QCOMPARE(scaledTextSizes(&road.view()), before[road.view().shownItem()]);
        QCOMPARE(AppCardDelegate::rowHeight(), cardHeight);
    }

    // 6. A team's catalog: subscribed on the sources' page, browsed, added to the library from its detail page,
    // installed from its card.
    void subscribedCatalogToInstalledApp()
    {
        Road &road = *m_road;
        TestHttpServer &server = road.rig.server;
        server.routeBody("/zip/TeamPad.zip", makeZip(road.rig.root.filePath("work"), "2.0", 1024, "TeamPad"));
        server.routeBody("/team/catalog.json", QStringLiteral(R"({"name":"团队软件","apps":[{"id":"team-pad",
            "name":"TeamPad","category":"效率","summary":"团队记事","description":"","bundleId":"com.example.teampad",
            "sourceType":"direct","currentVersion":"2.0","downloadUrl":"%1","packageType":"zip"}]})")
                                                   .arg(server.url("/zip/TeamPad.zip").toString())
                                                   .toUtf8());
        road.go(NavigationItem::sources);
        QTest::mouseClick(road.list()->findChild<QAbstractButton *>("manageSources"), Qt::LeftButton);
        auto *field = road.list()->findChild<QLineEdit *>("subscribeField");
        QVERIFY(field && field->isVisible());
        QTest::keyClicks(field, server.url("/team/catalog.json").toString());
        QTest::mouseClick(road.list()->findChild<QAbstractButton *>("subscribeButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(road.list()->findChild<MessageLine *>("managerMessage")->text().startsWith("已订阅「团队软件」"),
                                 kWait);
        QTest::mouseClick(road.list()->findChild<QAbstractButton *>("backButton"), Qt::LeftButton);

        AppListView *sources = road.list();
        QTest::mouseClick(sources->chip("团队软件"), Qt::LeftButton);
        QCOMPARE(ids(sources->filteredApps()), QStringList{"team-pad"});
        const QModelIndex card = sources->listView()->model()->index(0, 0);
        QTest::mouseClick(sources->listView()->viewport(), Qt::LeftButton, {},
                          sources->cardDelegate()->layout(card).text.center().toPoint());
        QTRY_VERIFY_WITH_TIMEOUT(road.screen<AppDetailView>() && road.screen<AppDetailView>()->isVisible(), kWait);
        QTest::mouseClick(road.screen<AppDetailView>()->findChild<QAbstractButton *>("saveButton"), Qt::LeftButton);
        QVERIFY(road.store().app("team-pad"));
        QTest::mouseClick(road.screen<AppDetailView>()->findChild<QAbstractButton *>("backButton"), Qt::LeftButton);

        // The first click downloads, the second installs from the cache.
        const auto click = [&] {
            QTest::mouseClick(sources->listView()->viewport(), Qt::LeftButton, {},
                              sources->cardDelegate()->actionRect(card, Action::install).center().toPoint());
        };
        QTRY_VERIFY_WITH_TIMEOUT(sources->listView()->isVisible(), kWait);
        click();
        const QString key = DownloadManager::taskKey("team-pad", "2.0");
        QTRY_VERIFY_WITH_TIMEOUT(road.downloads().task(key) && !road.downloads().task(key)->status.isDownloading(), kWait);
        click();
        QTRY_COMPARE_WITH_TIMEOUT(road.controls("team-pad"), QStringList{"打开"}, kWait);
        QVERIFY(QFileInfo::exists(road.rig.apps() + "/TeamPad.app"));
    }

    // Before the failures, which start on a fresh window: the Window menu's Ctrl/⌘+M minimises, Ctrl/⌘+W closes.
    void windowMenuPutsTheWindowAway()
    {
        MainWindow &window = m_road->window;
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_M, Qt::ControlModifier);
        QVERIFY(window.isMinimized());
        window.showNormal();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_W, Qt::ControlModifier);
        QVERIFY(!window.isVisible());
    }

    // What the user meets when the road breaks, and that nothing is lost: the library keeps the record, the
    // installed older version stays, the cache holds no half file, and once the cause is gone the same clicks work.
    void roadFailures_data()
    {
        QTest::addColumn<QString>("failure");
        // On the failed download's card on "下载管理"; empty when the download succeeds and the install fails.
        QTest::addColumn<QString>("downloadCard");
        // Printed on the console by the failed installation. A full disk adds the system's reason to either.
        QTest::addColumn<QString>("console");
        QTest::newRow("server down") << "serverDown" << "下载失败: 无法连接服务器：连接被拒绝" << "";
        QTest::newRow("broken archive") << "brokenArchive" << "" << "安装失败: " + kUnusable;
        QTest::newRow("disk full while downloading") << "downloadDiskFull" << "下载失败: 保存下载文件失败: " << "";
        QTest::newRow("disk full while installing")
            << "installDiskFull" << "" << "安装失败: 安装执行失败：无法将 " + kBundleName + ".app 复制到 ";
    }

    void roadFailures()
    {
        QFETCH(QString, failure);
        QFETCH(QString, downloadCard);
        QFETCH(QString, console);

        m_road.reset();
        Road road;
        QVERIFY(QTest::qWaitForWindowExposed(&road.window));
        TestHttpServer &server = road.rig.server;
        const QByteArray good = makeZip(road.rig.root.filePath("work"), "2.0.0", 256 * 1024);
        QVERIFY(!good.isEmpty());

        QUrl address = server.url(kPackagePath);
        if (failure == "serverDown") {
            QTcpServer gone;
            QVERIFY(gone.listen(QHostAddress::LocalHost));
            address.setPort(gone.serverPort());
        } // closed here: nothing listens on that port any more
        if (failure == "brokenArchive")
            server.routeBody(kPackagePath, "PK\x03\x04 this archive ends before it begins", "application/zip");
        else
            server.routeBody(kPackagePath, good, "application/zip");

        // A tiny file system goes in now; a file-size limit (which binds the download too) just before its step.
        const bool fullCache = failure == "downloadDiskFull", fullApps = failure == "installDiskFull";
        std::unique_ptr<FullDisk> full;
        const auto fill = [&](const QString &folder) { return (full = std::make_unique<FullDisk>(folder))->active(); };
        if (fullCache || (fullApps && FullDisk::canMount()))
            QVERIFY(fill(fullCache ? road.downloads().cacheDirectory() : road.rig.apps()));
        // An older version is installed; the library announces 2.0.0.
        TestFolders::makeBundle(road.rig.apps(), kBundleName, "com.example.roadnotes", "1.0.0");
        road.store().setInstalledAppMap(road.store().detector().scanInstalledApps());
        QCOMPARE(road.importVersion("2.0.0", address), kImported);
        const AppItem record = *road.store().app(kAppId);
        QVERIFY(road.showCard());
        QVERIFY(road.fetch("2.0.0"));
        if (!downloadCard.isEmpty()) {
            // The card is ready for another try and tells the failure itself; nothing runs; no half file is left.
            QTRY_COMPARE_WITH_TIMEOUT(road.controls(), kUpdateOpen + QStringList{"下载失败"}, kWait);
            QCOMPARE(road.badgeText(), QString());
            QVERIFY(road.downloads().localPackages().isEmpty());
            QCOMPARE(TestFolders::entries(road.downloads().cacheDirectory()), QStringList());
            road.go(NavigationItem::downloads);
            auto *screen = road.screen<DownloadsView>();
            QVERIFY(screen && screen->taskCards().size() == 1);
            // A full disk is seen before the first byte, from the announced length; a file-size limit only by the writes.
            const QString reason = !full ? QString()
                                   : full->mounted() ? "磁盘空间不足（还需 " + ByteFormat::fileSize(good.size()) + "）"
                                                     : full->systemReason();
            QCOMPARE(screen->taskCards().constFirst()->detailText(), downloadCard + reason);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(road.downloads().localPackages().size(), 1, kWait);
            if (fullApps && !full)
                QVERIFY(fill(road.rig.apps()));
            const QRectF update = road.list()->cardDelegate()->actionRect(road.cardIndex(), Action::install);
            QVERIFY(road.clickCard(Action::install));
            QTRY_VERIFY_WITH_TIMEOUT(road.rig.console.join('\n').contains("安装失败: "), kWait);
            const QString printed = road.rig.console.filter("安装失败: ").constFirst();
            // The file-size limit binds the unpacking tool too, which fails first.
            const bool limited = full && !full->mounted();
            QVERIFY2(limited ? printed.startsWith("安装失败: " + kUnusable)
                             : printed.startsWith(console) && (!full || printed.endsWith(full->systemReason())),
                     qPrintable(printed));
            // The card tells it too, beside the buttons, until the next try. A package that cannot be
            // opened leaves the cache so that the next click fetches it again; a good one stays for it.
            QTRY_COMPARE_WITH_TIMEOUT(road.controls(), kUpdateOpen + QStringList{"安装失败"}, kWait);
            // The mark moves nothing: a retry lands on "更新", not on "打开".
            QCOMPARE(road.list()->cardDelegate()->actionRect(road.cardIndex(), Action::install), update);
            QCOMPARE(road.downloads().localPackages().size(), printed.startsWith("安装失败: " + kUnusable) ? 0 : 1);
        }

        // Nothing lost: the installed version, the record, the library on disk.
        QCOMPARE(road.installedVersion(), QStringLiteral("1.0.0"));
        QCOMPARE(TestFolders::entries(road.rig.apps()).filter(".zelvo-"), QStringList());
        QCOMPARE(*road.store().app(kAppId), record);
        QVERIFY(AppItem::listFromJson(TestFolders::readFile(road.store().storageFilePath())).contains(record));

        // Once the cause is gone, the same road leads on.
        if (full)
            full->end();
        server.routeBody(kPackagePath, good, "application/zip");
        if (failure == "serverDown")
            QCOMPARE(road.importVersion("2.0.0"), kImported);
        QVERIFY(road.showCard());
        if (road.downloads().localPackages().isEmpty()) {
            QVERIFY(road.fetch("2.0.0"));
            QCOMPARE(road.downloads().localPackages().size(), 1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(road.controls().mid(0, 2), kUpdateOpen, kWait);
        QVERIFY(road.clickCard(Action::install));
        QTRY_COMPARE_WITH_TIMEOUT(road.controls(), QStringList{"打开"}, kWait);
        QCOMPARE(road.installedVersion(), QStringLiteral("2.0.0"));
    }
};

QTEST_MAIN(tst_NewUserRoad)
#include "tst_NewUserRoad.moc"
