#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QDir>
#include <QLabel>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QThreadPool>

#include "models/ByteFormat.h"
#include "services/AppStoreService.h"
#include "services/DownloadManager.h"
#include "support/TestFolders.h"
#include "support/TestScreenContext.h"
#include "views/DownloadTaskCard.h"
#include "views/DownloadsView.h"
#include "views/LocalPackageListModel.h"
#include "views/LocalPackageListView.h"

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
            TestFolders::writeFile(f.cache(), "Foo.zip", "this is not an archive");
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
        // The shared text scale stores into the default settings: keep them here.
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
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
        QTest::mouseClick(child<QAbstractButton>(*view, "clearAllButton"), Qt::LeftButton);
        QCOMPARE(QDir(f.cache()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
        QVERIFY(view->selectedPackagePaths().isEmpty());
        QVERIFY(!batch->isVisible());
        checkSummary(*view, f);
    }

    void kindSymbols_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("symbol");
        QTest::newRow("upper-case zip") << "Setup.ZIP" << "doc.zipper";
        QTest::newRow("disk image") << "App.dmg" << "externaldrive.fill";
        QTest::newRow("installer package") << "Installer.PKG" << "cube.box.fill";
        QTest::newRow("zip-like ending only") << "notes.zip.txt" << "doc.fill";
    }

    void kindSymbols()
    {
        QFETCH(QString, name);
        QFETCH(QString, symbol);
        Fixture f;
        TestFolders::writeFile(f.cache(), name, "x");
        auto view = makeView(f);
        QCOMPARE(view->packageModel().rowCount(), 1);
        QCOMPARE(view->packageModel().index(0).data().toString(), name);
        QCOMPARE(view->packageModel().index(0).data(LocalPackageListModel::SymbolRole).toString(), symbol);
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
        QCOMPARE(seen.last().detail, QString()); // a finished card has no second line
        QCOMPARE(rowNames(*view), QStringList({"New.dmg", "Old.dmg"}));
        checkSummary(*view, f);
        // Closing a finished card dismisses it; the package stays.
        closeCard(view->taskCards().first());
        QVERIFY(view->taskCards().isEmpty());
        QVERIFY(!child(*view, "activeSection")->isVisible());
        QCOMPARE(rowNames(*view).size(), 2);
    }

    void closingRunningDownloadLeavesNoFailure()
    {
        Fixture f;
        f.rig.routeQuarterThenHold("/big.dmg");
        auto view = makeView(f);
        f.downloads.startDownload("big", "Big", "1", f.rig.server.url("/big.dmg"));
        QTRY_COMPARE(view->taskCards().value(0) ? view->taskCards().first()->progress() : 0, 0.25);
        closeCard(view->taskCards().first());
        QVERIFY(view->taskCards().isEmpty());
        f.rig.server.closeHeld();
        // Let the aborted transfer and the closed connection report whatever they will.
        QTest::qWait(300);
        QVERIFY(view->taskCards().isEmpty());
        QVERIFY(f.downloads.activeTasks().isEmpty());
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
        click(*view, 0, Part::install);
        QCOMPARE(view->packageModel().installState(zip).phase, Phase::installing);
        // A second click while it runs starts nothing.
        click(*view, 0, Part::install);
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished.first(), QVariantList({zip, valid}));

        const LocalPackageListModel::InstallState state = view->packageModel().installState(zip);
        QCOMPARE(state.phase, valid ? Phase::succeeded : Phase::failed);
        QVERIFY2(state.message.startsWith(valid ? "安装成功完成！" : "安装执行失败："), qPrintable(state.message));
        QCOMPARE(f.rig.store->installedAppMap().contains("com.example.foo"), valid);
        QCOMPARE(view->packageModel().index(0).data(LocalPackageListModel::InstallPhaseRole).toInt(), int(state.phase));
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
    QTemporaryDir m_settingsDir;
};

QTEST_MAIN(tst_DownloadsView)
#include "tst_DownloadsView.moc"
