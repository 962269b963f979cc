#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>
#include <QtTest>

#include "services/AppStoreService.h"
#include "services/DownloadManager.h"
#include "services/InstallWorkflowRegistry.h"
#include "support/TestFolders.h"
#include "support/TestRecords.h"
#include "support/TestScreenContext.h"
#include "views/AppListFilterProxy.h"
#include "views/AppListModel.h"
#include "views/AppListView.h"
#include "views/components/AppCardDelegate.h"
#include "views/components/ChipButton.h"
#include "views/components/InstallControlPainter.h"
#include "views/components/SymbolButton.h"

namespace {

AppItem record(const QString &id, const QString &name, std::optional<QString> chinese, const QString &category,
               const QString &summary = "摘要")
{
    return {.id = id, .name = name, .chineseName = chinese, .bundleId = "com.example." + id, .category = category,
            .summary = summary, .description = "描述", .currentVersion = "2.0",
            .downloadUrl = QStringLiteral("http://127.0.0.1:9/%1.dmg").arg(id), .packageType = PackageType::dmg};
}

QList<AppItem> library()
{
    return {record("google-chrome", "Google Chrome", "谷歌浏览器", "网络浏览器", "快速浏览器"),
            record("vscode", "Code", std::nullopt, "开发工具", "editor"),
            record("iterm2", "iTerm2", "终端", "开发工具", "a terminal"),
            record("wechat", "WeChat", "微信", "通讯社交", "聊天")};
}

} // namespace

class TestAppListView final : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestScreenContext> m_services;

    void setLibrary(const QList<AppItem> &apps)
    {
        TestFolders::writeFile(m_services->rig.root.filePath("library"), "apps.json", AppItem::listToJson(apps));
        store().loadApps();
    }
    void install(const QString &id, const QString &version)
    {
        TestFolders::makeBundle(m_services->rig.apps(), id, "com.example." + id, version);
        store().refreshInstalledStatus();
    }
    AppStoreService &store() const { return *m_services->rig.store; }
    static QStringList ids(const QList<AppItem> &apps) { return TestRecords::ids(apps); }
    static QStringList visibleTexts(const QWidget *widget)
    {
        QStringList texts;
        for (const QLabel *label : widget->findChildren<QLabel *>())
            if (label->isVisibleTo(widget->window()) && !label->text().isEmpty())
                texts << label->text();
        return texts;
    }
    static QPoint centre(QListView *l, int row) { return l->visualRect(l->model()->index(row, 0)).center(); }

    std::unique_ptr<AppListView> makeView(bool installedOnly)
    {
        auto view = std::make_unique<AppListView>(m_services->context, installedOnly);
        view->resize(900, 640);
        view->show();
        return view;
    }

