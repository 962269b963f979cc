#include <QAbstractButton>
#include <QLabel>
#include <QScrollArea>
#include <QTest>

#include "services/AppStoreService.h"
#include "services/DownloadManager.h"
#include "support/TestScreenContext.h"
#include "views/AppDetailView.h"
#include "views/components/ActionButton.h"
#include "views/components/MessageLine.h"
#include "support/TestFolders.h"
#include <QCheckBox>
#include <QDir>

namespace {

AppItem fooRecord()
{
    return {.id = "foo", .name = "Foo", .chineseName = "福", .bundleId = "com.example.foo", .category = "开发工具",
            .summary = "一句话介绍", .description = "详细介绍", .currentVersion = "1.2.3,456",
            .downloadUrl = "https://example.invalid/foo.dmg"};
}

struct Screen : TestScreenContext
{
    int backs = 0;
    std::unique_ptr<AppDetailView> open(const AppItem &app)
    {
        auto view = std::make_unique<AppDetailView>(context, app, "返回列表", [this] { ++backs; });
        view->show();
        return view;
    }
};

QStringList texts(const QWidget *widget)
{
    QStringList shown;
    for (const QLabel *label : widget->findChildren<QLabel *>())
        if (!label->text().isEmpty() && label->isVisibleTo(widget->window()))
            shown << label->text();
    return shown;
}

// The facts row as "title=value" pairs, left to right.
QStringList facts(const AppDetailView &view)
{
    QStringList pairs;
    const QWidget *row = view.findChild<QWidget *>("factsRow");
    for (const QWidget *column : row->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        pairs << column->objectName().mid(QStringLiteral("metric:").size()) + "=" +
                     column->findChild<QLabel *>("metricValue")->text();
    return pairs;
}

QAbstractButton *downloadButton(const AppDetailView &view, const QString &version)
{
    for (QAbstractButton *button : view.findChildren<QAbstractButton *>("downloadVersionButton"))
        if (button->property("version").toString() == version)
            return button;
    return nullptr;
}

} // namespace

class tst_AppDetailView final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void facts_data()
    {
        QTest::addColumn<AppItem>("app");
        QTest::addColumn<QString>("installedVersion"); // empty: not installed
        QTest::addColumn<QStringList>("expected");
        const AppItem foo = fooRecord();
        const QStringList now{"类别=开发工具", "当前版本=v1.2.3", "来源介质=DMG 磁盘镜像", "包标识=com.example.foo"};
        QTest::newRow("not installed") << foo << QString() << now;
        QTest::newRow("up to date") << foo << "1.2.3" << now;
        QTest::newRow("outdated") << foo << "1.1,9"
                                  << QStringList{"类别=开发工具", "最新版本=v1.2.3", "本地已装=v1.1",
                                                 "来源介质=DMG 磁盘镜像", "包标识=com.example.foo"};
        AppItem brew = foo;
        brew.sourceType = AppSourceType::brew;
        brew.packageType = PackageType::zip;
        brew.bundleId = QString();
        QTest::newRow("brew whatever the package")
            << brew << QString() << QStringList{"类别=开发工具", "当前版本=v1.2.3", "来源介质=Homebrew"};
    }
    void facts()
    {
        QFETCH(AppItem, app);
        QFETCH(QString, installedVersion);
        QFETCH(QStringList, expected);
        Screen screen;
        auto view = screen.open(app);
        if (!installedVersion.isEmpty())
            screen.rig.installFoo(installedVersion); // after opening: the page follows live
        QCOMPARE(::facts(*view), expected);
    }

    // A bundle id longer than the window is wide gives way: nothing leaves the
    // page, the whole id shows on hover.
    void longFactsStayInsideThePage()
    {
        Screen screen;
        AppItem app = fooRecord();
        app.bundleId = "com.example." + QString("verylongcomponent.").repeated(12) + "foo";
        auto view = screen.open(app);
        view->resize(560, 600);
        QTRY_VERIFY(view->findChild<QScrollArea *>()->widget()->width() <= view->width());
        QLabel *id = view->findChildren<QLabel *>("metricValue").last();
        QCOMPARE(id->text(), *app.bundleId);
        const QRect shown(id->mapTo(view.get(), QPoint()), id->size());
        QVERIFY2(view->rect().contains(shown), qPrintable(QString::number(shown.right())));
        QCOMPARE(id->toolTip(), *app.bundleId);
    }

