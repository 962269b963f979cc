#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "services/AppStoreService.h"
#include "services/DownloadManager.h"
#include "services/InstallWorkflowRegistry.h"
#include "support/TestFolders.h"
#include "support/TestScreenContext.h"
#include "views/AppListFilterProxy.h"
#include "views/AppListModel.h"
#include "views/AppListView.h"
#include "views/MainView.h"
#include "views/ScreenFactory.h"
#include "views/components/AppCardDelegate.h"
#include "views/components/ChipButton.h"
#include "views/components/InstallControlPainter.h"
#include "views/components/SymbolButton.h"
#include "views/components/ThemeFont.h"

namespace {

AppItem record(const QString &id, const QString &name, std::optional<QString> chinese, const QString &category,
               const QString &summary = QStringLiteral("摘要"), const QString &description = QStringLiteral("描述"))
{
    AppItem app;
    app.id = id;
    app.name = name;
    app.chineseName = std::move(chinese);
    app.bundleId = QStringLiteral("com.example.") + id;
    app.category = category;
    app.summary = summary;
    app.description = description;
    app.currentVersion = QStringLiteral("2.0");
    app.packageType = PackageType::dmg;
    app.downloadUrl = QStringLiteral("http://127.0.0.1:9/%1.dmg").arg(id);
    return app;
}

QStringList ids(const QList<AppItem> &apps)
{
    QStringList list;
    for (const auto &app : apps)
        list << app.id;
    return list;
}

QStringList visibleTexts(const QWidget *widget)
{
    QStringList texts;
    for (const QLabel *label : widget->findChildren<QLabel *>())
        if (label->isVisibleTo(widget->window()) && !label->text().isEmpty())
            texts << label->text();
    return texts;
}

// Types text key by key, also characters no key of a US keyboard produces.
void typeInto(QWidget *field, const QString &text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// The real services over one temporary home, with the library and the
// installed bundles a test needs.
struct Services : TestScreenContext
{
    AppStoreService &store = *rig.store;

    QString apps() const { return rig.apps(); }
    void setLibrary(const QList<AppItem> &apps)
    {
        TestFolders::writeFile(rig.root.filePath(QStringLiteral("library")), QStringLiteral("apps.json"),
                               AppItem::listToJson(apps));
        store.loadApps();
    }
    // A bundle of the record's id and this version, then a fresh scan.
    void install(const QString &id, const QString &version)
    {
        TestFolders::makeBundle(apps(), id, QStringLiteral("com.example.") + id, version);
        store.refreshInstalledStatus();
    }
};

QList<AppItem> library()
{
    return {record(QStringLiteral("google-chrome"), QStringLiteral("Google Chrome"), QStringLiteral("谷歌浏览器"),
                   QStringLiteral("网络浏览器"), QStringLiteral("快速浏览器"), QStringLiteral("rarewordonlyhere")),
            record(QStringLiteral("vscode"), QStringLiteral("Code"), std::nullopt, QStringLiteral("开发工具"),
                   QStringLiteral("editor")),
            record(QStringLiteral("iterm2"), QStringLiteral("iTerm2"), QStringLiteral("终端"),
                   QStringLiteral("开发工具"), QStringLiteral("a terminal")),
            record(QStringLiteral("wechat"), QStringLiteral("WeChat"), QStringLiteral("微信"),
                   QStringLiteral("通讯社交"), QStringLiteral("聊天"))};
}

} // namespace

class TestAppListView final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<Services> m_services;

    std::unique_ptr<AppListView> makeView(bool installedOnly)
    {
        auto view = std::make_unique<AppListView>(m_services->context, installedOnly);
        view->resize(900, 640);
        view->show();
        return view;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The shared text scale stores into the default settings: keep them here.
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
    }
    void init()
    {
        m_services = std::make_unique<Services>();
        m_services->setLibrary(library());
    }
    void cleanup()
    {
        m_services.reset();
        FontScaleManager::shared().setScale(FontScaleManager::defaultScale);
    }

