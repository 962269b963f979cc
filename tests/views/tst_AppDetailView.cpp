#include <QAbstractButton>
#include <QLabel>
#include <QSettings>
#include <QTest>

#include "services/AppStoreService.h"
#include "services/DownloadManager.h"
#include "support/TestScreenContext.h"
#include "support/TestServices.h"
#include "views/AppContext.h"
#include "views/AppDetailView.h"
#include "views/components/ActionButton.h"
#include "views/components/ThemeFont.h"

namespace {

AppItem fooRecord()
{
    AppItem app;
    app.id = "foo";
    app.name = "Foo";
    app.chineseName = "福";
    app.bundleId = "com.example.foo";
    app.category = "开发工具";
    app.summary = "一句话介绍";
    app.description = "详细介绍";
    app.currentVersion = "1.2.3,456";
    app.downloadUrl = "https://example.invalid/foo.dmg";
    return app;
}

struct Screen : TestScreenContext
{
    int backs = 0;

    std::unique_ptr<AppDetailView> open(const AppItem &app)
    {
        auto view = std::make_unique<AppDetailView>(context, app, "返回列表", [this] { ++backs; });
        view->resize(900, 700);
        view->show();
        return view;
    }
};

QStringList texts(const QWidget *widget)
{
    QStringList shown;
    for (const QLabel *label : widget->findChildren<QLabel *>()) {
        if (!label->text().isEmpty() && label->isVisibleTo(widget->window()))
            shown << label->text();
    }
    return shown;
}

// The facts row as "title=value" pairs, left to right.
QStringList facts(const AppDetailView &view)
{
    QStringList pairs;
    const QWidget *row = view.findChild<QWidget *>("factsRow");
    for (const QWidget *column : row->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        const QString title = column->objectName().mid(QStringLiteral("metric:").size());
        pairs << title + "=" + column->findChild<QLabel *>("metricValue")->text();
    }
    return pairs;
}

QAbstractButton *downloadButton(const AppDetailView &view, const QString &version)
{
    for (QAbstractButton *button : view.findChildren<QAbstractButton *>("downloadVersionButton")) {
        if (button->property("version").toString() == version)
            return button;
    }
    return nullptr;
}

} // namespace