    // The record's own address is the current version's package: an older
    // row without an address of its own cannot fetch it under its own name.
    void versionRowsAndTheirDownloads()
    {
        Screen screen;
        screen.rig.routeQuarterThenHold("/foo-1.1.dmg");
        AppItem app = fooRecord();
        app.versions = QList<AppVersion>{{"1.2.3,456", {}, {}, QString("修复若干问题")},
                                         {"1.1", screen.rig.server.url("/foo-1.1.dmg").toString()}, {"1.0"}};
        auto view = screen.open(app);
        const auto rows = view->findChildren<QWidget *>("versionRow");
        QCOMPARE(rows.size(), 3);
        QCOMPARE(texts(rows[0]), (QStringList{"v1.2.3", "构建标识: 1.2.3,456", "修复若干问题"}));
        QCOMPARE(texts(rows[1]), QStringList{"v1.1"});
        QVERIFY(rows[0]->findChild<QWidget *>("latestBadge") && !rows[1]->findChild<QWidget *>("latestBadge"));
        QVERIFY(texts(view.get()).contains("版本历史与切换"));
        QVERIFY(downloadButton(*view, "1.2.3,456")->isEnabled());
        QAbstractButton *other = downloadButton(*view, "1.0");
        QVERIFY(!other->isEnabled());
        QTest::mouseClick(other, Qt::LeftButton);
        QVERIFY(screen.rig.downloads->activeTasks().isEmpty());

        // Twice on one version: one download.
        QAbstractButton *button = downloadButton(*view, "1.1");
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(screen.rig.server.heldCount(), 1, 10000);
        QTest::mouseClick(button, Qt::LeftButton);
        QTest::qWait(200);
        const auto tasks = screen.rig.downloads->activeTasks();
        QCOMPARE(tasks.size(), 1);
        QCOMPARE(tasks.first().id, "foo-1.1");
        QCOMPARE(tasks.first().appName, "福");
        QCOMPARE(screen.rig.server.requests().size(), 1);
        // A download of another version leaves the install control alone.
        QCOMPARE(view->findChild<ActionButton *>()->visibleTexts(), QStringList{"获取"});
        screen.rig.server.closeHeld();

        // Neither an absent nor an empty list shows the section.
        for (const auto &versions : {std::optional<QList<AppVersion>>(), std::optional(QList<AppVersion>())}) {
            app.versions = versions;
            view = screen.open(app);
            QVERIFY(!texts(view.get()).contains("版本历史与切换"));
            QVERIFY(view->findChildren<QWidget *>("versionRow").isEmpty());
        }
    }

    // Thousands of versions come a page at a time, newest first.
    void longVersionListShowsAPageAtATime()
    {
        Screen screen;
        AppItem app = fooRecord();
        const int page = AppDetailView::versionPageSize, total = 2 * page + 5;
        app.versions.emplace();
        for (int i = total; i > 0; --i)
            app.versions->append({QString("1.%1").arg(i)});
        auto view = screen.open(app);
        auto *more = view->findChild<QAbstractButton *>("moreVersionsButton");
        for (const int shown : {page, 2 * page, total}) {
            const auto rows = view->findChildren<QWidget *>("versionRow");
            QCOMPARE(rows.size(), shown);
            QCOMPARE(rows.last()->property("version").toString(), QString("1.%1").arg(total - shown + 1));
            if (more->isVisibleTo(view.get()))
                QTest::mouseClick(more, Qt::LeftButton);
        }
        QVERIFY(!more->isVisibleTo(view.get()));
    }

