// The road a new user walks on the first afternoon, through the real window
// and the real services over one temporary home: the discover list with the
// presets; a record added through the JSON tab whose package a local server
// names as vendors do (neither id nor version in the file name); download and
// installation from its card; a newer version announced by the library; the
// downloads screen; the text size. Then what the user sees when that road
// breaks — server down, 404, a broken archive, a full disk — each told in the
// window or on the console, with nothing lost and a working way on.
//
// The road steps run in order over one window (each builds on the last); the
// failures each get a window of their own.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <functional>
#include <memory>
#include <optional>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include "platform/PropertyList.h"
#include "services/AppStoreService.h"
#include "services/DownloadManager.h"
#include "services/InstallWorkflowRegistry.h"
#include "services/InstalledDetector.h"
#include "support/FileSizeLimit.h"
#include "support/TestFolders.h"
#include "support/TestServices.h"
#include "views/AppDetailView.h"
#include "views/AppImportView.h"
#include "views/AppListView.h"
#include "views/DownloadTaskCard.h"
#include "views/DownloadsView.h"
#include "views/LocalPackageListModel.h"
#include "views/LocalPackageListView.h"
#include "views/MainView.h"
#include "views/MainWindow.h"
#include "views/components/ActionButton.h"
#include "views/components/AppCardDelegate.h"
#include "views/components/ChipButton.h"
#include "views/components/CountBadge.h"
#include "views/components/InstallControlPainter.h"
#include "views/components/MessageLine.h"
#include "views/components/SegmentedControl.h"
#include "views/components/SymbolButton.h"
#include "views/components/ThemeFont.h"

using namespace std::chrono_literals;
using Action = InstallControlPainter::Action;

namespace {

constexpr int kWait = 20000; // generous: the suite shares two cores with builds

const QString kAppId = QStringLiteral("road-notes");
const QString kBundleId = QStringLiteral("com.example.roadnotes");
const QString kBundleName = QStringLiteral("RoadNotes");
// As most vendors name their downloads: neither the record's id nor its version.
const QString kPackagePath = QStringLiteral("/releases/latest/Setup-Universal.zip");
const QString kPackageName = QStringLiteral("Setup-Universal.zip");

QByteArray recordJson(const QUrl &download, const QString &version)
{
    const QJsonObject record{
        {QStringLiteral("id"), kAppId},
        {QStringLiteral("name"), kBundleName},
        {QStringLiteral("chineseName"), QStringLiteral("路记")},
        {QStringLiteral("bundleId"), kBundleId},
        {QStringLiteral("category"), QStringLiteral("效率办公")},
        {QStringLiteral("summary"), QStringLiteral("旅途中随手记下的小笔记本")},
        {QStringLiteral("description"), QStringLiteral("离线可用的轻量笔记应用。")},
        {QStringLiteral("sourceType"), QStringLiteral("direct")},
        {QStringLiteral("currentVersion"), version},
        {QStringLiteral("downloadUrl"), download.toString()},
        {QStringLiteral("packageType"), QStringLiteral("zip")},
    };
    return QJsonDocument(QJsonArray{record}).toJson();
}

// A real ZIP holding RoadNotes.app of version (with an Info.plist carrying
// identifier and version) plus payloadBytes of incompressible data.
QByteArray makeZip(const QString &workFolder, const QString &version, int payloadBytes)
{
    const QString staging = QDir(workFolder).filePath(QStringLiteral("zip-") + version);
    QDir(staging).removeRecursively();
    const QString bundle = TestFolders::makeBundle(staging, kBundleName, kBundleId, version);
    QByteArray payload(payloadBytes, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char &byte : payload)
        byte = char(generator.bounded(256));
    TestFolders::writeFile(bundle, QStringLiteral("Contents/Resources/payload.bin"), payload);
    const QString zip = QDir(workFolder).filePath(QStringLiteral("made-") + version + QStringLiteral(".zip"));
    QProcess tar;
    tar.start(QStringLiteral("bsdtar"), {QStringLiteral("-a"), QStringLiteral("-cf"), zip, QStringLiteral("-C"),
                                         staging, kBundleName + QStringLiteral(".app")});
    if (!tar.waitForFinished(30000) || tar.exitCode() != 0)
        return {};
    return TestFolders::readFile(zip);
}

// The version in the Info.plist of the installed RoadNotes.app, empty when there is none.
QString installedVersion(const QString &applications)
{
    const QString plist = QDir(applications).filePath(kBundleName + QStringLiteral(".app/Contents/Info.plist"));
    if (!QFileInfo::exists(plist))
        return {};
    const auto values = PropertyList::readTopLevelStrings(plist, {"CFBundleShortVersionString"});
    return values ? values->value(QStringLiteral("CFBundleShortVersionString")) : QString();
}

// Every entry below folder (hidden ones too), relative, sorted.
QStringList entriesBelow(const QString &folder)
{
    QStringList names;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(folder).relativeFilePath(it.next());
    names.sort();
    return names;
}

// Makes writes into one folder fail for want of space. When the test runs in
// a private mount namespace of its own (see main: as root, or inside a user
// namespace where the system allows those) a 64 KiB tmpfs is mounted over the
// folder, so the write fails as on a full disk ("No space left on device");
// elsewhere the process's file-size limit is lowered to 64 KiB for as long as
// this object lives, which fails the same writes with "File too large".
class FullDisk final
{
public:
    static bool canMount() { return s_privateMounts; }
    // Called from main before any thread exists. As root a mount namespace
    // is enough; others get one inside a user namespace of their own that
    // maps them to themselves, where they may mount a tmpfs.
    static void enterPrivateMountNamespace()
    {
        const uid_t uid = geteuid();
        const gid_t gid = getegid();
        bool entered = uid == 0 && unshare(CLONE_NEWNS) == 0;
        if (!entered && unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0) {
            entered = writeProc("/proc/self/setgroups", "deny") &&
                      writeProc("/proc/self/uid_map", QByteArray::number(uid) + ' ' + QByteArray::number(uid) + " 1") &&
                      writeProc("/proc/self/gid_map", QByteArray::number(gid) + ' ' + QByteArray::number(gid) + " 1");
        }
        s_privateMounts = entered && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }
    // The system's text for what the failing write meets.
    static QString systemReason(bool mounted)
    {
        return QString::fromLocal8Bit(std::strerror(mounted ? ENOSPC : EFBIG));
    }

