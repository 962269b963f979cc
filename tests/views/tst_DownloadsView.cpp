#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QThreadPool>

#include "models/ByteFormat.h"
#include "platform/ExtendedAttributes.h"
#include "platform/Platform.h"
#include "services/AppStoreService.h"
#include "services/DownloadManager.h"
#include "services/InstallWorkflow.h"
#include "services/InstallWorkflowRegistry.h"
#include "support/TestFolders.h"
#include "support/TestScreenContext.h"
#include "views/DownloadTaskCard.h"
#include "views/DownloadsView.h"
#include "views/LocalPackageListModel.h"
#include "views/LocalPackageListView.h"
#include "views/components/ActionButton.h"
#include "views/components/LinearProgressBar.h"
#include "views/components/ThemeColor.h"

using Part = LocalPackageDelegate::Part;
using Phase = LocalPackageListModel::InstallPhase;

class tst_DownloadsView : public QObject
{
    Q_OBJECT

private:
    struct Fixture : TestScreenContext
    {
        DownloadManager &downloads = *rig.downloads;
        QString cache() const { return rig.cache(); }
        QString cached(const QString &name) const { return QDir(cache()).filePath(name); }
    };

    std::unique_ptr<DownloadsView> makeView(Fixture &f)
    {
        auto view = std::make_unique<DownloadsView>(f.context);
        new QAbstractItemModelTester(&view->packageModel(), QAbstractItemModelTester::FailureReportingMode::QtTest,
                                     view.get());
        view->resize(1000, 700);
        view->show();
        if (!QTest::qWaitForWindowExposed(view.get()))
            qWarning("window not exposed");
        return view;
    }

    template <typename T = QWidget> static T *child(DownloadsView &view, const char *name)
    {
        return view.findChild<T *>(name);
    }

    static void closeCard(DownloadTaskCard *card)
    {
        QTest::mouseClick(card->findChild<QAbstractButton *>("downloadClose"), Qt::LeftButton);
    }