    void headerSaveAndBack()
    {
        Screen screen;
        AppItem app = fooRecord();
        app.homepage = "https://foo.example/";
        auto view = screen.open(app);
        const QString shown = texts(view.get()).join('|');
        for (const char *text : {"福", "Foo", "一句话介绍", "详细介绍"})
            QVERIFY2(shown.contains(text), qPrintable(text));
        QVERIFY(view->findChild<QAbstractButton *>("homepageLink"));

        // Saving flips to the in-library mark live, and back when removed elsewhere.
        auto *save = view->findChild<QAbstractButton *>("saveButton");
        QWidget *mark = view->findChild<QWidget *>("inLibraryMark");
        QVERIFY(save->isVisible() && !mark->isVisible());
        QTest::mouseClick(save, Qt::LeftButton);
        QCOMPARE(screen.rig.store->app("foo").value_or(AppItem()), app);
        QVERIFY(!save->isVisible() && mark->isVisible());
        QVERIFY(!view->findChild<QWidget *>("saveFailedMark")->isVisible());
        screen.rig.store->removeApp("foo");
        QVERIFY(save->isVisible());

        auto *back = view->findChild<QAbstractButton *>("backButton");
        QCOMPARE(back->text(), "返回列表");
        QTest::mouseClick(back, Qt::LeftButton);
        QCOMPARE(screen.backs, 1);
    }

    // Uninstalling asks inline first, offers the cask's leftovers, and moves what was chosen to the Trash.
    void uninstallConfirmsInline()
    {
        Screen screen;
        screen.rig.installFoo("1.0");
        const QString leftover = TestFolders::writeFile(screen.rig.root.filePath("Library"), "Foo/state", "s");
        TestFolders::writeFile(screen.rig.caskroom(), "foo/.metadata/1.0/1/Casks/foo.json",
                               QStringLiteral(R"({"artifacts":[{"zap":[{"trash":["%1"]}]}]})").arg(leftover).toUtf8());
        AppItem app = fooRecord();
        app.brewName = "foo";
        const auto view = screen.open(app);
        auto *start = view->findChild<QAbstractButton *>("uninstallButton");
        auto *confirmation = view->findChild<QWidget *>("uninstallConfirmation");
        // Clicked once laid out, as the user sees it.
        const auto click = [&](const char *name) {
            auto *button = view->findChild<QAbstractButton *>(name);
            return QTest::qWaitFor([&] { return button->height() > 0; }) && (QTest::mouseClick(button, Qt::LeftButton), true);
        };
        QVERIFY(click("uninstallButton") && confirmation->isVisible() && !start->isVisible());
        QVERIFY(click("cancelUninstallButton") && !confirmation->isVisible());
        QVERIFY(QFileInfo::exists(screen.rig.apps() + "/Foo.app"));

        view->askToUninstall();
        QTRY_VERIFY(view->findChild<QCheckBox *>("leftoverBox"));
        view->findChild<QCheckBox *>("leftoverBox")->setChecked(true);
        QVERIFY(click("confirmUninstallButton"));
        auto *result = view->findChild<MessageLine *>("uninstallResult");
        QTRY_VERIFY_WITH_TIMEOUT(result->isVisible(), 10000);
        QCOMPARE(result->text(), "已卸载「福」");
        QVERIFY(!QFileInfo::exists(screen.rig.apps() + "/Foo.app") && !QFileInfo::exists(leftover) && !start->isVisible());
    }

    void descriptionText_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "  正文\n第二行 \n" << "摘要" << "正文\n第二行";
        QTest::newRow("source note cut") << "正文\n\n来源：Homebrew Cask\n主页" << "摘要" << "正文";
        QTest::newRow("single break note") << "正文\n来源：Homebrew Cask" << "摘要" << "正文";
        QTest::newRow("only the note") << "\n\n来源：Homebrew Cask" << "摘要" << "摘要";
        QTest::newRow("nothing at all") << "\n\n来源：Homebrew Cask" << "" << "暂无详细描述";
        QTest::newRow("note without break stays") << "来源：Homebrew Cask" << "" << "来源：Homebrew Cask";
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