    explicit FullDisk(const QString &folder) : m_folder(folder)
    {
        if (s_privateMounts &&
            mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") == 0) {
            m_mounted = true;
            return;
        }
        m_limit.emplace(64 * 1024);
    }
    ~FullDisk() { end(); }
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    bool active() const { return m_mounted || (m_limit && m_limit->active()); }
    bool mounted() const { return m_mounted; }

    // Space again (what the user frees); the tiny file system goes with its contents.
    void end()
    {
        if (m_mounted)
            umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
        m_limit.reset();
        m_mounted = false;
    }

private:
    static bool writeProc(const char *path, const QByteArray &text)
    {
        QFile file(QString::fromLatin1(path));
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    }

    static inline bool s_privateMounts = false;
    QString m_folder;
    bool m_mounted = false;
    std::optional<FileSizeLimit> m_limit;
};

// The program as the user has it: the real services over one temporary home
// (library, package cache, Applications folder, a local HTTP server) and the
// real window, with the app-wide text scale whose fonts every screen uses.
struct Road
{
    TestServices rig;
    AppContext context{*rig.store, *rig.downloads, *rig.installer, *rig.brew, *rig.scraper, FontScaleManager::shared()};
    MainWindow window{context};

    Road()
    {
        window.resize(1100, 720);
        window.show();
        QApplication::setActiveWindow(&window);
    }

    MainView &view() { return window.mainView(); }
    AppStoreService &store() { return *rig.store; }
    DownloadManager &downloads() { return *rig.downloads; }
    QString work() const { return rig.root.filePath(QStringLiteral("work")); }

    QAbstractButton *sidebarRow(NavigationItem item)
    {
        return view().findChild<QAbstractButton *>(QStringLiteral("sidebarRow_") + Navigation::id(item));
    }
    CountBadge *badge() { return view().findChild<CountBadge *>(QStringLiteral("downloadsBadge")); }
    QString badgeText()
    {
        CountBadge *shown = badge();
        return shown && shown->isVisibleTo(&window) ? shown->text() : QString();
    }

    void go(NavigationItem item)
    {
        QAbstractButton *row = sidebarRow(item);
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

    // What the user types into the JSON tab of "应用录入", and the result line after "解析并导入".
    QString importThroughJsonTab(const QByteArray &json)
    {
        go(NavigationItem::importApp);
        auto *import = screen<AppImportView>();
        if (!import)
            return QStringLiteral("no import screen");
        auto *picker = import->findChild<SegmentedControl *>(QStringLiteral("importModePicker"));
        if (!picker)
            return QStringLiteral("no picker");
        QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(AppImportView::jsonTab).center());
        auto *editor = import->findChild<QPlainTextEdit *>(QStringLiteral("jsonEditor"));
        auto *button = import->findChild<QPushButton *>(QStringLiteral("importButton"));
        if (!editor || !button)
            return QStringLiteral("no JSON tab");
        editor->setFocus();
        editor->selectAll();
        editor->insertPlainText(QString::fromUtf8(json)); // a paste
        if (!button->isEnabled())
            return QStringLiteral("import button disabled");
        QTest::mouseClick(button, Qt::LeftButton);
        auto *result = import->findChild<MessageLine *>(QStringLiteral("resultLine"));
        return result && result->isVisibleTo(import) ? result->text() : QString();
    }