    void categoryChips_data()
    {
        QTest::addColumn<QStringList>("categories");
        QTest::addColumn<QStringList>("chips");
        QTest::newRow("duplicates once, code-point order")
            << QStringList{"开发工具", "网络浏览器", "开发工具", "Zeta", "alpha"}
            << QStringList{"全部", "Zeta", "alpha", "开发工具", "网络浏览器"};
        QTest::newRow("empty library") << QStringList{} << QStringList{"全部"};
    }
    void categoryChips()
    {
        QFETCH(QStringList, categories);
        QFETCH(QStringList, chips);
        QList<AppItem> apps;
        for (int i = 0; i < categories.size(); ++i)
            apps << record(QStringLiteral("app%1").arg(i), QStringLiteral("App %1").arg(i), std::nullopt,
                           categories.at(i));
        m_services->setLibrary(apps);
        auto view = makeView(false);
        QCOMPARE(view->categories(), chips);
        for (const QString &text : chips)
            QVERIFY2(view->chip(text) && view->chip(text)->isVisible(), qPrintable(text));
        QVERIFY(view->chip(QStringLiteral("全部"))->isChecked());
        QCOMPARE(view->isShowingEmptyState(), apps.isEmpty());
        if (apps.isEmpty())
            QVERIFY(visibleTexts(view.get()).contains(QStringLiteral("未找到匹配的应用程序")));
    }

    void chipsFollowTheLibrary()
    {
        auto view = makeView(false);
        QVERIFY(!view->categories().contains(QStringLiteral("影音视听")));
        m_services->store.saveAppItem(record(QStringLiteral("iina"), QStringLiteral("IINA"), std::nullopt,
                                             QStringLiteral("影音视听")));
        QVERIFY(view->categories().contains(QStringLiteral("影音视听")));
        QCOMPARE(ids(view->filteredApps()).first(), QStringLiteral("iina"));
    }

