#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include "services/AppStoreService.h"
#include "services/DownloadManager.h"
#include "services/InstalledDetector.h"
#include "services/UpdateQueue.h"
#include "services/InstallWorkflowRegistry.h"
#include "support/TestFolders.h"
#include "support/TestServices.h"

namespace {

OutdatedApp fooRow(TestServices &rig, const QString &address, bool viaBrew = false)
{
    const AppItem app{.id = "foo", .name = "foo", .bundleId = "com.example.foo", .currentVersion = "2.0",
                      .downloadUrl = address};
    return {app, rig.store->installedAppMap().value("foo"), "1.0", OutdatedApp::Kind::outdated,
            viaBrew ? std::optional<QString>("foo") : std::nullopt};
}

QString installedFooVersion(TestServices &rig)
{
    return *InstalledDetector::readAppInfo(rig.apps() + "/Foo.app")->version;
}

} // namespace

class tst_UpdateQueue final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A failed update keeps the old bundle working.
    void updateOne_data()
    {
        QTest::addColumn<QString>("served"); // "zip", "404", "junk", or brew's exit status
        QTest::addColumn<QString>("reason"); // empty: succeeds
        QTest::addColumn<QString>("version");
        QTest::newRow("new version installs") << "zip" << "" << "2.0";
        QTest::newRow("download fails") << "404" << "下载失败" << "1.0";
        QTest::newRow("broken package") << "junk" << "安装" << "1.0";
        QTest::newRow("brew upgrade") << "0" << "" << "1.0";
        QTest::newRow("brew upgrade fails") << "1" << "brew upgrade 执行失败" << "1.0";
    }

    void updateOne()
    {
        QFETCH(QString, served);
        QFETCH(QString, reason);
        QFETCH(QString, version);
        TestServices rig;
        rig.installFoo(QStringLiteral("1.0"));
        const bool viaBrew = served.size() == 1;
        if (viaBrew)
            rig.writeBrew("", served.toInt());
        if (served == QLatin1String("zip")) {
            QVERIFY(rig.cacheZip(QStringLiteral("made.zip"), QStringLiteral("2.0")));
            const QString made = QDir(rig.cache()).filePath(QStringLiteral("made.zip"));
            rig.server.routeBody(QStringLiteral("/foo.zip"), TestFolders::readFile(made), "application/zip");
            rig.downloads->deletePackage(made);
        } else if (served == QLatin1String("junk")) {
            rig.server.routeBody(QStringLiteral("/foo.zip"), QByteArray(4096, 'j'), "application/zip");
        }
        UpdateQueue queue(*rig.registry, *rig.brew);
        queue.setConsole([](const QString &) {});
        QSignalSpy finished(&queue, &UpdateQueue::batchFinished);
        const OutdatedApp row = fooRow(rig, rig.server.url(QStringLiteral("/foo.zip")).toString(), viaBrew);
        QVERIFY(queue.enqueue(row));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 30000);

        const auto state = queue.state(row.installed.bundlePath);
        QCOMPARE(state.phase, reason.isEmpty() ? UpdateQueue::Phase::succeeded : UpdateQueue::Phase::failed);
        QVERIFY2(state.reason.contains(reason), qPrintable(state.reason));
        QCOMPARE(queue.summary(), reason.isEmpty() ? QStringLiteral("1 个成功，0 个失败") : QStringLiteral("0 个成功，1 个失败"));
        QCOMPARE(installedFooVersion(rig), version);
        if (viaBrew)
            QCOMPARE(rig.toolLog(), QByteArray("brew upgrade --cask foo\n"));
    }

    // Update-all never runs two installations into one bundle, however often it is asked.
    void oneAtATime()
    {
        TestServices rig;
        rig.installFoo(QStringLiteral("1.0"));
        TestFolders::makeBundle(rig.apps(), QStringLiteral("Bar"), QStringLiteral("com.example.bar"), QStringLiteral("1.0"));
        rig.writeBrew("", 0);
        rig.routeQuarterThenHold(QStringLiteral("/foo.zip"));
        UpdateQueue queue(*rig.registry, *rig.brew);
        queue.setConsole([](const QString &) {});
        OutdatedApp foo = fooRow(rig, rig.server.url(QStringLiteral("/foo.zip")).toString());
        OutdatedApp bar = foo;
        bar.installed.bundlePath = QDir(rig.apps()).filePath(QStringLiteral("Bar.app"));
        bar.caskToken = QStringLiteral("bar");

        int running = 0, most = 0;
        connect(&queue, &UpdateQueue::rowChanged, this, [&](const QString &bundle) {
            running += queue.state(bundle).phase == UpdateQueue::Phase::running ? 1 : 0;
            running -= queue.state(bundle).phase >= UpdateQueue::Phase::succeeded ? 1 : 0;
            most = std::max(most, running);
        });
        queue.enqueueAll({foo, foo, bar});
        QVERIFY(!queue.enqueue(foo));
        QCOMPARE(queue.total(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(rig.server.heldCount(), 1, 10000);
        QCOMPARE(queue.state(bar.installed.bundlePath).phase, UpdateQueue::Phase::waiting);
        // The download breaks off and the server has lost the file: that row fails, the next one runs.
        TestHttpServer::Reply gone;
        gone.status = 404;
        rig.server.route(QStringLiteral("/foo.zip"), gone);
        rig.server.closeHeld();
        QTRY_COMPARE_WITH_TIMEOUT(queue.finished(), 2, 30000);
        QCOMPARE(queue.summary(), QStringLiteral("1 个成功，1 个失败"));
        QCOMPARE(most, 1);
        QCOMPARE(installedFooVersion(rig), QStringLiteral("1.0"));
    }
};

QTEST_GUILESS_MAIN(tst_UpdateQueue)
#include "tst_UpdateQueue.moc"
