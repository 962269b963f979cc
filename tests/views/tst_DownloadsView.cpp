#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include "models/ByteFormat.h"
#include "services/AppStoreService.h"
#include "services/BrewService.h"
#include "services/DownloadManager.h"
#include "services/InstalledDetector.h"
#include "services/InstallerService.h"
#include "services/NginxIndexParser.h"
#include "support/TestFolders.h"
#include "support/TestHttpServer.h"
#include "views/DownloadTaskCard.h"
#include "views/DownloadsView.h"
#include "views/LocalPackageListModel.h"
#include "views/LocalPackageListView.h"
#include "views/components/ThemeFont.h"

using Part = LocalPackageDelegate::Part;
using Phase = LocalPackageListModel::InstallPhase;

// The real services over temporary folders: a cache, an install folder that
// the detector scans, a library, and a desktop whose "open" only logs.
class tst_DownloadsView : public QObject
{
    Q_OBJECT

private:
    struct Fixture
    {
        QTemporaryDir dir;
        QNetworkAccessManager network;
        QSettings settings{QDir(dir.path()).filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
        InstalledDetector detector{{QDir(dir.path()).filePath(QStringLiteral("Applications"))}};
        AppStoreService store{QDir(dir.path()).filePath(QStringLiteral("library")), detector};
        DownloadManager downloads{QDir(dir.path()).filePath(QStringLiteral("cache")), &network};
        InstallerService installer{QDir(dir.path()).filePath(QStringLiteral("Applications")),
                                   QDir(dir.path()).filePath(QStringLiteral("tmp")), DiskImageMounter(), ZipExpander(),
                                   Workspace(loggingDesktop(dir.path()))};
        BrewService brew{QStringLiteral("http://127.0.0.1:9"), {}, &network};
        NginxIndexParser scraper{&network};
        FontScaleManager fonts{&settings};
        AppContext context{store, downloads, installer, brew, scraper, fonts};

        QString cache() const { return downloads.cacheDirectory(); }
        QString cached(const QString &name) const { return QDir(cache()).filePath(name); }
        QString desktopLog() const { return QDir(dir.path()).filePath(QStringLiteral("desktop.log")); }
    };

    static Workspace::Tools loggingDesktop(const QString &dir)
    {
        const QString script = TestFolders::writeScript(
            dir, QStringLiteral("desktop"), "#!/bin/sh\necho \"$*\" >> \"$(dirname \"$0\")/desktop.log\"\n");
        return {{script, {"open", "{target}"}}, {script, {"reveal", "{path}"}}, {script, {"launch", "{path}"}}};
    }

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

    template <typename T = QWidget> static T *child(DownloadsView &view, const QString &name)
    {
        return view.findChild<T *>(name);
    }

    static void click(DownloadsView &view, int row, Part part)
    {
        LocalPackageListView &list = view.packageList();
        const QRect rect = list.partRect(row, part);
        QVERIFY(!rect.isEmpty());
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rect.center());
    }

    // Foo.zip in the cache: a real archive holding Foo.app, or a broken file.
    static void cacheZip(Fixture &f, bool valid);

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
        QCOMPARE(child<QLabel>(view, QStringLiteral("cacheSummary"))->text(),
                 QStringLiteral("已缓存 %1 个文件 · 共占用 %2").arg(model.rowCount()).arg(ByteFormat::fileSize(total)));
        QCOMPARE(child(view, QStringLiteral("emptyState"))->isVisible(), model.rowCount() == 0);
        QCOMPARE(view.packageList().isVisible(), model.rowCount() > 0);
        QCOMPARE(child(view, QStringLiteral("clearAllButton"))->isVisible(), model.rowCount() > 0);
    }