    // The list screen shown, with the card of the record.
    AppListView *list() { return screen<AppListView>(); }
    QModelIndex cardIndex(const QString &appId)
    {
        AppListView *shown = list();
        if (!shown)
            return {};
        QAbstractItemModel *model = shown->listView()->model();
        const QList<AppItem> apps = shown->filteredApps();
        for (int row = 0; row < apps.size() && row < model->rowCount(); ++row) {
            if (apps[row].id == appId)
                return model->index(row, 0);
        }
        return {};
    }
    // The texts the record's card shows in its install control ("获取", "42%", "更新" + "打开", ...).
    QStringList cardControlTexts(const QString &appId)
    {
        const std::optional<AppItem> app = store().app(appId);
        return app ? InstallControlPainter::texts(rig.registry->state(*app)) : QStringList{};
    }
    // Clicks a pill of the record's card on the list shown.
    bool clickCard(const QString &appId, Action action)
    {
        AppListView *shown = list();
        const QModelIndex index = cardIndex(appId);
        if (!shown || !index.isValid())
            return false;
        QListView *view = shown->listView();
        view->scrollTo(index);
        const QRectF target = action == Action::none ? shown->cardDelegate()->layout(index).text
                                                     : shown->cardDelegate()->actionRect(index, action);
        if (target.isEmpty())
            return false;
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, target.center().toPoint());
        return true;
    }

    // The visible texts of labels and buttons of the shown screen.
    QStringList visibleTexts(QWidget *root)
    {
        QStringList texts;
        for (QLabel *label : root->findChildren<QLabel *>()) {
            if (label->isVisibleTo(&window) && !label->text().isEmpty())
                texts << label->text();
        }
        for (QAbstractButton *button : root->findChildren<QAbstractButton *>()) {
            if (button->isVisibleTo(&window) && !button->text().isEmpty())
                texts << button->text();
        }
        return texts;
    }
};

// Logical font sizes of the visible widgets that show text and are meant to
// follow the text scale, keyed by widget identity and text.
QHash<QString, qreal> scaledTextSizes(QWidget *root)
{
    QHash<QString, qreal> sizes;
    const auto visit = [&](QWidget *widget, const QString &text) {
        if (text.trimmed().isEmpty() || !widget->isVisibleTo(root->window()))
            return;
        // Fixed system texts (the badge count) do not follow the scale.
        if (widget->property("zelvoFontFace").toInt() == int(ThemeFont::Face::System))
            return;
        // Symbols are glyphs of the icon font; they keep their size.
        if (widget->font().families().contains(QStringLiteral("Material Icons")))
            return;
        sizes.insert(QString::fromLatin1(widget->metaObject()->className()) + QLatin1Char('/') + widget->objectName() +
                         QLatin1Char('/') + text,
                     ThemeFont::logicalSize(widget->font()));
    };
    for (QLabel *label : root->findChildren<QLabel *>())
        visit(label, label->text());
    for (QAbstractButton *button : root->findChildren<QAbstractButton *>())
        visit(button, button->text());
    for (QLineEdit *field : root->findChildren<QLineEdit *>())
        visit(field, field->placeholderText());
    return sizes;
}

} // namespace

class tst_NewUserRoad : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_settingsHome;
    std::unique_ptr<Road> m_road;
    QByteArray m_zip;

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    // The road, in order.
    void startsOnDiscoverWithThePresets();
    void addsARecordThroughTheJsonTab();
    void getDownloadsThenInstalls();
    void newerVersionShowsUpdateAndOpen();
    void downloadsScreenListsAndDeletes();
    void textScaleReachesEveryScreen();

    // What goes wrong on it.
    void roadFailures_data();
    void roadFailures();
};

void tst_NewUserRoad::initTestCase()
{
    QVERIFY(m_settingsHome.isValid());
    // The text scale is the shared one the fonts read; it keeps its setting here.
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsHome.path());
    FontScaleManager::shared().setScale(1.0);
    qInfo("disk-full cases: %s", FullDisk::canMount() ? "a 64 KiB tmpfs" : "a 64 KiB file-size limit");
    m_road = std::make_unique<Road>();
    QVERIFY(QTest::qWaitForWindowExposed(&m_road->window));
    m_zip = makeZip(m_road->work(), QStringLiteral("1.0.0"), 4096);
    QVERIFY2(!m_zip.isEmpty(), "bsdtar could not make the package");
}

void tst_NewUserRoad::cleanupTestCase()
{
    m_road.reset();
    FontScaleManager::shared().setScale(1.0);
}

