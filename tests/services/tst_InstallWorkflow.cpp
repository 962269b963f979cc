#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <memory>

#include "services/AppStoreService.h"
#include "services/DownloadManager.h"
#include "services/InstallWorkflow.h"
#include "services/InstallWorkflowRegistry.h"
#include "support/TestFolders.h"
#include "support/TestHttpServer.h"
#include "support/TestServices.h"

using Step = InstallWorkflow::DirectStep;

namespace {

AppItem fooRecord(AppSourceType source, const std::optional<QString> &downloadUrl)
{
    AppItem app;
    app.id = app.name = "foo";
    app.bundleId = "com.example.foo";
    app.appFilename = "Foo.app";
    app.sourceType = source;
    app.currentVersion = "1.0";
    app.downloadUrl = downloadUrl;
    return app;
}

} // namespace

class tst_InstallWorkflow final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void brewRecordChoosesItsRoad_data()
    {
        QTest::addColumn<std::optional<QString>>("brewName");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QByteArray>("brewArguments");

        const std::optional<QString> none;
        QTest::newRow("brewName") << std::optional<QString>("foo-cask") << "foo"
                                  << QByteArray("brew install --cask foo-cask\n");
        QTest::newRow("id as token") << none << "foo" << QByteArray("brew install --cask foo\n");
        // An empty brewName still goes to brew, which refuses it without running.
        QTest::newRow("empty brewName") << std::optional<QString>("") << "foo" << QByteArray();
        QTest::newRow("no token at all") << none << "" << QByteArray();
    }

    // brew fails (or cannot run): the package is downloaded instead, and the
    // failure shows nowhere in the window.
    void brewRecordChoosesItsRoad()
    {
        QFETCH(std::optional<QString>, brewName);
        QFETCH(QString, id);
        QFETCH(QByteArray, brewArguments);

        TestServices rig;
        rig.writeBrew("Error: Cask not available\\n", 1);
        rig.server.routeBody("/foo-1.0.zip", "PK\x03\x04" + QByteArray(4092, 'z'), "application/zip");
        AppItem app = fooRecord(AppSourceType::brew, rig.server.url("/foo-1.0.zip").toString());
        app.brewName = brewName;
        app.id = id;

        InstallWorkflow &flow = rig.registry->workflow(app);
        QSignalSpy steps(&flow, &InstallWorkflow::directStepTaken);
        QSignalSpy succeeded(&flow, &InstallWorkflow::installSucceeded);
        flow.handleInstall();
        QTRY_COMPARE_WITH_TIMEOUT(steps.size(), 1, 10000);
        QCOMPARE(steps.first().first().value<Step>(), Step::downloadStarted);
        QCOMPARE(rig.toolLog(), brewArguments);
        if (!brewArguments.isEmpty())
            QVERIFY(rig.console.contains("Brew output: Error: Cask not available\n"));
        QVERIFY(flow.failure().isEmpty());
        QCOMPARE(succeeded.size(), 0);

        QTRY_COMPARE_WITH_TIMEOUT(rig.downloads->activeTasks().value(0).status.kind, DownloadStatus::Kind::completed,
                                  10000);
    }

    void brewSuccessRescansInstalled()
    {
        TestServices rig;
        // A stand-in for a cask installation: the bundle appears in Applications.
        TestFolders::makeBundle(rig.root.filePath("pending"), "Foo", "com.example.foo", "1.0");
        TestFolders::writeScript(rig.root.filePath("bin"), "brew",
                                 "echo '==> Installing Cask foo'\nmv \"$(dirname \"$0\")/../pending/Foo.app\" \"" +
                                     rig.apps().toUtf8() + "/\"\n");
        InstallWorkflow &flow = rig.registry->workflow(fooRecord(AppSourceType::brew, "https://x.test/foo.zip"));
        QSignalSpy succeeded(&flow, &InstallWorkflow::installSucceeded);
        flow.handleInstall();
        QCOMPARE(flow.state().status.kind, AppInstallStatus::Kind::installing);
        QVERIFY(succeeded.wait(10000));
        QCOMPARE(flow.state().status, AppInstallStatus::installed("1.0", QDir(rig.apps()).filePath("Foo.app")));
        QVERIFY(rig.console.contains("Brew output: ==> Installing Cask foo\n"));
    }

    // The first click installs a package already in the cache; nothing is downloaded.
    void cachedPackageInstallsAtOnce()
    {
        TestServices rig;
        QVERIFY(rig.cacheZip("foo-1.0.zip", "1.0"));
        const AppItem app = fooRecord(AppSourceType::direct, rig.server.url("/foo-1.0.zip").toString());
        InstallWorkflow &flow = rig.registry->workflow(app);
        QSignalSpy succeeded(&flow, &InstallWorkflow::installSucceeded);
        QSignalSpy mapChanges(rig.store.get(), &AppStoreService::installedAppMapChanged);

        QCOMPARE(flow.fallbackDirectDownload(), Step::installingCached);
        QCOMPARE(flow.state().status.kind, AppInstallStatus::Kind::installing);
        QVERIFY(succeeded.wait(30000));

        QCOMPARE(mapChanges.size(), 1);
        QCOMPARE(flow.state().status, AppInstallStatus::installed("1.0", QDir(rig.apps()).filePath("Foo.app")));
        QVERIFY(rig.server.requests().isEmpty());
        QVERIFY(rig.downloads->activeTasks().isEmpty());
        QCOMPARE(rig.console, (QStringList{"Installer: 正在解压 ZIP 文件...", "Installer: 安装成功完成！"}));
    }

    void cachedPackageOfAnotherVersionIsNotUsed()
    {
        TestServices rig;
        QVERIFY(rig.cacheZip("foo-0.9.zip", "0.9"));
        rig.server.routeBody("/foo-1.0.zip", "PK\x03\x04" + QByteArray(4092, 'z'), "application/zip");
        const AppItem app = fooRecord(AppSourceType::direct, rig.server.url("/foo-1.0.zip").toString());
        InstallWorkflow &flow = rig.registry->workflow(app);

        QCOMPARE(flow.fallbackDirectDownload(), Step::downloadStarted);
        QVERIFY(!flow.isInstalling());
        QVERIFY(rig.downloads->task("foo-1.0"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.server.requests().size(), 1, 10000);
    }

    void failedInstallationOfCachedPackage_data()
    {
        QTest::addColumn<QString>("package"); // empty: a good ZIP of Foo.app
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("dropped");
        const QString again = "。已从缓存中删除此安装包，再次点击将重新下载";
        const QString notPackage = "暂不支持的安装包格式：%1（文件内容不是 DMG 磁盘镜像、ZIP 压缩包或 PKG 安装包）";
        QTest::newRow("image that is no image") << "foo-1.0.dmg" << notPackage.arg("foo-1.0.dmg") + again << true;
        QTest::newRow("archive that is no archive") << "foo-1.0.zip" << notPackage.arg("foo-1.0.zip") + again << true;
        // The package is fine, the machine is not: fetching it again would not help.
        QTest::newRow("install folder unusable") << "" << "安装执行失败：无法写入应用程序目录" << false;
    }

    // The control goes back to what it showed before the click, with the
    // failure beside it until the next action on the record; a package that
    // is itself unusable leaves the cache so the next click fetches it afresh.
    void failedInstallationOfCachedPackage()
    {
        QFETCH(QString, package);
        QFETCH(QString, error);
        QFETCH(bool, dropped);
        TestServices rig;
        if (package.isEmpty()) {
            QVERIFY(rig.cacheZip("foo-1.0.zip", "1.0"));
            QDir(rig.apps()).removeRecursively();
            TestFolders::writeFile(rig.root.path(), "Applications", "a file where the folder should be");
        } else {
            TestFolders::writeFile(rig.cache(), package, "not really a package");
            rig.downloads->refreshLocalPackages();
        }
        rig.routeQuarterThenHold("/foo-1.0.zip");
        const AppItem app = fooRecord(AppSourceType::direct, rig.server.url("/foo-1.0.zip").toString());
        InstallWorkflow &flow = rig.registry->workflow(app);
        const InstallControlState before = flow.state();
        QSignalSpy failed(&flow, &InstallWorkflow::installFailed);
        QSignalSpy changed(rig.registry.get(), &InstallWorkflowRegistry::workflowChanged);

        // A file refused at once may fail before the click returns.
        flow.handleInstall();
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 30000);
        const QString text = failed.first().first().toString();
        QVERIFY2(text.startsWith(error), qPrintable(text));
        QCOMPARE(rig.console.last(), "安装失败: " + text);
        QCOMPARE(flow.state().status, before.status);
        QCOMPARE(flow.state().failure, text);
        QCOMPARE(rig.registry->state(app), flow.state());
        QCOMPARE(changed.last().first().toString(), QString("foo"));
        QCOMPARE(rig.downloads->localPackages().isEmpty(), dropped);

        // The next click starts over without the old failure.
        flow.handleInstall();
        QVERIFY(flow.failure().isEmpty());
        QCOMPARE(flow.state().status.kind,
                 dropped ? AppInstallStatus::Kind::downloading : AppInstallStatus::Kind::installing);
        rig.server.closeHeld();
        if (!dropped)
            QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 2, 30000);
    }

    void learnsTheBundleItInstalled_data()
    {
        QTest::addColumn<std::optional<QString>>("bundleId");
        QTest::addColumn<QString>("kept");
        QTest::newRow("record knows neither") << std::optional<QString>() << "com.example.foo";
        QTest::newRow("the author's id stays") << std::optional<QString>("com.example.foo.beta") << "com.example.foo.beta";
    }

    // A record named unlike its bundle shows as installed after the first
    // installation, and the next click opens instead of reinstalling.
    void learnsTheBundleItInstalled()
    {
        QFETCH(std::optional<QString>, bundleId);
        QFETCH(QString, kept);
        TestServices rig;
        QVERIFY(rig.cacheZip("foo-1.0.zip", "1.0"));
        AppItem app = fooRecord(AppSourceType::direct, rig.server.url("/foo-1.0.zip").toString());
        app.name = "Foo Editor";
        app.bundleId = bundleId;
        app.appFilename.reset();
        QVERIFY(rig.store->saveAppItem(app).ok);
        InstallWorkflow &flow = rig.registry->workflow(app);
        QSignalSpy succeeded(&flow, &InstallWorkflow::installSucceeded);
        flow.handleInstall();
        QVERIFY(succeeded.wait(30000));

        const AppItem stored = *rig.store->app("foo");
        QCOMPARE(stored.bundleId, std::optional<QString>(kept));
        QCOMPARE(stored.appFilename, std::optional<QString>("Foo.app"));
        QCOMPARE(AppItem::listFromJson(TestFolders::readFile(rig.store->storageFilePath())).first(), stored);
        QCOMPARE(rig.registry->state(stored).status.kind, AppInstallStatus::Kind::installed);
    }

    void downloadShowsOnlyForTheCurrentVersion()
    {
        TestServices rig;
        rig.routeQuarterThenHold("/foo-1.0.zip");
        rig.routeQuarterThenHold("/foo-0.9.zip");
        AppItem app = fooRecord(AppSourceType::direct, rig.server.url("/foo-1.0.zip").toString());
        app.versions = QList<AppVersion>{{"1.0"}, {"0.9", rig.server.url("/foo-0.9.zip").toString()}};

        InstallWorkflow &flow = rig.registry->workflow(app);
        QVERIFY(flow.downloadVersion("0.9"));
        QTRY_VERIFY_WITH_TIMEOUT(rig.downloads->task("foo-0.9")->progress > 0, 10000);
        QCOMPARE(rig.registry->state(app).status.kind, AppInstallStatus::Kind::notInstalled);

        flow.handleInstall();
        QTRY_VERIFY_WITH_TIMEOUT(rig.downloads->task("foo-1.0")->progress > 0, 10000);
        const InstallControlState state = rig.registry->state(app);
        QCOMPARE(state.status.kind, AppInstallStatus::Kind::downloading);
        QCOMPARE(state.status.progress, 0.25);
        // A second click while it runs leaves the one transfer alone.
        QCOMPARE(flow.fallbackDirectDownload(), Step::alreadyDownloading);
        QCOMPARE(rig.server.requests().count("/foo-1.0.zip"), 1);
        rig.server.closeHeld();
    }

    // Coming back to the app rescans on the pool; requests within the
    // interval of the last scan share it; an unchanged result redraws nothing.
    void returningRescansOnceWithinTheInterval()
    {
        TestServices rig;
        QSignalSpy changes(rig.store.get(), &AppStoreService::installedAppMapChanged);
        const auto rescan = [&rig](std::chrono::milliseconds interval) {
            rig.registry->setRescanInterval(interval);
            rig.registry->rescanInstalled();
            QThreadPool::globalInstance()->waitForDone();
            QCoreApplication::processEvents();
        };
        rescan(std::chrono::hours(1));
        TestFolders::makeBundle(rig.apps(), "Bar", "com.example.bar", "1.0");
        rescan(std::chrono::hours(1));
        QCOMPARE(changes.size(), 0);
        rescan({});
        rescan({});
        QVERIFY(rig.store->installedAppMap().contains("com.example.bar"));
        QCOMPARE(changes.size(), 1);
    }

    void ownDownloadUrl_data()
    {
        QTest::addColumn<std::optional<QString>>("pattern");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("expected");

        const std::optional<QString> none;
        QTest::newRow("current version: record address") << none << "2.0" << "https://x.test/current.dmg";
        QTest::newRow("entry with its own address") << none << "1.5" << "https://x.test/1.5.dmg";
        QTest::newRow("version not listed") << none << "0.1" << "";
        QTest::newRow("template fills any version")
            << std::optional<QString>("https://x.test/{version}/App-{VERSION}.dmg") << "1.0"
            << "https://x.test/1.0/App-1.0.dmg";
        QTest::newRow("empty template is ignored") << std::optional<QString>("") << "1.0" << "";
        QTest::newRow("template that is no address") << std::optional<QString>("no url {version}") << "1.0" << "";
    }

    // "下载此版本" never fetches another version's package under this version's name.
    void ownDownloadUrl()
    {
        QFETCH(std::optional<QString>, pattern);
        QFETCH(QString, version);
        QFETCH(QString, expected);

        AppItem app = fooRecord(AppSourceType::direct, "https://x.test/current.dmg");
        app.currentVersion = "2.0";
        app.versionPatternUrl = pattern;
        app.versions = QList<AppVersion>{{"2.0"}, {"1.5", QString("https://x.test/1.5.dmg")}, {"1.0", QString("")}};
        const auto url = InstallWorkflow::ownDownloadUrl(app, version);
        QCOMPARE(url ? url->toString() : QString(), expected);
    }
};

QTEST_GUILESS_MAIN(tst_InstallWorkflow)
#include "tst_InstallWorkflow.moc"