private Q_SLOTS:
    void initTestCase();
    void emptyScreen();
    void batchDeleteOfTwoTickedRows();
    void clearingEmptiesCacheAndSelection();
    void deletingOneRowKeepsCountsTrue();
    void rescanWhenShownAgain();
    void kindSymbols_data();
    void kindSymbols();
    void completedDownloadFillsBarAndTopsListTogether();
    void failedDownloadCardUntilClosed();
    void closingRunningDownloadLeavesNoFailure();
    void installOutcomeStaysOnRow_data();
    void installOutcomeStaysOnRow();
    void installFinishesAfterLeavingTheScreen();
    void revealAndOpenFolderGoToDesktop();
    void rowsFollowTheTextScale();

private:
    QTemporaryDir m_settingsDir;
};

void tst_DownloadsView::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    // The shared text scale stores into the default settings: keep them here.
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
}

void tst_DownloadsView::emptyScreen()
{
    Fixture f;
    auto view = makeView(f);
    QVERIFY(child(*view, QStringLiteral("openFolderButton"))->isVisible());
    QVERIFY(!child(*view, QStringLiteral("batchDeleteButton"))->isVisible());
    QVERIFY(!child(*view, QStringLiteral("clearAllButton"))->isVisible());
    QVERIFY(!child(*view, QStringLiteral("activeSection"))->isVisible());
    QVERIFY(child(*view, QStringLiteral("emptyState"))->isVisible());
    QCOMPARE(child<QLabel>(*view, QStringLiteral("emptyText"))->text(), QStringLiteral("暂无本地缓存的安装包"));
    checkSummary(*view, f);
}

void tst_DownloadsView::batchDeleteOfTwoTickedRows()
{
    Fixture f;
    for (const char *name : {"a.dmg", "b.pkg", "c.zip"})
        TestFolders::writeFile(f.cache(), QString::fromLatin1(name), "package");
    auto view = makeView(f);
    QCOMPARE(view->packageModel().rowCount(), 3);
    auto *batch = child<QAbstractButton>(*view, QStringLiteral("batchDeleteButton"));

    const QString first = view->packageModel().package(0).filePath;
    const QString last = view->packageModel().package(2).filePath;
    const QString kept = view->packageModel().package(1).filePath;
    click(*view, 0, Part::toggle);
    QVERIFY(batch->isVisible());
    QCOMPARE(batch->text(), QStringLiteral("批量删除 (1)"));
    click(*view, 2, Part::toggle);
    QCOMPARE(batch->text(), QStringLiteral("批量删除 (2)"));
    QVERIFY(view->packageModel().index(2).data(LocalPackageListModel::SelectedRole).toBool());
    // Ticking again unticks.
    click(*view, 1, Part::toggle);
    click(*view, 1, Part::toggle);
    QCOMPARE(view->selectedPackagePaths(), QStringList({first, last}));

    QTest::mouseClick(batch, Qt::LeftButton);
    QVERIFY(!QFile::exists(first));
    QVERIFY(!QFile::exists(last));
    QVERIFY(QFile::exists(kept));
    QVERIFY(!batch->isVisible());
    QVERIFY(view->selectedPackagePaths().isEmpty());
    checkSummary(*view, f);
}