// 1. A fresh start: "发现应用" with the six presets, the sidebar, chips, search and cards.
void tst_NewUserRoad::startsOnDiscoverWithThePresets()
{
    Road &road = *m_road;
    QCOMPARE(road.view().shownItem(), NavigationItem::discover);
    QVERIFY(road.sidebarRow(NavigationItem::discover)->isChecked());
    QStringList rows;
    for (NavigationItem item : Navigation::allItems())
        rows << road.sidebarRow(item)->text();
    QCOMPARE(rows, (QStringList{QStringLiteral("发现应用"), QStringLiteral("已安装"), QStringLiteral("下载管理"),
                                QStringLiteral("应用录入")}));
    QCOMPARE(road.badgeText(), QString());

    AppListView *list = road.list();
    QVERIFY(list);
    QVERIFY(!list->showOnlyInstalled());
    QVERIFY(road.visibleTexts(list).contains(QStringLiteral("探索与发现")));
    QStringList ids;
    for (const AppItem &app : list->filteredApps())
        ids << app.id;
    QCOMPARE(ids, (QStringList{QStringLiteral("google-chrome"), QStringLiteral("visual-studio-code"),
                               QStringLiteral("iterm2"), QStringLiteral("docker"), QStringLiteral("wechat"),
                               QStringLiteral("obsidian")}));
    QCOMPARE(list->listView()->model()->rowCount(), 6);
    for (const QString &id : ids)
        QCOMPARE(road.cardControlTexts(id), QStringList{QStringLiteral("获取")});
    QCOMPARE(list->categories(),
             (QStringList{QStringLiteral("全部"), QStringLiteral("开发工具"), QStringLiteral("效率办公"),
                          QStringLiteral("网络浏览器"), QStringLiteral("通讯社交")}));

    // A chip narrows the cards; "全部" brings them all back.
    QTest::mouseClick(list->chip(QStringLiteral("开发工具")), Qt::LeftButton);
    QTRY_COMPARE(list->listView()->model()->rowCount(), 3);
    for (const AppItem &app : list->filteredApps())
        QCOMPARE(app.category, QStringLiteral("开发工具"));
    QTest::mouseClick(list->chip(QStringLiteral("全部")), Qt::LeftButton);
    QTRY_COMPARE(list->listView()->model()->rowCount(), 6);

    // Typing searches names and ids, whatever the case; the clear button empties it.
    QTest::keyClicks(list->searchField(), QStringLiteral("CHROME"));
    QTRY_COMPARE(list->listView()->model()->rowCount(), 1);
    QCOMPARE(list->filteredApps().constFirst().id, QStringLiteral("google-chrome"));
    QVERIFY(list->clearSearchButton()->isVisible());
    QTest::mouseClick(list->clearSearchButton(), Qt::LeftButton);
    QTRY_COMPARE(list->listView()->model()->rowCount(), 6);
    QCOMPARE(list->searchField()->text(), QString());
}

// 2. A record through the JSON tab, its package on a server that names it generically.
void tst_NewUserRoad::addsARecordThroughTheJsonTab()
{
    Road &road = *m_road;
    TestHttpServer::Reply firstHalf;
    firstHalf.body = m_zip.left(m_zip.size() / 2);
    firstHalf.contentLength = m_zip.size();
    firstHalf.hold = true; // the rest comes when the test pushes it
    firstHalf.headers = {{"Content-Type", "application/zip"}};
    road.rig.server.route(kPackagePath, firstHalf);

    const QString result =
        road.importThroughJsonTab(recordJson(road.rig.server.url(kPackagePath), QStringLiteral("1.0.0")));
    QCOMPARE(result, QStringLiteral("成功导入 / 更新了 1 个应用！已同步保存到本地应用库。"));
    QVERIFY(road.store().app(kAppId));
    // Saved for the next start, not only shown.
    QVERIFY(TestFolders::readFile(road.store().storageFilePath()).contains(kAppId.toUtf8()));

    road.go(NavigationItem::discover);
    QTRY_VERIFY_WITH_TIMEOUT(road.cardIndex(kAppId).isValid(), kWait);
    QCOMPARE(road.list()->listView()->model()->rowCount(), 7);
    QCOMPARE(road.cardControlTexts(kAppId), QStringList{QStringLiteral("获取")});
}