    void search_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("category");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("Chinese name") << "微信" << "全部" << QStringList{"wechat"};
        QTest::newRow("with a category") << "e" << "开发工具" << QStringList{"vscode", "iterm2"};
    }
    void search()
    {
        QFETCH(QString, typed);
        QFETCH(QString, category);
        QFETCH(QStringList, expected);
        auto view = makeView(false);
        view->chip(category)->click();
        typeInto(view->searchField(), typed);
        QCOMPARE(view->searchText(), typed);
        QCOMPARE(ids(view->filteredApps()), expected);
        QCOMPARE(view->listView()->model()->rowCount(), expected.size());
        QCOMPARE(view->isShowingEmptyState(), expected.isEmpty());
        QCOMPARE(view->clearSearchButton()->isVisible(), !typed.isEmpty());
        QVERIFY(view->chip(category)->isChecked());
    }

    void clearButtonEmptiesTheSearch()
    {
        auto view = makeView(false);
        QTest::keyClicks(view->searchField(), QStringLiteral("nothing matches this"));
        QVERIFY(view->isShowingEmptyState());
        QVERIFY(visibleTexts(view.get()).contains(QStringLiteral("未找到匹配的应用程序")));
        QTest::mouseClick(view->clearSearchButton(), Qt::LeftButton);
        QCOMPARE(view->searchText(), QString());
        QCOMPARE(view->searchField()->text(), QString());
        QVERIFY(!view->clearSearchButton()->isVisible());
        QCOMPARE(view->filteredApps().size(), library().size());
    }

    void installedList()
    {
        m_services->install(QStringLiteral("vscode"), QStringLiteral("1.0"));  // older: update available
        m_services->install(QStringLiteral("wechat"), QStringLiteral("2.0"));  // current
        auto view = makeView(true);
        QCOMPARE(view->title(), QStringLiteral("已安装应用"));
        QCOMPARE(ids(view->filteredApps()), QStringList({"vscode", "wechat"}));

        // Installed behind the screen's back: shown after the rescan button.
        TestFolders::makeBundle(m_services->apps(), QStringLiteral("iterm2"), QStringLiteral("com.example.iterm2"),
                                QStringLiteral("2.0"));
        QCOMPARE(view->filteredApps().size(), 2);
        QTest::mouseClick(view->refreshButton(), Qt::LeftButton);
        QCOMPARE(ids(view->filteredApps()), QStringList({"vscode", "iterm2", "wechat"}));

        // Everything removed: the installed list's own empty state.
        QDir(m_services->apps()).removeRecursively();
        view->refreshInstalled();
        QVERIFY(view->isShowingEmptyState());
        const QStringList texts = visibleTexts(view.get());
        QVERIFY(texts.contains(QStringLiteral("未检测到已安装的关联应用")));
        QVERIFY(texts.contains(QStringLiteral("您可以从「发现」或「应用录入」中安装您需要的应用。")));
    }

    void discoverListShowsEverythingInLibraryOrder()
    {
        m_services->install(QStringLiteral("wechat"), QStringLiteral("2.0"));
        auto view = makeView(false);
        QCOMPARE(view->title(), QStringLiteral("探索与发现"));
        QCOMPARE(ids(view->filteredApps()), ids(library()));
        QVERIFY(!visibleTexts(view.get()).contains(QStringLiteral("您可以从「发现」或「应用录入」中安装您需要的应用。")));
    }

    void cardTexts_data()
    {
        QTest::addColumn<AppItem>("app");
        QTest::addColumn<QStringList>("texts");
        AppItem app = record(QStringLiteral("x"), QStringLiteral("Xcode"), QStringLiteral("开发"),
                             QStringLiteral("开发工具"), QStringLiteral("IDE"));
        QTest::newRow("Chinese name first") << app << QStringList{"开发", "Xcode", "IDE", "开发工具", "v2.0", "DMG"};
        app.chineseName = QString();
        app.summary.clear();
        app.currentVersion = QStringLiteral("1.2.3,456");
        app.packageType = PackageType::pkg;
        QTest::newRow("empty Chinese name, description, build suffix")
            << app << QStringList{"Xcode", "Xcode", "描述", "开发工具", "v1.2.3", "PKG"};
        app.sourceType = AppSourceType::brew;
        app.chineseName.reset();
        QTest::newRow("Homebrew") << app << QStringList{"Xcode", "描述", "开发工具", "v1.2.3", "Brew"};
    }
    void cardTexts()
    {
        QFETCH(AppItem, app);
        QFETCH(QStringList, texts);
        QCOMPARE(AppCardDelegate::cardTexts(app), texts);
    }

    void cardClickOpensDetailAndBackKeepsTheFilter()
    {
        auto view = makeView(false);
        QTest::mouseClick(view->chip(QStringLiteral("开发工具")), Qt::LeftButton);
        QTest::keyClicks(view->searchField(), QStringLiteral("i"));
        QCOMPARE(ids(view->filteredApps()), QStringList({"vscode", "iterm2"}));

        // A click on the divider gap below the first card opens nothing.
        QListView *list = view->listView();
        const QRect first = list->visualRect(list->model()->index(0, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(first.center().x(), first.bottom() - 2));
        QVERIFY(!view->selectedApp());

        const QRect second = list->visualRect(list->model()->index(1, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
        QVERIFY(view->selectedApp());
        QCOMPARE(view->selectedApp()->id, QStringLiteral("iterm2"));
        QVERIFY(view->detailView() && view->detailView()->isVisible());
        QVERIFY(!list->isVisible());

        auto *back = view->detailView()->findChild<QAbstractButton *>(QStringLiteral("backButton"));
        QVERIFY(back);
        QCOMPARE(back->text(), QStringLiteral("返回列表"));
        QTest::mouseClick(back, Qt::LeftButton);
        QVERIFY(!view->selectedApp());
        QVERIFY(list->isVisible());
        QCOMPARE(view->selectedCategory(), QStringLiteral("开发工具"));
        QVERIFY(view->chip(QStringLiteral("开发工具"))->isChecked());
        QCOMPARE(view->searchField()->text(), QStringLiteral("i"));
        QCOMPARE(ids(view->filteredApps()), QStringList({"vscode", "iterm2"}));
    }

    void installControlInsideACard_data()
    {
        QTest::addColumn<QString>("installedVersion");
        QTest::addColumn<QStringList>("pills");
        QTest::addColumn<bool>("open");
        QTest::newRow("获取 downloads") << QString() << QStringList{"获取"} << false;
        QTest::newRow("更新 downloads") << "0.5" << QStringList{"更新", "打开"} << false;
        QTest::newRow("打开 launches") << "0.5" << QStringList{"更新", "打开"} << true;
    }
    void installControlInsideACard()
    {
        QFETCH(QString, installedVersion);
        QFETCH(QStringList, pills);
        QFETCH(bool, open);
        TestServices &rig = m_services->rig;
        rig.routeQuarterThenHold(QStringLiteral("/foo-2.0.zip"));
        AppItem foo = record(QStringLiteral("foo"), QStringLiteral("Foo"), std::nullopt, QStringLiteral("开发工具"));
        foo.bundleId = QStringLiteral("com.example.foo");
        foo.packageType = PackageType::zip;
        foo.downloadUrl = rig.server.url(QStringLiteral("/foo-2.0.zip")).toString();
        m_services->setLibrary(QList<AppItem>{library().first(), foo});
        if (!installedVersion.isEmpty())
            rig.installFoo(installedVersion);

        auto view = makeView(false);
        QListView *list = view->listView();
        const QModelIndex row = list->model()->index(1, 0);
        QCOMPARE(row.data(AppListModel::IdRole).toString(), QStringLiteral("foo"));
        QCOMPARE(InstallControlPainter::texts(row.data(AppListModel::InstallStateRole).value<InstallControlState>()),
                 pills);
        QSignalSpy repainted(list->model(), &QAbstractItemModel::dataChanged);

        const auto action = open ? InstallControlPainter::Action::open : InstallControlPainter::Action::install;
        const QRectF pill = view->cardDelegate()->actionRect(row, action);
        QVERIFY(!pill.isEmpty());
        QVERIFY(view->cardDelegate()->layout(row).card.contains(pill));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, pill.center().toPoint());
        QVERIFY2(!view->selectedApp(), "a click on the control does not open the detail page");

        if (open) {
            QTRY_COMPARE_WITH_TIMEOUT(rig.toolLog(),
                                      "launch " + QDir(rig.apps()).filePath(QStringLiteral("Foo.app")).toUtf8() + "\n",
                                      10000);
            QVERIFY(rig.downloads->activeTasks().isEmpty());
        } else {
            // The card follows the download live: its ring stops at 25 %.
            QTRY_COMPARE_WITH_TIMEOUT(
                InstallControlPainter::texts(row.data(AppListModel::InstallStateRole).value<InstallControlState>()),
                QStringList{"25%"}, 10000);
            QVERIFY(std::any_of(repainted.cbegin(), repainted.cend(), [](const QList<QVariant> &args) {
                return args.at(0).toModelIndex().row() == 1;
            }));
            QCOMPARE(rig.downloads->activeTasks().size(), 1);
            rig.server.closeHeld();
        }
    }

    void anotherDestinationStartsTheFilterOver()
    {
        ScreenFactory screens(m_services->context);
        MainView main(FontScaleManager::shared(),
                      [&screens](NavigationItem item, QWidget *parent) { return screens.create(item, parent); });
        main.resize(1100, 720);
        main.show();
        auto *discover = qobject_cast<AppListView *>(main.currentScreen());
        QVERIFY(discover && !discover->showOnlyInstalled());
        discover->chip(QStringLiteral("开发工具"))->click();
        typeInto(discover->searchField(), QStringLiteral("i"));

        main.setSelectedItem(NavigationItem::installed);
        auto *installed = qobject_cast<AppListView *>(main.currentScreen());
        QVERIFY(installed && installed->showOnlyInstalled());
        main.setSelectedItem(NavigationItem::discover);
        discover = qobject_cast<AppListView *>(main.currentScreen());
        QVERIFY(discover);
        QCOMPARE(discover->selectedCategory(), QStringLiteral("全部"));
        QVERIFY(discover->chip(QStringLiteral("全部"))->isChecked());
        QCOMPARE(discover->searchField()->text(), QString());
        QCOMPARE(discover->filteredApps().size(), library().size());
    }

    void textScaleRelaysOutTheCards()
    {
        auto view = makeView(false);
        QListView *list = view->listView();
        const int normal = list->visualRect(list->model()->index(1, 0)).height();
        QCOMPARE(normal, AppCardDelegate::rowHeight());
        FontScaleManager::shared().setScale(FontScaleManager::maxScale);
        QTRY_COMPARE(list->visualRect(list->model()->index(1, 0)).height(), AppCardDelegate::rowHeight());
        QVERIFY(AppCardDelegate::rowHeight() > normal);
        // The placeholder still fits the search box.
        QLineEdit *field = view->searchField();
        QVERIFY(QFontMetrics(field->font()).horizontalAdvance(field->placeholderText()) < field->width());
    }

    void hoverFadesTheCardBackground()
    {
        auto view = makeView(false);
        QListView *list = view->listView();
        const QRect first = list->visualRect(list->model()->index(0, 0));
        QTest::mouseMove(list->viewport(), first.center());
        QTRY_COMPARE(view->cardDelegate()->hoveredAppId(), QStringLiteral("google-chrome"));
        QTRY_COMPARE(view->cardDelegate()->hoverOpacity(QStringLiteral("google-chrome")), 1.0);
        const QRect second = list->visualRect(list->model()->index(1, 0));
        QTest::mouseMove(list->viewport(), second.center());
        QTRY_COMPARE(view->cardDelegate()->hoveredAppId(), QStringLiteral("vscode"));
        QTRY_COMPARE(view->cardDelegate()->hoverOpacity(QStringLiteral("google-chrome")), 0.0);
        QTRY_COMPARE(view->cardDelegate()->hoverOpacity(QStringLiteral("vscode")), 1.0);
    }

    void modelsFollowTheStore()
    {
        AppListModel model(*m_services->rig.registry);
        AppListFilterProxy proxy(model);
        proxy.setOnlyInstalled(true);
        QAbstractItemModelTester modelTester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester proxyTester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

        QCOMPARE(model.rowCount(), library().size());
        QCOMPARE(proxy.rowCount(), 0);
        m_services->install(QStringLiteral("iterm2"), QStringLiteral("1.0"));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(proxy.rowCount(), 1);
        const QModelIndex row = proxy.index(0, 0);
        QCOMPARE(row.data(AppListModel::IdRole).toString(), QStringLiteral("iterm2"));
        QCOMPARE(row.data(Qt::DisplayRole).toString(), QStringLiteral("终端"));
        QCOMPARE(row.data(AppListModel::StatusRole).value<AppInstallStatus>().kind,
                 AppInstallStatus::Kind::updateAvailable);

        m_services->store.removeApp(QStringLiteral("iterm2"));
        QCOMPARE(model.rowCount(), library().size() - 1);
        QCOMPARE(proxy.rowCount(), 0);
        m_services->store.saveAppItem(record(QStringLiteral("iterm2"), QStringLiteral("iTerm2"), std::nullopt,
                                             QStringLiteral("开发工具")));
        QCOMPARE(proxy.rowCount(), 1);
        proxy.setOnlyInstalled(false);
        proxy.setSearchText(QStringLiteral("CODE"));
        QCOMPARE(proxy.rowCount(), 1);
        m_services->setLibrary({});
        QCOMPARE(model.rowCount(), 0);
        m_services->store.refreshInstalledStatus(); // no rows: nothing to announce
    }
};

QTEST_MAIN(TestAppListView)
#include "tst_AppListView.moc"