void tst_DownloadsView::clearingEmptiesCacheAndSelection()
{
    Fixture f;
    TestFolders::writeFile(f.cache(), QStringLiteral("a.dmg"), QByteArray(2500, 'x'));
    TestFolders::writeFile(f.cache(), QStringLiteral("folder/inside.txt"), "x");
    auto view = makeView(f);
    QCOMPARE(view->packageModel().rowCount(), 2);
    click(*view, 0, Part::toggle);

    QTest::mouseClick(child<QAbstractButton>(*view, QStringLiteral("clearAllButton")), Qt::LeftButton);
    QCOMPARE(QDir(f.cache()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    QVERIFY(view->selectedPackagePaths().isEmpty());
    QVERIFY(!child(*view, QStringLiteral("batchDeleteButton"))->isVisible());
    checkSummary(*view, f);
}

void tst_DownloadsView::deletingOneRowKeepsCountsTrue()
{
    Fixture f;
    TestFolders::writeFile(f.cache(), QStringLiteral("a.dmg"), QByteArray(1500, 'x'));
    TestFolders::writeFile(f.cache(), QStringLiteral("b.dmg"), QByteArray(2000, 'x'));
    TestFolders::writeFile(f.cache(), QStringLiteral("c.dmg"), QByteArray(250000, 'x'));
    auto view = makeView(f);
    checkSummary(*view, f);

    // A ticked row deleted on its own leaves the batch count: the count only
    // ever names rows the user can see.
    const int row = rowNames(*view).indexOf(QStringLiteral("b.dmg"));
    click(*view, row, Part::toggle);
    click(*view, rowNames(*view).indexOf(QStringLiteral("c.dmg")), Part::toggle);
    click(*view, row, Part::remove);
    QVERIFY(!QFile::exists(f.cached(QStringLiteral("b.dmg"))));
    QCOMPARE(rowNames(*view).size(), 2);
    QCOMPARE(child<QAbstractButton>(*view, QStringLiteral("batchDeleteButton"))->text(),
             QStringLiteral("批量删除 (1)"));
    checkSummary(*view, f);
}

void tst_DownloadsView::rescanWhenShownAgain()
{
    Fixture f;
    auto view = makeView(f);
    TestFolders::writeFile(f.cache(), QStringLiteral("late.dmg"), QByteArray(3000, 'x'));
    QCOMPARE(view->packageModel().rowCount(), 0);
    view->hide();
    view->show();
    QCOMPARE(rowNames(*view), QStringList{QStringLiteral("late.dmg")});
    checkSummary(*view, f);
}

void tst_DownloadsView::kindSymbols_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QString>("symbol");
    QTest::newRow("upper-case zip") << "Setup.ZIP" << false << "doc.zipper";
    QTest::newRow("disk image") << "App.dmg" << false << "externaldrive.fill";
    QTest::newRow("installer package") << "Installer.PKG" << false << "cube.box.fill";
    QTest::newRow("zip-like ending only") << "notes.zip.txt" << false << "doc.fill";
    QTest::newRow("folder") << "Folder" << true << "doc.fill";
}

void tst_DownloadsView::kindSymbols()
{
    QFETCH(QString, name);
    QFETCH(bool, folder);
    QFETCH(QString, symbol);
    Fixture f;
    if (folder)
        QVERIFY(QDir(f.cache()).mkdir(name));
    else
        TestFolders::writeFile(f.cache(), name, "x");
    auto view = makeView(f);
    QCOMPARE(view->packageModel().rowCount(), 1);
    QCOMPARE(view->packageModel().index(0).data().toString(), name);
    QCOMPARE(view->packageModel().index(0).data(LocalPackageListModel::SymbolRole).toString(), symbol);
}

void tst_DownloadsView::completedDownloadFillsBarAndTopsListTogether()
{
    Fixture f;
    TestHttpServer server;
    TestHttpServer::Reply reply;
    reply.body = QByteArray(300'000, 'p');
    reply.headers = {{"Content-Type", "application/octet-stream"}};
    reply.chunkSize = 100'000;
    reply.chunkIntervalMs = 30;
    server.route(QStringLiteral("/New.dmg"), reply);
    TestFolders::writeFile(f.cache(), QStringLiteral("Old.dmg"), "old");
    auto view = makeView(f);

    // What a paint right after each change would show: both signals of the
    // completion arrive before control returns to the event loop, and the
    // screen must show both by then.
    struct Seen
    {
        double bar;
        QString top;
        QString detail;
    };
    QList<Seen> seen;
    const auto snapshot = [&] {
        const auto cards = view->taskCards();
        seen.append({cards.isEmpty() ? -1 : cards.first()->progress(),
                     view->packageModel().rowCount() ? view->packageModel().package(0).fileName : QString(),
                     cards.isEmpty() ? QString() : cards.first()->detailText()});
    };
    connect(&f.downloads, &DownloadManager::localPackagesChanged, view.get(), snapshot);

    f.downloads.startDownload(QStringLiteral("new"), QStringLiteral("New App"), QStringLiteral("2.0"),
                              server.url(QStringLiteral("/New.dmg")));
    QCOMPARE(view->taskCards().size(), 1);
    QCOMPARE(view->taskCards().first()->titleText(), QStringLiteral("New App (v2.0)"));
    QCOMPARE(child<QLabel>(*view, QStringLiteral("activeTitle"))->text(), QStringLiteral("正在下载的任务 (1)"));
    QVERIFY(view->taskCards().first()->detailText().contains(QStringLiteral(" / ")));

    QTRY_VERIFY(!seen.isEmpty());
    QCOMPARE(seen.last().bar, 1.0);
    QCOMPARE(seen.last().top, QStringLiteral("New.dmg"));
    QCOMPARE(seen.last().detail, QString()); // a finished card has no second line
    QCOMPARE(rowNames(*view), QStringList({QStringLiteral("New.dmg"), QStringLiteral("Old.dmg")}));
    checkSummary(*view, f);

    // Closing a finished card dismisses it; the package stays.
    QTest::mouseClick(view->taskCards().first()->findChild<QAbstractButton *>(QStringLiteral("downloadClose")),
                      Qt::LeftButton);
    QVERIFY(view->taskCards().isEmpty());
    QVERIFY(!child(*view, QStringLiteral("activeSection"))->isVisible());
    QCOMPARE(rowNames(*view).size(), 2);
}

void tst_DownloadsView::failedDownloadCardUntilClosed()
{
    Fixture f;
    TestHttpServer server;
    server.route(QStringLiteral("/gone.dmg"), TestHttpServer::Reply{404, "no such file", {}});
    auto view = makeView(f);
    f.downloads.startDownload(QStringLiteral("gone"), QStringLiteral("Gone"), QStringLiteral("1"),
                              server.url(QStringLiteral("/gone.dmg")));
    QTRY_VERIFY(!view->taskCards().isEmpty() &&
                view->taskCards().first()->detailText().startsWith(QStringLiteral("下载失败: ")));
    QVERIFY(view->taskCards().first()->detailText().contains(QStringLiteral("404")));
    QCOMPARE(view->packageModel().rowCount(), 0);

    QTest::mouseClick(view->taskCards().first()->findChild<QAbstractButton *>(QStringLiteral("downloadClose")),
                      Qt::LeftButton);
    QVERIFY(f.downloads.activeTasks().isEmpty());
    QVERIFY(view->taskCards().isEmpty());
}

void tst_DownloadsView::closingRunningDownloadLeavesNoFailure()
{
    Fixture f;
    TestHttpServer server;
    TestHttpServer::Reply reply;
    reply.body = QByteArray(1000, 'p');
    reply.contentLength = 1'000'000;
    reply.hold = true;
    server.route(QStringLiteral("/big.dmg"), reply);
    auto view = makeView(f);
    f.downloads.startDownload(QStringLiteral("big"), QStringLiteral("Big"), QStringLiteral("1"),
                              server.url(QStringLiteral("/big.dmg")));
    QTRY_COMPARE(f.downloads.activeTasks().value(0).receivedBytes, 1000);
    QCOMPARE(view->taskCards().size(), 1);
    DownloadTaskCard *card = view->taskCards().first();
    QTRY_VERIFY(card->progress() > 0 && card->progress() < 1);

    QTest::mouseClick(card->findChild<QAbstractButton *>(QStringLiteral("downloadClose")), Qt::LeftButton);
    QVERIFY(view->taskCards().isEmpty());
    server.closeHeld();
    // Let the aborted transfer and the closed connection report whatever they will.
    QTest::qWait(300);
    QVERIFY(view->taskCards().isEmpty());
    QVERIFY(f.downloads.activeTasks().isEmpty());
    QVERIFY(!child(*view, QStringLiteral("activeSection"))->isVisible());
    QCOMPARE(view->packageModel().rowCount(), 0);
}

void tst_DownloadsView::installOutcomeStaysOnRow_data()
{
    QTest::addColumn<bool>("valid");
    QTest::newRow("zip with an application") << true;
    QTest::newRow("broken zip") << false;
}

void tst_DownloadsView::cacheZip(Fixture &f, bool valid)
{
    const QString zip = f.cached(QStringLiteral("Foo.zip"));
    if (!valid) {
        TestFolders::writeFile(f.cache(), QStringLiteral("Foo.zip"), "this is not an archive");
        return;
    }
    const QString staging = QDir(f.dir.path()).filePath(QStringLiteral("staging"));
    TestFolders::makeBundle(staging, QStringLiteral("Foo"), QStringLiteral("com.example.Foo"), QStringLiteral("1.2"));
    QCOMPARE(QProcess::execute(QStringLiteral("bsdtar"), {QStringLiteral("-a"), QStringLiteral("-cf"), zip,
                                                          QStringLiteral("-C"), staging, QStringLiteral("Foo.app")}),
             0);
}

void tst_DownloadsView::installOutcomeStaysOnRow()
{
    QFETCH(bool, valid);
    Fixture f;
    const QString zip = f.cached(QStringLiteral("Foo.zip"));
    cacheZip(f, valid);
    auto view = makeView(f);
    QCOMPARE(view->packageModel().rowCount(), 1);
    QVERIFY(!f.store.installedAppMap().contains(QStringLiteral("com.example.foo")));

    QSignalSpy finished(view.get(), &DownloadsView::installFinished);
    click(*view, 0, Part::install);
    QCOMPARE(view->packageModel().installState(zip).phase, Phase::installing);
    // A second click while it runs starts nothing.
    click(*view, 0, Part::install);
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.first().at(0).toString(), zip);
    QCOMPARE(finished.first().at(1).toBool(), valid);

    const LocalPackageListModel::InstallState state = view->packageModel().installState(zip);
    if (valid) {
        QCOMPARE(state.phase, Phase::succeeded);
        QCOMPARE(state.message, QStringLiteral("安装成功完成！"));
        QVERIFY(f.store.installedAppMap().contains(QStringLiteral("com.example.foo")));
    } else {
        QCOMPARE(state.phase, Phase::failed);
        QVERIFY2(state.message.startsWith(QStringLiteral("安装执行失败：")), qPrintable(state.message));
    }
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

void tst_DownloadsView::installFinishesAfterLeavingTheScreen()
{
    Fixture f;
    cacheZip(f, true);
    auto view = makeView(f);
    click(*view, 0, Part::install);
    view.reset(); // the user switched to another destination
    QTRY_VERIFY(f.store.installedAppMap().contains(QStringLiteral("com.example.foo")));
    QThreadPool::globalInstance()->waitForDone();
}

void tst_DownloadsView::revealAndOpenFolderGoToDesktop()
{
    Fixture f;
    const QString package = TestFolders::writeFile(f.cache(), QStringLiteral("App.dmg"), "x");
    auto view = makeView(f);
    click(*view, 0, Part::reveal);
    QTRY_COMPARE(TestFolders::readFile(f.desktopLog()), QByteArray("reveal " + package.toUtf8() + "\n"));
    QTest::mouseClick(child<QAbstractButton>(*view, QStringLiteral("openFolderButton")), Qt::LeftButton);
    QTRY_VERIFY(TestFolders::readFile(f.desktopLog()).endsWith("open " + f.cache().toUtf8() + "\n"));
}

void tst_DownloadsView::rowsFollowTheTextScale()
{
    Fixture f;
    TestFolders::writeFile(f.cache(), QStringLiteral("a.dmg"), "x");
    TestFolders::writeFile(f.cache(), QStringLiteral("b.dmg"), "x");
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

QTEST_MAIN(tst_DownloadsView)
#include "tst_DownloadsView.moc"
