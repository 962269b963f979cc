#include <QSignalSpy>
#include <QtTest>

#include "services/AppStoreService.h"
#include "services/DownloadManager.h"
#include "services/InstallWorkflow.h"
#include "services/InstallWorkflowRegistry.h"
#include "support/TestFolders.h"
#include "support/TestScreenContext.h"
#include "views/components/ActionButton.h"
#include "views/components/InstallControlPainter.h"

namespace {

using Action = InstallControlPainter::Action;

AppItem fooRecord(const QString &downloadUrl)
{
    return {.id = "foo", .name = "Foo", .bundleId = "com.example.foo", .category = "开发工具", .currentVersion = "1.0",
            .downloadUrl = downloadUrl};
}

void click(ActionButton &button, Action action)
{
    const QRect target = button.actionRect(action);
    QVERIFY2(!target.isEmpty(), qPrintable(button.visibleTexts().join(',')));
    QTest::mouseClick(&button, Qt::LeftButton, {}, target.center());
}

} // namespace

class tst_ActionButton final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void painterShowsEachState_data()
    {
        QTest::addColumn<InstallControlState>("state");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QList<int>>("actions"); // the action of each pill, left to right

        using S = AppInstallStatus;
        const auto state = [](AppInstallStatus s, QString failure = {}) { return InstallControlState{s, failure}; };
        const int install = int(Action::install), open = int(Action::open), none = int(Action::none);
        QTest::newRow("not installed") << state(S::notInstalled()) << QStringList{"获取"} << QList{install};
        QTest::newRow("installed") << state(S::installed("1.0", "/A/Foo.app")) << QStringList{"打开"} << QList{open};
        QTest::newRow("update") << state(S::updateAvailable("0.5", "1.0", "/A/Foo.app"))
                                << QStringList{"更新", "打开"} << QList<int>{install, open};
        QTest::newRow("installing") << state(S::installing()) << QStringList{"安装中..."} << QList{none};
        QTest::newRow("downloading, whole percent")
            << state(S::downloading(0.4299, "1 MB/s")) << QStringList{"42%"} << QList<int>{none};
        QTest::newRow("downloading, length unknown")
            << state(S::downloading(-1, "1 MB/s")) << QStringList{"下载中"} << QList<int>{none};
        QTest::newRow("failed beside the status") << state(S::notInstalled(), "安装执行失败：x")
                                                  << QStringList{"获取", "安装失败"} << QList<int>{install};
    }

    void painterShowsEachState()
    {
        QFETCH(InstallControlState, state);
        QFETCH(QStringList, texts);
        QFETCH(QList<int>, actions);

        QCOMPARE(InstallControlPainter::texts(state), texts);
        const QRectF rect(QPointF(10, 10), InstallControlPainter::sizeHint(state));
        const auto parts = InstallControlPainter::layout(state, rect);
        QVERIFY(rect.contains(parts.first | parts.second | parts.failureMark));
        QCOMPARE(int(InstallControlPainter::hitTest(state, rect, parts.first.center())), actions.value(0));
        if (actions.size() > 1) {
            QCOMPARE(int(InstallControlPainter::hitTest(state, rect, parts.second.center())), actions.value(1));
        }
        QCOMPARE(InstallControlPainter::toolTipAt(state, rect, parts.failureMark.center()), state.failure);
        QCOMPARE(InstallControlPainter::toolTipAt(state, rect, parts.first.center()), QString());
        // The control grows with the text scale.
        FontScaleManager::shared().setScale(FontScaleManager::maxScale);
        const QSizeF large = InstallControlPainter::sizeHint(state);
        FontScaleManager::shared().setScale(FontScaleManager::defaultScale);
        QVERIFY(large.width() > rect.width() && large.height() > rect.height());
    }

    // Every control of a record shows the same download (which version's
    // download shows is the workflow's rule, tested with it).
    void controlsOfOneRecordAgreeOnTheDownload()
    {
        TestScreenContext screen;
        screen.rig.routeQuarterThenHold("/foo-1.0.zip");
        const AppItem app = fooRecord(screen.rig.server.url("/foo-1.0.zip").toString());
        ActionButton card(app, screen.context);
        ActionButton detail(app, screen.context);
        click(card, Action::install);
        QTRY_COMPARE_WITH_TIMEOUT(card.visibleTexts(), QStringList{"25%"}, 10000);
        QCOMPARE(detail.visibleTexts(), QStringList{"25%"});
        screen.rig.server.closeHeld();
    }

    void failureShowsBesideEveryControl_data()
    {
        QTest::addColumn<QString>("address"); // a path: on the test server
        QTest::addColumn<QString>("mark");
        QTest::addColumn<QString>("reason");
        QTest::newRow("cached package will not open") << "/foo-1.0.dmg" << "安装失败" << "暂不支持的安装包格式：foo-1.0.dmg";
        QTest::newRow("server answers 404") << "/missing.dmg" << "下载失败" << "服务器返回错误: HTTP 404";
        QTest::newRow("no download address") << "" << "下载失败" << "此应用没有提供下载地址";
        QTest::newRow("address that is no URL") << "foo-1.0.dmg" << "下载失败" << "下载地址无效：foo-1.0.dmg";
    }

    // Shown where the user clicked, on the detail page and the card alike, with the reason on hover.
    void failureShowsBesideEveryControl()
    {
        QFETCH(QString, address);
        QFETCH(QString, mark);
        QFETCH(QString, reason);
        TestScreenContext screen;
        if (mark == "安装失败") {
            TestFolders::writeFile(screen.rig.cache(), "foo-1.0.dmg", "not an image");
            screen.rig.downloads->refreshLocalPackages();
        }
        const AppItem app = fooRecord(address.startsWith('/') ? screen.rig.server.url(address).toString() : address);
        ActionButton card(app, screen.context);
        ActionButton detail(app, screen.context);

        click(detail, Action::install);
        QTRY_COMPARE_WITH_TIMEOUT(detail.visibleTexts(), (QStringList{"获取", mark}), 30000);
        QCOMPARE(card.visibleTexts(), detail.visibleTexts());
        QVERIFY2(detail.state().failure.startsWith(reason), qPrintable(detail.state().failure));
        const QRectF whole(detail.rect());
        const QPointF onMark = InstallControlPainter::layout(detail.state(), whole).failureMark.center();
        QCOMPARE(InstallControlPainter::toolTipAt(detail.state(), whole, onMark), detail.state().failure);
        // Until the next attempt.
        screen.rig.downloads->deletePackage(screen.rig.cache() + "/foo-1.0.dmg");
        click(card, Action::install);
        QCOMPARE(detail.state().hasFailure(), !address.startsWith('/'));
    }

    void completionCallbackRunsAfterInstallation()
    {
        TestScreenContext screen;
        QVERIFY(screen.rig.cacheZip("foo-1.0.zip", "1.0"));
        ActionButton button(fooRecord(screen.rig.server.url("/foo-1.0.zip").toString()), screen.context);
        int completed = 0;
        button.setOnActionCompleted([&completed] { ++completed; });
        click(button, Action::install);
        QTRY_COMPARE_WITH_TIMEOUT(button.visibleTexts(), QStringList{"打开"}, 30000);
        QCOMPARE(completed, 1);
    }
};

QTEST_MAIN(tst_ActionButton)
#include "tst_ActionButton.moc"