// 3. "获取" downloads (ring, percentage, badge), a second "获取" installs, the card shows "打开".
void tst_NewUserRoad::getDownloadsThenInstalls()
{
    Road &road = *m_road;
    QVERIFY(road.clickCard(kAppId, Action::install));
    // Half the package has arrived: the ring with the whole percentage.
    const QString percent = QString::number(qint64(m_zip.size() / 2) * 100 / m_zip.size()) + QLatin1Char('%');
    QTRY_COMPARE_WITH_TIMEOUT(road.cardControlTexts(kAppId), QStringList{percent}, kWait);
    QCOMPARE(road.rig.registry->state(*road.store().app(kAppId)).status.kind, AppInstallStatus::Kind::downloading);
    QCOMPARE(road.badgeText(), QStringLiteral("1"));

    road.rig.server.push(m_zip.mid(m_zip.size() / 2));
    road.rig.server.closeHeld();
    QTRY_COMPARE_WITH_TIMEOUT(road.cardControlTexts(kAppId), QStringList{QStringLiteral("获取")}, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(road.downloads().localPackages().size(), 1, kWait);
    QCOMPARE(road.downloads().localPackages().constFirst().fileName, kPackageName);
    QCOMPARE(road.badgeText(), QStringLiteral("1"));        // the finished download stays listed
    QCOMPARE(installedVersion(road.rig.apps()), QString()); // nothing installs by itself

    const qsizetype requests = road.rig.server.requests().size();
    QVERIFY(road.clickCard(kAppId, Action::install));
    QTRY_COMPARE_WITH_TIMEOUT(road.cardControlTexts(kAppId), QStringList{QStringLiteral("打开")}, kWait);
    QCOMPARE(road.rig.server.requests().size(), requests); // installed from the cache, not fetched again
    QCOMPARE(installedVersion(road.rig.apps()), QStringLiteral("1.0.0"));
    QVERIFY(road.rig.console.contains(QStringLiteral("Installer: 安装成功完成！")));
    QVERIFY(!road.rig.console.join(QLatin1Char('\n')).contains(QStringLiteral("安装失败")));

    // "打开" starts the installed bundle.
    QVERIFY(road.clickCard(kAppId, Action::open));
    QTRY_VERIFY_WITH_TIMEOUT(road.rig.toolLog().contains("launch " + QFile::encodeName(road.rig.apps()) + "/" +
                                                         kBundleName.toUtf8() + ".app"),
                             kWait);

    road.go(NavigationItem::installed);
    AppListView *installed = road.list();
    QVERIFY(installed && installed->showOnlyInstalled());
    QStringList ids;
    for (const AppItem &app : installed->filteredApps())
        ids << app.id;
    QCOMPARE(ids, QStringList{kAppId});
    QCOMPARE(installed->listView()->model()->rowCount(), 1);
    QCOMPARE(road.cardControlTexts(kAppId), QStringList{QStringLiteral("打开")});
}

// 4. The library announces a newer version: "更新" and "打开"; the detail page tells both versions.
void tst_NewUserRoad::newerVersionShowsUpdateAndOpen()
{
    Road &road = *m_road;
    const QString result =
        road.importThroughJsonTab(recordJson(road.rig.server.url(kPackagePath), QStringLiteral("1.1.0")));
    QCOMPARE(result, QStringLiteral("成功导入 / 更新了 1 个应用！已同步保存到本地应用库。"));
    QCOMPARE(road.store().app(kAppId)->currentVersion, QStringLiteral("1.1.0"));

    road.go(NavigationItem::discover);
    QTRY_VERIFY_WITH_TIMEOUT(road.cardIndex(kAppId).isValid(), kWait);
    QCOMPARE(road.cardControlTexts(kAppId), (QStringList{QStringLiteral("更新"), QStringLiteral("打开")}));

    QVERIFY(road.clickCard(kAppId, Action::none));
    QTRY_VERIFY_WITH_TIMEOUT(road.screen<AppDetailView>() && road.screen<AppDetailView>()->isVisible(), kWait);
    AppDetailView *detail = road.screen<AppDetailView>();
    const QStringList texts = road.visibleTexts(detail);
    QVERIFY2(texts.contains(QStringLiteral("最新版本")), qPrintable(texts.join(QLatin1Char('|'))));
    QVERIFY(texts.contains(QStringLiteral("本地已装")));
    QVERIFY(texts.contains(QStringLiteral("v1.1.0")));
    QVERIFY(texts.contains(QStringLiteral("v1.0.0")));
    QVERIFY(!texts.contains(QStringLiteral("当前版本")));
    auto *button = detail->findChild<ActionButton *>();
    QVERIFY(button);
    QCOMPARE(button->visibleTexts(), (QStringList{QStringLiteral("更新"), QStringLiteral("打开")}));

    // Back to the list, as it was.
    auto backs = detail->findChildren<QAbstractButton *>();
    QAbstractButton *back = nullptr;
    for (QAbstractButton *candidate : backs) {
        if (candidate->text() == QStringLiteral("返回列表"))
            back = candidate;
    }
    QVERIFY(back);
    QTest::mouseClick(back, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(road.list() && road.list()->listView()->isVisible(), kWait);
}

// 5. "下载管理" lists the finished download and the cached package; deleting the package empties the cache view.
void tst_NewUserRoad::downloadsScreenListsAndDeletes()
{
    Road &road = *m_road;
    road.go(NavigationItem::downloads);
    auto *screen = road.screen<DownloadsView>();
    QVERIFY(screen);
    QCOMPARE(screen->taskCards().size(), 1);
    DownloadTaskCard *card = screen->taskCards().constFirst();
    QVERIFY(card->titleText().contains(QStringLiteral("路记")));
    QCOMPARE(card->progress(), 1.0);
    QCOMPARE(screen->packageModel().packages().size(), 1);
    const LocalPackage package = screen->packageModel().packages().constFirst();
    QCOMPARE(package.fileName, kPackageName);
    QVERIFY(QFileInfo::exists(package.filePath));

    LocalPackageListView &packages = screen->packageList();
    const QRect remove = packages.partRect(0, LocalPackageDelegate::Part::remove);
    QVERIFY(!remove.isEmpty());
    QTest::mouseClick(packages.viewport(), Qt::LeftButton, {}, remove.center());
    QTRY_COMPARE_WITH_TIMEOUT(screen->packageModel().packages().size(), 0, kWait);
    QVERIFY(!QFileInfo::exists(package.filePath));
    QWidget *empty = screen->findChild<QWidget *>(QStringLiteral("emptyState"));
    QVERIFY(empty);
    QTRY_VERIFY(empty->isVisible());
    QVERIFY(road.visibleTexts(screen).contains(QStringLiteral("暂无本地缓存的安装包")));
    // The installed application is not touched by emptying the cache.
    QCOMPARE(installedVersion(road.rig.apps()), QStringLiteral("1.0.0"));
}

// 6. Ctrl+= through the window's menu actions grows the texts of every screen,
// the one shown and those built afterwards; Ctrl+0 brings them back.
void tst_NewUserRoad::textScaleReachesEveryScreen()
{
    Road &road = *m_road;
    QMenu *viewMenu = nullptr;
    for (QAction *menu : road.window.menuBar()->actions()) {
        if (menu->text() == QStringLiteral("显示"))
            viewMenu = menu->menu();
    }
    QVERIFY(viewMenu);
    QAction *zoomIn = nullptr;
    for (QAction *action : viewMenu->actions()) {
        if (action->text() == QStringLiteral("放大"))
            zoomIn = action;
    }
    QVERIFY(zoomIn);
    QVERIFY(zoomIn->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Equal)));

    const QList<NavigationItem> items = Navigation::allItems();
    QHash<NavigationItem, QHash<QString, qreal>> before;
    for (NavigationItem item : items) {
        road.go(item);
        before.insert(item, scaledTextSizes(&road.view()));
        QVERIFY2(before[item].size() >= 4, qPrintable(Navigation::id(item)));
    }
    const int cardHeight = AppCardDelegate::rowHeight();

    QVERIFY(QTest::qWaitForWindowActive(&road.window));
    QTest::keyClick(&road.window, Qt::Key_Equal, Qt::ControlModifier);
    QTest::keyClick(&road.window, Qt::Key_Equal, Qt::ControlModifier);
    QVERIFY(qAbs(FontScaleManager::shared().scale() - 1.2) < 1e-9);
    QVERIFY(FontScaleManager::shared().showHud());

    // The screen on show (the last one visited) follows at once; the others when built.
    QList<NavigationItem> order{items.last()};
    order << items.mid(0, items.size() - 1);
    for (NavigationItem item : order) {
        if (road.view().shownItem() != item)
            road.go(item);
        const QHash<QString, qreal> after = scaledTextSizes(&road.view());
        int compared = 0;
        for (auto it = before[item].cbegin(); it != before[item].cend(); ++it) {
            if (!after.contains(it.key()))
                continue; // a text that changed with the layout (none expected, but not this test's subject)
            ++compared;
            QVERIFY2(after[it.key()] > it.value() * 1.15,
                     qPrintable(Navigation::id(item) + QStringLiteral(": ") + it.key() + QStringLiteral(" ") +
                                QString::number(it.value()) + QStringLiteral(" -> ") +
                                QString::number(after[it.key()])));
        }
        QVERIFY2(compared >= before[item].size() * 3 / 4, qPrintable(Navigation::id(item)));
    }
    QVERIFY(AppCardDelegate::rowHeight() > cardHeight);

    QTest::keyClick(&road.window, Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(FontScaleManager::shared().scale(), 1.0);
    const NavigationItem shown = road.view().shownItem();
    const QHash<QString, qreal> reset = scaledTextSizes(&road.view());
    for (auto it = before[shown].cbegin(); it != before[shown].cend(); ++it) {
        if (reset.contains(it.key()))
            QCOMPARE(reset[it.key()], it.value());
    }
    QCOMPARE(AppCardDelegate::rowHeight(), cardHeight);
}

// What the user meets when the road breaks, and that nothing is lost: the
// library keeps the record, the installed older version stays as it was, the
// cache holds no half file, and once the cause is gone the same clicks work.
void tst_NewUserRoad::roadFailures_data()
{
    QTest::addColumn<QString>("failure");
    // Shown on the failed download's card on "下载管理"; empty when the download succeeds.
    QTest::addColumn<QString>("downloadCard");
    // Printed on the console by the failed installation; empty when none runs.
    QTest::addColumn<QString>("console");
    // The rows on a full disk end both with the system's reason (No space left on device).

    QTest::newRow("server down") << "serverDown"
                                 << "下载失败: Connection refused"
                                 << "";
    QTest::newRow("404") << "notFound"
                         << "下载失败: 服务器返回错误: HTTP 404"
                         << "";
    QTest::newRow("broken archive") << "brokenArchive"
                                    << ""
                                    << "安装失败: 安装执行失败：解压 ZIP 文件失败";
    QTest::newRow("disk full while downloading") << "downloadDiskFull"
                                                 << "下载失败: 保存下载文件失败: "
                                                 << "";
    QTest::newRow("disk full while installing") << "installDiskFull"
                                                << ""
                                                << "安装失败: filesystem error: cannot copy file: ";
}

void tst_NewUserRoad::roadFailures()
{
    QFETCH(QString, failure);
    QFETCH(QString, downloadCard);
    QFETCH(QString, console);

    m_road.reset();
    Road road;
    QVERIFY(QTest::qWaitForWindowExposed(&road.window));
    TestHttpServer &server = road.rig.server;
    const QByteArray good = makeZip(road.work(), QStringLiteral("2.0.0"), 256 * 1024);
    QVERIFY(!good.isEmpty());

    // An older version is installed; the library announces 2.0.0.
    QUrl address = server.url(kPackagePath);
    if (failure == QLatin1String("serverDown")) {
        QTcpServer gone;
        QVERIFY(gone.listen(QHostAddress::LocalHost));
        address.setPort(gone.serverPort());
    } // closed here: nothing listens on that port any more
    if (failure == QLatin1String("notFound"))
        server.route(kPackagePath,
                     TestHttpServer::Reply{404, "<html>Not Found</html>", {{"Content-Type", "text/html"}}});
    else if (failure == QLatin1String("brokenArchive"))
        server.routeBody(kPackagePath, "PK\x03\x04 this archive ends before it begins", "application/zip");
    else
        server.routeBody(kPackagePath, good, "application/zip");

    // A tiny file system goes in place now; a file-size limit (which also
    // binds the download) only just before the step that is to fail.
    const bool fullCache = failure == QLatin1String("downloadDiskFull");
    const bool fullApps = failure == QLatin1String("installDiskFull");
    std::unique_ptr<FullDisk> full;
    if (fullCache || (fullApps && FullDisk::canMount())) {
        full = std::make_unique<FullDisk>(fullCache ? road.downloads().cacheDirectory() : road.rig.apps());
        QVERIFY(full->active());
    }
    TestFolders::makeBundle(road.rig.apps(), kBundleName, kBundleId, QStringLiteral("1.0.0"));
    road.store().setInstalledAppMap(road.store().detector().scanInstalledApps());

    QCOMPARE(road.importThroughJsonTab(recordJson(address, QStringLiteral("2.0.0"))),
             QStringLiteral("成功导入 / 更新了 1 个应用！已同步保存到本地应用库。"));
    const AppItem record = *road.store().app(kAppId);
    road.go(NavigationItem::discover);
    QTRY_VERIFY_WITH_TIMEOUT(road.cardIndex(kAppId).isValid(), kWait);
    const QStringList updateOpen{QStringLiteral("更新"), QStringLiteral("打开")};
    QCOMPARE(road.cardControlTexts(kAppId), updateOpen);

    const QString taskKey = DownloadManager::taskKey(kAppId, QStringLiteral("2.0.0"));
    QVERIFY(road.clickCard(kAppId, Action::install));
    QTRY_VERIFY_WITH_TIMEOUT(road.downloads().task(taskKey) && !road.downloads().task(taskKey)->status.isDownloading(),
                             kWait);
    if (!downloadCard.isEmpty()) {
        // The card is ready for another try; the badge leads to the reason.
        QTRY_COMPARE_WITH_TIMEOUT(road.cardControlTexts(kAppId), updateOpen, kWait);
        QCOMPARE(road.badgeText(), QStringLiteral("1"));
        QVERIFY(road.downloads().localPackages().isEmpty());
        QCOMPARE(entriesBelow(road.downloads().cacheDirectory()), QStringList()); // no half file left
        road.go(NavigationItem::downloads);
        auto *screen = road.screen<DownloadsView>();
        QVERIFY(screen);
        QCOMPARE(screen->taskCards().size(), 1);
        QCOMPARE(screen->taskCards().constFirst()->detailText(),
                 downloadCard + (full ? FullDisk::systemReason(full->mounted()) : QString()));
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(road.downloads().localPackages().size(), 1, kWait);
        QTRY_COMPARE_WITH_TIMEOUT(road.cardControlTexts(kAppId), updateOpen, kWait);
        if (fullApps && !full) {
            full = std::make_unique<FullDisk>(road.rig.apps());
            QVERIFY(full->active());
        }
        QVERIFY(road.clickCard(kAppId, Action::install));
        QTRY_VERIFY_WITH_TIMEOUT(road.rig.console.join(QLatin1Char('\n')).contains(QStringLiteral("安装失败: ")),
                                 kWait);
        const QString printed = road.rig.console.filter(QStringLiteral("安装失败: ")).constFirst();
        if (!full)
            QCOMPARE(printed, console);
        else if (full->mounted())
            QVERIFY2(printed.startsWith(console + FullDisk::systemReason(true)), qPrintable(printed));
        else // the file-size limit binds the unpacking tool too, which fails first
            QVERIFY2(printed.startsWith(QStringLiteral("安装失败: 安装执行失败：解压 ZIP 文件失败")),
                     qPrintable(printed));
        // The card tells it too, beside the buttons, until the next try.
        QTRY_COMPARE_WITH_TIMEOUT(
            road.cardControlTexts(kAppId),
            (QStringList{QStringLiteral("更新"), QStringLiteral("打开"), QStringLiteral("安装失败")}), kWait);
        // The package stays for another try or for the downloads screen.
        QCOMPARE(road.downloads().localPackages().size(), 1);
    }

    // Nothing lost: the installed version, the record, the library on disk.
    QCOMPARE(installedVersion(road.rig.apps()), QStringLiteral("1.0.0"));
    QCOMPARE(entriesBelow(road.rig.apps()).filter(QStringLiteral(".zelvo-")), QStringList());
    QCOMPARE(*road.store().app(kAppId), record);
    QVERIFY(AppItem::listFromJson(TestFolders::readFile(road.store().storageFilePath())).contains(record));

    // Once the cause is gone, the same road leads on.
    if (full)
        full->end();
    if (failure == QLatin1String("serverDown")) {
        QCOMPARE(road.importThroughJsonTab(recordJson(server.url(kPackagePath), QStringLiteral("2.0.0"))),
                 QStringLiteral("成功导入 / 更新了 1 个应用！已同步保存到本地应用库。"));
    } else if (!fullCache && !fullApps) {
        server.routeBody(kPackagePath, good, "application/zip");
    }
    if (failure == QLatin1String("brokenArchive")) {
        // The broken package would be found again: the user deletes it on "下载管理".
        road.go(NavigationItem::downloads);
        LocalPackageListView &packages = road.screen<DownloadsView>()->packageList();
        QTest::mouseClick(packages.viewport(), Qt::LeftButton, {},
                          packages.partRect(0, LocalPackageDelegate::Part::remove).center());
        QTRY_VERIFY_WITH_TIMEOUT(road.downloads().localPackages().isEmpty(), kWait);
    }
    road.go(NavigationItem::discover);
    QTRY_VERIFY_WITH_TIMEOUT(road.cardIndex(kAppId).isValid(), kWait);
    if (road.downloads().localPackages().isEmpty()) {
        QVERIFY(road.clickCard(kAppId, Action::install));
        QTRY_COMPARE_WITH_TIMEOUT(road.downloads().localPackages().size(), 1, kWait);
        QTRY_VERIFY_WITH_TIMEOUT(!road.downloads().task(taskKey)->status.isDownloading(), kWait);
    }
    QTRY_COMPARE_WITH_TIMEOUT(road.cardControlTexts(kAppId).mid(0, 2), updateOpen, kWait);
    QVERIFY(road.clickCard(kAppId, Action::install));
    QTRY_COMPARE_WITH_TIMEOUT(road.cardControlTexts(kAppId), QStringList{QStringLiteral("打开")}, kWait);
    QCOMPARE(installedVersion(road.rig.apps()), QStringLiteral("2.0.0"));
}

int main(int argc, char *argv[])
{
    // Before any thread exists: a mount namespace of its own lets the "disk
    // full" cases mount a tiny file system that nobody else sees.
    FullDisk::enterPrivateMountNamespace();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tst_NewUserRoad"));
    tst_NewUserRoad test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_NewUserRoad.moc"