class tst_AppDetailView final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void factsFollowTheStatus_data()
    {
        QTest::addColumn<QString>("installedVersion"); // empty: not installed
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("not installed") << QString()
                                       << QStringList{"类别=开发工具", "当前版本=v1.2.3", "来源介质=DMG 磁盘镜像",
                                                      "包标识=com.example.foo"};
        QTest::newRow("up to date") << "1.2.3"
                                    << QStringList{"类别=开发工具", "当前版本=v1.2.3", "来源介质=DMG 磁盘镜像",
                                                   "包标识=com.example.foo"};
        QTest::newRow("outdated") << "1.1,9"
                                  << QStringList{"类别=开发工具", "最新版本=v1.2.3", "本地已装=v1.1",
                                                 "来源介质=DMG 磁盘镜像", "包标识=com.example.foo"};
    }

    void factsFollowTheStatus()
    {
        QFETCH(QString, installedVersion);
        QFETCH(QStringList, expected);
        Screen screen;
        auto view = screen.open(fooRecord());
        if (!installedVersion.isEmpty())
            screen.rig.installFoo(installedVersion); // after opening: the page follows live
        QCOMPARE(facts(*view), expected);
    }

    void sourceMediumAndBundleId_data()
    {
        QTest::addColumn<AppSourceType>("source");
        QTest::addColumn<PackageType>("package");
        QTest::addColumn<QString>("downloadUrl");
        QTest::addColumn<QString>("bundleId");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("brew whatever the package")
            << AppSourceType::brew << PackageType::zip << "https://x.test/a.zip"
            << "" << QStringList{"类别=开发工具", "当前版本=v1.2.3", "来源介质=Homebrew"};
        QTest::newRow("package from the address")
            << AppSourceType::direct << PackageType::unknown << "https://x.test/A.PKG"
            << "com.a" << QStringList{"类别=开发工具", "当前版本=v1.2.3", "来源介质=PKG 安装包", "包标识=com.a"};
    }

    void sourceMediumAndBundleId()
    {
        QFETCH(AppSourceType, source);
        QFETCH(PackageType, package);
        QFETCH(QString, downloadUrl);
        QFETCH(QString, bundleId);
        QFETCH(QStringList, expected);
        Screen screen;
        AppItem app = fooRecord();
        app.sourceType = source;
        app.packageType = package;
        app.downloadUrl = downloadUrl;
        app.bundleId = bundleId;
        QCOMPARE(facts(*screen.open(app)), expected);
    }

    void versionRows()
    {
        Screen screen;
        AppItem app = fooRecord();
        app.versions = QList<AppVersion>{{"1.2.3,456", {}, {}, QString("修复若干问题")},
                                         {"1.1", QString("https://x.test/1.1.dmg")}};
        auto view = screen.open(app);
        const auto rows = view->findChildren<QWidget *>("versionRow");
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0]->property("version").toString(), "1.2.3,456");
        QCOMPARE(texts(rows[0]), (QStringList{"v1.2.3", "构建标识: 1.2.3,456", "修复若干问题"}));
        QVERIFY(rows[0]->findChild<QWidget *>("latestBadge"));
        QCOMPARE(texts(rows[1]), QStringList{"v1.1"});
        QVERIFY(!rows[1]->findChild<QWidget *>("latestBadge"));
        QVERIFY(texts(view.get()).contains("版本历史与切换"));
    }

    void noVersionSectionWithoutVersions_data()
    {
        QTest::addColumn<bool>("emptyList");
        QTest::newRow("absent") << false;
        QTest::newRow("empty") << true;
    }

    void noVersionSectionWithoutVersions()
    {
        QFETCH(bool, emptyList);
        Screen screen;
        AppItem app = fooRecord();
        if (emptyList)
            app.versions = QList<AppVersion>{};
        auto view = screen.open(app);
        QVERIFY(!texts(view.get()).contains("版本历史与切换"));
        QVERIFY(view->findChildren<QWidget *>("versionRow").isEmpty());
    }

    // The record's own address is the current version's package: a row
    // without an address of its own cannot fetch it under its own name.
    void rowWithoutItsOwnAddressIsDisabled()
    {
        Screen screen;
        AppItem app = fooRecord();
        app.versions = QList<AppVersion>{{"1.2.3,456"}, {"1.0"}, {"0.9", QString("https://x.test/0.9.dmg")}};
        auto view = screen.open(app);
        QVERIFY(downloadButton(*view, "1.2.3,456")->isEnabled());
        QVERIFY(downloadButton(*view, "0.9")->isEnabled());
        QAbstractButton *other = downloadButton(*view, "1.0");
        QVERIFY(!other->isEnabled());
        QCOMPARE(other->toolTip(), QString("此版本没有单独的下载地址"));
        QTest::mouseClick(other, Qt::LeftButton);
        QVERIFY(screen.rig.downloads->activeTasks().isEmpty());
    }

    void downloadThisVersionTwiceStartsOneDownload()
    {
        Screen screen;
        screen.rig.routeQuarterThenHold("/foo-1.1.dmg");
        AppItem app = fooRecord();
        app.versions = QList<AppVersion>{{"1.1", screen.rig.server.url("/foo-1.1.dmg").toString()}};
        auto view = screen.open(app);
        QAbstractButton *button = downloadButton(*view, "1.1");
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(screen.rig.server.heldCount(), 1, 10000);
        QTest::mouseClick(button, Qt::LeftButton);
        QTest::qWait(200);
        QCOMPARE(screen.rig.downloads->activeTasks().size(), 1);
        QCOMPARE(screen.rig.downloads->activeTasks().first().id, QString("foo-1.1"));
        QCOMPARE(screen.rig.downloads->activeTasks().first().appName, QString("福"));
        QCOMPARE(screen.rig.server.requests().size(), 1);
        // A download of another version leaves the install control alone.
        QCOMPARE(view->findChild<ActionButton *>()->visibleTexts(), QStringList{"获取"});
        screen.rig.server.closeHeld();
    }

    void savingFlipsToInLibraryLive()
    {
        Screen screen;
        auto view = screen.open(fooRecord());
        auto *save = view->findChild<QAbstractButton *>("saveButton");
        QVERIFY(save->isVisible());
        QVERIFY(!view->findChild<QWidget *>("inLibraryMark")->isVisible());
        QTest::mouseClick(save, Qt::LeftButton);
        QVERIFY(screen.rig.store->app("foo"));
        QVERIFY(!save->isVisible());
        QVERIFY(view->findChild<QWidget *>("inLibraryMark")->isVisible());
        QVERIFY(!view->findChild<QWidget *>("saveFailedMark")->isVisible());
        // Removed elsewhere: the page offers saving again.
        screen.rig.store->removeApp("foo");
        QVERIFY(save->isVisible());
    }

    void headerTextsAndBack()
    {
        Screen screen;
        AppItem app = fooRecord();
        app.homepage = "https://foo.example/";
        auto view = screen.open(app);
        const QStringList shown = texts(view.get());
        for (const char *text : {"福", "Foo", "一句话介绍", "关于此应用", "详细介绍"})
            QVERIFY2(shown.join('|').contains(text), qPrintable(text));
        QVERIFY(view->findChild<QAbstractButton *>("homepageLink"));
        auto *back = view->findChild<QAbstractButton *>("backButton");
        QCOMPARE(back->text(), QString("返回列表"));
        QTest::mouseClick(back, Qt::LeftButton);
        QCOMPARE(screen.backs, 1);
    }

    void homepageLink_data()
    {
        QTest::addColumn<std::optional<QString>>("homepage");
        QTest::addColumn<bool>("linked");
        QTest::newRow("web page") << std::optional<QString>("https://foo.example/path") << true;
        QTest::newRow("absent") << std::optional<QString>() << false;
        QTest::newRow("no scheme") << std::optional<QString>("foo.example") << false;
    }

    void homepageLink()
    {
        QFETCH(std::optional<QString>, homepage);
        QFETCH(bool, linked);
        QCOMPARE(AppDetailView::isLinkableHomepage(homepage), linked);
    }

    void descriptionText_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "  正文\n第二行 \n"
                               << "摘要"
                               << "正文\n第二行";
        QTest::newRow("source note cut") << "正文\n\n来源：Homebrew Cask\n主页"
                                         << "摘要"
                                         << "正文";
        QTest::newRow("single break note") << "正文\n来源：Homebrew Cask"
                                           << "摘要"
                                           << "正文";
        QTest::newRow("only the note") << "\n\n来源：Homebrew Cask"
                                       << "摘要"
                                       << "摘要";
        QTest::newRow("nothing at all") << "\n\n来源：Homebrew Cask"
                                        << ""
                                        << "暂无详细描述";
        QTest::newRow("note without break stays") << "来源：Homebrew Cask"
                                                  << ""
                                                  << "来源：Homebrew Cask";
    }

    void descriptionText()
    {
        QFETCH(QString, description);
        QFETCH(QString, summary);
        QFETCH(QString, expected);
        AppItem app = fooRecord();
        app.description = description;
        app.summary = summary;
        QCOMPARE(AppDetailView::descriptionText(app), expected);
    }
};

QTEST_MAIN(tst_AppDetailView)
#include "tst_AppDetailView.moc"