private Q_SLOTS:
    void init()
    {
        m_services = std::make_unique<TestScreenContext>();
        setLibrary(library());
    }
    void cleanup()
    {
        m_services.reset();
        FontScaleManager::shared().setScale(FontScaleManager::defaultScale);
    }

    // Ordering and matching belong to the catalog filter's tests; here the screen follows the store.
    void chipsFollowTheLibrary()
    {
        setLibrary({});
        auto view = makeView(false);
        QCOMPARE(view->categories(), QStringList{"全部"});
        QVERIFY(view->chip("全部")->isChecked());
        QVERIFY(view->isShowingEmptyState());
        QVERIFY(visibleTexts(view.get()).contains("未找到匹配的应用程序"));

        store().saveAppItem(record("iina", "IINA", std::nullopt, "影音视听"));
        QCOMPARE(view->categories(), QStringList({"全部", "影音视听"}));
        QTRY_VERIFY(view->chip("影音视听") && view->chip("影音视听")->isVisible()); // layouts show new children later
        QVERIFY(!view->isShowingEmptyState());
        QCOMPARE(ids(view->filteredApps()), QStringList{"iina"});
    }

    void installedList()
    {
        install("vscode", "1.0"); // older: update available
        install("wechat", "2.0"); // current
        auto view = makeView(true);
        QCOMPARE(ids(view->filteredApps()), QStringList({"vscode", "wechat"}));

        // Installed behind the screen's back: shown after the rescan button.
        TestFolders::makeBundle(m_services->rig.apps(), "iterm2", "com.example.iterm2", "2.0");
        QCOMPARE(view->filteredApps().size(), 2);
        QTest::mouseClick(view->refreshButton(), Qt::LeftButton);
        QCOMPARE(ids(view->filteredApps()), QStringList({"vscode", "iterm2", "wechat"}));

        // Everything removed: the installed list's own empty state.
        QDir(m_services->rig.apps()).removeRecursively();
        view->refreshInstalled();
        QVERIFY(view->isShowingEmptyState());
        QVERIFY(visibleTexts(view.get()).contains("未检测到已安装的关联应用"));
    }

    void hoverThenClickOpensDetailAndBackKeepsTheFilter()
    {
        auto view = makeView(false);
        QTest::mouseClick(view->chip("开发工具"), Qt::LeftButton);
        QTest::keyClicks(view->searchField(), "i");
        QListView *list = view->listView();
        AppCardDelegate *cards = view->cardDelegate();
        QTest::mouseMove(list->viewport(), centre(list, 1));
        QTRY_COMPARE(cards->hoveredAppId(), "iterm2");

        // A click on the divider gap below the first card opens nothing.
        const QRect first = list->visualRect(list->model()->index(0, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(first.center().x(), first.bottom() - 2));
        QVERIFY(!view->selectedApp());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre(list, 1));
        QCOMPARE(view->selectedApp().value_or(AppItem()).id, "iterm2");
        QVERIFY(view->detailView() && view->detailView()->isVisible());
        QVERIFY(!list->isVisible());

        QTest::mouseClick(view->detailView()->findChild<QAbstractButton *>("backButton"), Qt::LeftButton);
        QVERIFY(!view->selectedApp());
        QVERIFY(list->isVisible());
        QVERIFY(view->chip("开发工具")->isChecked());
        QCOMPARE(view->searchField()->text(), "i");
        QCOMPARE(ids(view->filteredApps()), QStringList({"vscode", "iterm2"}));
    }

    // From the keyboard alone: Tab walks only what can be seen and named, from
    // the search box to the cards; arrows move between cards, Space presses
    // the card's button, Return opens the card.
    void keyboardAlone()
    {
        auto view = makeView(false);
        QApplication::setActiveWindow(view.get());
        QVERIFY(QTest::qWaitForWindowActive(view.get()));
        view->searchField()->setFocus();
        QListView *list = view->listView();
        for (int tab = 0; tab < 12 && !list->hasFocus(); ++tab) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *at = QApplication::focusWidget();
            QVERIFY2(at && at->isVisible(), at ? at->metaObject()->className() : "nothing");
            const auto *button = qobject_cast<QAbstractButton *>(at);
            QVERIFY2(at == list || !at->accessibleName().isEmpty() || (button && !button->text().isEmpty()),
                     at->metaObject()->className());
        }
        QVERIFY(list->hasFocus());
        QCOMPARE(list->currentIndex().row(), 0);
        QTest::keyClick(list, Qt::Key_Down);
        const QString second = ids(view->filteredApps()).at(1);
        QCOMPARE(list->currentIndex().row(), 1);
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(m_services->rig.downloads->activeTasks().value(0).appId, second);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(view->selectedApp().value_or(AppItem()).id, second);
    }

    void installControlInsideACard_data()
    {
        QTest::addColumn<QString>("installedVersion");
        QTest::addColumn<QStringList>("pills");
        QTest::newRow("获取 downloads") << QString() << QStringList{"获取"};
        QTest::newRow("更新 downloads") << "0.5" << QStringList{"更新", "打开"};
    }
    void installControlInsideACard()
    {
        QFETCH(QString, installedVersion);
        QFETCH(QStringList, pills);
        TestServices &rig = m_services->rig;
        rig.routeQuarterThenHold("/foo-2.0.zip");
        AppItem foo = record("foo", "Foo", std::nullopt, "开发工具");
        foo.downloadUrl = rig.server.url("/foo-2.0.zip").toString();
        setLibrary({library().first(), foo});
        if (!installedVersion.isEmpty())
            rig.installFoo(installedVersion);

        auto view = makeView(false);
        QListView *list = view->listView();
        const QModelIndex row = list->model()->index(1, 0);
        const auto shownPills = [&row] {
            return InstallControlPainter::texts(row.data(AppListModel::InstallStateRole).value<InstallControlState>());
        };
        QCOMPARE(shownPills(), pills);
        QSignalSpy repainted(list->model(), &QAbstractItemModel::dataChanged);

        const QRectF pill = view->cardDelegate()->actionRect(row, InstallControlPainter::Action::install);
        QVERIFY(!pill.isEmpty() && view->cardDelegate()->layout(row).card.contains(pill));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, pill.center().toPoint());
        QVERIFY2(!view->selectedApp(), "a click on the control does not open the detail page");

        // The card follows the download live: its ring stops at 25 %.
        QTRY_COMPARE_WITH_TIMEOUT(shownPills(), QStringList{"25%"}, 10000);
        QVERIFY(std::any_of(repainted.cbegin(), repainted.cend(),
                            [](const QList<QVariant> &args) { return args.at(0).toModelIndex().row() == 1; }));
        QCOMPARE(rig.downloads->activeTasks().size(), 1);
        rig.server.closeHeld();
    }

    void modelsFollowTheStore()
    {
        AppListModel model(*m_services->rig.registry);
        AppListFilterProxy proxy(model);
        proxy.setOnlyInstalled(true);
        QAbstractItemModelTester modelTester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester proxyTester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

        QCOMPARE(proxy.rowCount(), 0);
        install("iterm2", "1.0");
        QCOMPARE(changed.size(), 1);
        QCOMPARE(proxy.rowCount(), 1);
        QCOMPARE(proxy.index(0, 0).data(AppListModel::IdRole).toString(), "iterm2");
        QCOMPARE(proxy.index(0, 0).data(AppListModel::StatusRole).value<AppInstallStatus>().kind,
                 AppInstallStatus::Kind::updateAvailable);

        store().removeApp("iterm2");
        QCOMPARE(model.rowCount(), library().size() - 1);
        QCOMPARE(proxy.rowCount(), 0);
        store().saveAppItem(record("iterm2", "iTerm2", std::nullopt, "开发工具"));
        QCOMPARE(proxy.rowCount(), 1);
        setLibrary({});
        QCOMPARE(model.rowCount(), 0);
        store().refreshInstalledStatus(); // no rows: nothing to announce
    }
};

QTEST_MAIN(TestAppListView)
#include "tst_AppListView.moc"