    static void click(DownloadsView &view, int row, Part part)
    {
        LocalPackageListView &list = view.packageList();
        const QRect rect = list.partRect(row, part);
        QVERIFY(!rect.isEmpty());
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rect.center());
    }

    // Foo.zip in the cache: a real archive holding Foo.app, or a broken file.
    static QString cacheZip(Fixture &f, bool valid)
    {
        if (!valid || !f.rig.cacheZip("Foo.zip", "1.2"))
            TestFolders::writeFile(f.cache(), "Foo.zip", "PK\x03\x04 a damaged archive");
        return f.cached("Foo.zip");
    }

    static QStringList rowNames(DownloadsView &view)
    {
        QStringList names;
        for (const LocalPackage &package : view.packageModel().packages())
            names << package.fileName;
        return names;
    }

    // The summary above the rows counts and sums exactly what the rows show,
    // and the rows are what the manager lists.
    static void checkSummary(DownloadsView &view, Fixture &f)
    {
        const LocalPackageListModel &model = view.packageModel();
        qint64 total = 0;
        for (const LocalPackage &package : model.packages())
            total += package.fileSize;
        QCOMPARE(model.rowCount(), f.downloads.localPackages().size());
        QCOMPARE(child<QLabel>(view, "cacheSummary")->text(),
                 QStringLiteral("已缓存 %1 个文件 · 共占用 %2").arg(model.rowCount()).arg(ByteFormat::fileSize(total)));
        QCOMPARE(child(view, "emptyState")->isVisible(), model.rowCount() == 0);
        QCOMPARE(view.packageList().isVisible(), model.rowCount() > 0);
        QCOMPARE(child(view, "clearAllButton")->isVisible(), model.rowCount() > 0);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
    }

    void emptyScreenRescansWhenShownAgain()
    {
        Fixture f;
        auto view = makeView(f);
        checkSummary(*view, f);
        TestFolders::writeFile(f.cache(), "late.dmg", QByteArray(3000, 'x'));
        QCOMPARE(view->packageModel().rowCount(), 0);
        view->hide();
        view->show();
        QCOMPARE(rowNames(*view), QStringList{"late.dmg"});
        checkSummary(*view, f);
    }

    // The batch count only ever names ticked rows the user can see.
    void tickedRowsDeleteTogetherAndClearAll()
    {
        Fixture f;
        TestFolders::writeFile(f.cache(), "a.dmg", QByteArray(1500, 'x'));
        TestFolders::writeFile(f.cache(), "b.pkg", QByteArray(2000, 'x'));
        TestFolders::writeFile(f.cache(), "c.zip", QByteArray(250000, 'x'));
        TestFolders::writeFile(f.cache(), "d.dmg", "x");
        auto view = makeView(f);
        checkSummary(*view, f);
        auto *batch = child<QAbstractButton>(*view, "batchDeleteButton");
        const QString first = view->packageModel().package(0).filePath;
        const QString last = view->packageModel().package(2).filePath;
        click(*view, 0, Part::toggle);
        QVERIFY(batch->isVisible());
        QCOMPARE(batch->text(), QStringLiteral("批量删除 (1)"));
        click(*view, 2, Part::toggle);
        QCOMPARE(batch->text(), QStringLiteral("批量删除 (2)"));
        // Ticking again unticks.
        click(*view, 1, Part::toggle);
        click(*view, 1, Part::toggle);
        QCOMPARE(view->selectedPackagePaths(), QStringList({first, last}));

        // Deleting asks first, on the row itself.
        click(*view, 2, Part::remove);
        QVERIFY(QFile::exists(last));
        QCOMPARE(view->packageModel().installState(last).phase, Phase::confirmingDelete);
        click(*view, 2, Part::remove);
        QVERIFY(!QFile::exists(last));
        QCOMPARE(batch->text(), QStringLiteral("批量删除 (1)"));
        checkSummary(*view, f);
        QTest::mouseClick(batch, Qt::LeftButton);
        QVERIFY(!QFile::exists(first));
        QCOMPARE(rowNames(*view).size(), 2);
        QVERIFY(!batch->isVisible());
        QVERIFY(view->selectedPackagePaths().isEmpty());
        checkSummary(*view, f);

        click(*view, 0, Part::toggle);
        auto *clear = child<QAbstractButton>(*view, "clearAllButton");
        QTest::mouseClick(clear, Qt::LeftButton);
        QCOMPARE(rowNames(*view).size(), 2);
        QCOMPARE(clear->text(), QStringLiteral("确认清空全部缓存？"));
        QTest::mouseClick(clear, Qt::LeftButton);
        QCOMPARE(TestFolders::entries(f.cache()), QStringList());
        QVERIFY(view->selectedPackagePaths().isEmpty());
        QVERIFY(!batch->isVisible());
        checkSummary(*view, f);
    }

    void completedDownloadFillsBarAndTopsListTogether()
    {
        Fixture f;
        f.rig.server.route("/New.dmg", TestHttpServer::Reply{.body = QByteArray(299'488, 'p') + "koly" + QByteArray(508, 0), .chunkSize = 100'000,
                                                       .chunkIntervalMs = 30});
        TestFolders::writeFile(f.cache(), "Old.dmg", "old");
        auto view = makeView(f);

        // What a paint right after each change would show: both signals of the
        // completion arrive before control returns to the event loop, and the
        // screen must show both by then.
        struct Seen { double bar; QString top, detail; };
        QList<Seen> seen;
        connect(&f.downloads, &DownloadManager::localPackagesChanged, view.get(), [&] {
            const auto cards = view->taskCards();
            seen.append({cards.isEmpty() ? -1 : cards.first()->progress(),
                         view->packageModel().rowCount() ? view->packageModel().package(0).fileName : QString(),
                         cards.isEmpty() ? QString() : cards.first()->detailText()});
        });
        f.downloads.startDownload("new", "New App", "2.0", f.rig.server.url("/New.dmg"));
        QCOMPARE(view->taskCards().size(), 1);
        QCOMPARE(child<QLabel>(*view, "activeTitle")->text(), QStringLiteral("正在下载的任务 (1)"));

        QTRY_VERIFY(!seen.isEmpty());
        QCOMPARE(seen.last().bar, 1.0);
        QCOMPARE(seen.last().top, QStringLiteral("New.dmg"));
        QCOMPARE(seen.last().detail, QStringLiteral("已完成"));
        QCOMPARE(child<QLabel>(*view, "activeTitle")->text(), QStringLiteral("正在下载的任务 (0)"));
        QCOMPARE(rowNames(*view), QStringList({"New.dmg", "Old.dmg"}));
        checkSummary(*view, f);
        // Closing a finished card dismisses it; the package stays.
        closeCard(view->taskCards().first());
        QVERIFY(view->taskCards().isEmpty());
        QVERIFY(!child(*view, "activeSection")->isVisible());
        QCOMPARE(rowNames(*view).size(), 2);
    }

    // A failure after every byte arrived must not look like success.
    void failedCardIsRedAndNotRunning()
    {
        Fixture f;
        f.rig.server.routeBody("/page.dmg", "<html><body>sign in</body></html>", "text/html");
        auto view = makeView(f);
        f.downloads.startDownload("page", "Page", "1", f.rig.server.url("/page.dmg"));
        QTRY_COMPARE(f.downloads.task("page-1")->status.kind, DownloadStatus::Kind::failed);
        DownloadTaskCard *card = view->taskCards().value(0);
        QVERIFY(card && card->detailText().startsWith("下载失败: "));
        QCOMPARE(card->findChild<LinearProgressBar *>("downloadProgress")->fillColor(), ThemeColor::red(card->palette()));
        QCOMPARE(child<QLabel>(*view, "activeTitle")->text(), QStringLiteral("正在下载的任务 (0)"));
    }

    void remainingTime_data()
    {
        QTest::addColumn<qint64>("total"); // below 1: the server gave no length
        QTest::addColumn<qint64>("received");
        QTest::addColumn<qint64>("resumed"); // of received, kept from an earlier try
        QTest::addColumn<QString>("shown");
        // Ten seconds after the start, at the average rate since then.
        QTest::newRow("a third done") << qint64(3'000'000) << qint64(1'000'000) << qint64(0) << "剩余约 20 秒";
        QTest::newRow("hours") << qint64(10'000'000'000) << qint64(1'000'000) << qint64(0) << "剩余约 27 小时 46 分";
        QTest::newRow("length unknown") << qint64(-1) << qint64(1'000'000) << qint64(0) << "";
        QTest::newRow("half kept from before") << qint64(3'000'000) << qint64(2'000'000) << qint64(1'000'000)
                                               << "剩余约 10 秒";
    }

    void remainingTime()
    {
        QFETCH(qint64, total);
        QFETCH(qint64, received);
        QFETCH(qint64, resumed);
        QFETCH(QString, shown);
        const QDateTime now = QDateTime::currentDateTime();
        DownloadTaskItem task{
            .totalBytes = total, .receivedBytes = received, .resumedBytes = resumed, .createdAt = now.addSecs(-10)};
        QCOMPARE(DownloadTaskCard::remainingText(task, now), shown);
    }

    void closingRunningDownloadLeavesNoFailure()
    {
        Fixture f;
        f.rig.routeQuarterThenHold("/big.dmg");
        auto view = makeView(f);
        f.downloads.startDownload("big", "Big", "1", f.rig.server.url("/big.dmg"));
        QTRY_COMPARE(view->taskCards().value(0) ? view->taskCards().first()->progress() : 0, 0.25);
        // The first click only asks: the bytes so far are not thrown away by a slip.
        closeCard(view->taskCards().first());
        QCOMPARE(f.downloads.runningCount(), 1);
        closeCard(view->taskCards().first());
        QVERIFY(view->taskCards().isEmpty());
        QVERIFY(!child(*view, "activeSection")->isVisible());
        QCOMPARE(view->packageModel().rowCount(), 0);
    }

    void installOutcomeStaysOnRow_data()
    {
        QTest::addColumn<bool>("valid");
        QTest::newRow("zip with an application") << true;
        QTest::newRow("broken zip") << false;
    }

    void installOutcomeStaysOnRow()
    {
        QFETCH(bool, valid);
        Fixture f;
        const QString zip = cacheZip(f, valid);
        auto view = makeView(f);
        QSignalSpy finished(view.get(), &DownloadsView::installFinished);
        const QRect row = view->packageList().visualRect(view->packageModel().index(0));
        click(*view, 0, Part::install);
        QCOMPARE(view->packageModel().installState(zip).phase, Phase::installing);
        // A second click while it runs starts nothing.
        click(*view, 0, Part::install);
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished.first(), QVariantList({zip, valid}));

        const LocalPackageListModel::InstallState state = view->packageModel().installState(zip);
        QCOMPARE(state.phase, valid ? Phase::succeeded : Phase::failed);
        QVERIFY2(state.message.startsWith(valid ? "安装成功完成！" : "无法解压 ZIP 文件"), qPrintable(state.message));
        QCOMPARE(f.rig.store->installedAppMap().contains("com.example.foo"), valid);
        QCOMPARE(view->packageModel().index(0).data(LocalPackageListModel::InstallPhaseRole).toInt(), int(state.phase));
        // The outcome line had its room: the row did not grow under the pointer.
        QCOMPARE(view->packageList().visualRect(view->packageModel().index(0)), row);
        // The package stays cached, and the outcome survives a rescan...
        view->hide();
        view->show();
        QCOMPARE(view->packageModel().installState(zip), state);
        QVERIFY(QFile::exists(zip));
        // ...until the user does the next thing with the row.
        click(*view, 0, Part::toggle);
        QCOMPARE(view->packageModel().installState(zip).phase, Phase::idle);
        QCOMPARE(finished.size(), 1);
    }

    // A package downloaded for a record installs the way its card would: a broken one
    // leaves the cache so the next click downloads afresh, a good one teaches the record its bundle.
    void recordsPackageTakesTheRecordsRoad_data()
    {
        QTest::addColumn<bool>("valid");
        QTest::newRow("good") << true;
        QTest::newRow("broken") << false;
    }

    void recordsPackageTakesTheRecordsRoad()
    {
        QFETCH(bool, valid);
        Fixture f;
        const QString zip = cacheZip(f, valid);
        AppItem app;
        app.id = "foo";
        app.name = "Foo Editor";
        app.currentVersion = "1.2";
        QVERIFY(f.rig.store->saveAppItem(app).ok);
        QVERIFY(ExtendedAttributes::write(zip, QStringLiteral("appId"), "foo"));
        f.downloads.refreshLocalPackages();
        auto view = makeView(f);
        QSignalSpy finished(view.get(), &DownloadsView::installFinished);
        click(*view, 0, Part::install);
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished.first(), QVariantList({zip, valid}));
        QCOMPARE(QFile::exists(zip), valid);
        QCOMPARE(f.rig.store->app("foo")->bundleId, valid ? std::optional<QString>("com.example.foo") : std::nullopt);
        if (!valid)
            QVERIFY(f.context.workflows.workflow(app).failure().contains(QStringLiteral("已从缓存中删除")));
    }

    void installFinishesAfterLeavingTheScreen()
    {
        Fixture f;
        cacheZip(f, true);
        auto view = makeView(f);
        click(*view, 0, Part::install);
        view.reset(); // the user switched to another destination
        QTRY_VERIFY(f.rig.store->installedAppMap().contains("com.example.foo"));
        QThreadPool::globalInstance()->waitForDone();
    }

    // Off at first; the choice reaches every install control and the next start.
    void autoInstallSetting()
    {
        Fixture f;
        auto view = makeView(f);
        auto *toggle = child<QCheckBox>(*view, "autoInstallToggle");
        QVERIFY(!toggle->isChecked());
        QTest::mouseClick(toggle, Qt::LeftButton, {}, QPoint(4, toggle->height() / 2));
        QVERIFY(f.context.workflows.installAfterDownload());
        QVERIFY(Platform::openSettings()->value(ActionButton::installAfterDownloadKey()).toBool());
        toggle->setChecked(false); // the shared settings, for the next test
    }

    void revealAndOpenFolderGoToDesktop()
    {
        Fixture f;
        TestFolders::writeFile(f.cache(), "App.dmg", "x");
        auto view = makeView(f);
        click(*view, 0, Part::reveal);
        const QByteArray opened = "open " + f.cache().toUtf8() + "\n";
        QTRY_COMPARE(f.rig.toolLog(), opened);
        QTest::mouseClick(child<QAbstractButton>(*view, "openFolderButton"), Qt::LeftButton);
        QTRY_COMPARE(f.rig.toolLog(), opened + opened);
    }

    void rowsFollowTheTextScale()
    {
        Fixture f;
        TestFolders::writeFile(f.cache(), "a.dmg", "x");
        TestFolders::writeFile(f.cache(), "b.dmg", "x");
        auto view = makeView(f);
        FontScaleManager &scale = FontScaleManager::shared();
        scale.setScale(1.0);
        const int height = view->packageList().height();
        const QRect install = view->packageList().partRect(1, Part::install);
        scale.setScale(FontScaleManager::maxScale);
        QTRY_VERIFY(view->packageList().height() > height);
        QVERIFY(view->packageList().partRect(1, Part::install).height() > install.height());
        // Clicks still land on the parts where the larger rows draw them.
        click(*view, 1, Part::toggle);
        QCOMPARE(view->selectedPackagePaths(), QStringList{view->packageModel().package(1).filePath});
        scale.setScale(FontScaleManager::defaultScale);
        QTRY_COMPARE(view->packageList().height(), height);
    }

private:
};

QTEST_MAIN(tst_DownloadsView)
#include "tst_DownloadsView.moc"
