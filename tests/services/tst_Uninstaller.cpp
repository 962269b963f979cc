#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

#include "models/ZelvoError.h"
#include "services/AppStoreService.h"
#include "services/UninstallService.h"
#include "services/Uninstaller.h"
#include "services/UpdateCenter.h"
#include "support/TestFolders.h"
#include "support/TestServices.h"

namespace {

QJsonObject caskZapping(const QStringList &trash)
{
    const QJsonObject zap{{"trash", QJsonArray::fromStringList(trash)}, {"rmdir", "~/Library/Foo"}};
    return {{"artifacts", QJsonArray{QJsonObject{{"app", "Foo.app"}}, QJsonObject{{"zap", QJsonArray{zap}}}}}};
}

// Waits for the future; the error text when it failed.
QString outcome(QFuture<QStringList> future, QStringList *failures = nullptr)
{
    if (!QTest::qWaitFor([&] { return future.isFinished(); }, 30000))
        return QStringLiteral("still running");
    try {
        const QStringList result = future.result();
        if (failures)
            *failures = result;
        return {};
    } catch (const std::exception &error) {
        return errorText(error);
    }
}

} // namespace

class tst_Uninstaller final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Only what lies inside the allowed folders, reached through real folders.
    void leftovers()
    {
        TestServices rig;
        const QString lib = rig.root.filePath("Library");
        TestFolders::writeFile(lib, "Prefs/com.foo.plist", "p");
        TestFolders::writeFile(lib, "Prefs/com.foo.helper.plist", "p");
        TestFolders::writeFile(lib, "Prefs/com.bar.plist", "p");
        TestFolders::writeFile(lib, "Caches/Foo/cache.db", "c");
        QVERIFY(QFile::link("/etc", lib + "/LinkedOut"));
        QVERIFY(QFile::link("/etc/hostname", lib + "/Caches/link-out"));
        const UninstallService service({rig.root.path()});
        const QStringList found = service.leftovers(caskZapping(
            {lib + "/Prefs/com.foo*", lib + "/Caches/Foo", lib + "/LinkedOut/hostname", lib + "/Caches/link-out",
             lib + "/../../../etc/hostname", "/etc/hostname", rig.root.path(), lib + "/Missing", "relative/path"}));
        QCOMPARE(QSet<QString>(found.begin(), found.end()),
                 (QSet<QString>{lib + "/Prefs/com.foo.plist", lib + "/Prefs/com.foo.helper.plist", lib + "/Caches/Foo",
                                lib + "/Caches/link-out"}));

        // Moving the link moves the link, never what it points at.
        QCOMPARE(service.trashLeftovers({lib + "/Caches/link-out", "/etc/hostname"}).size(), 1);
        QVERIFY(QFileInfo::exists("/etc/hostname"));
        QVERIFY(!QFileInfo(lib + "/Caches/link-out").isSymLink());
    }

    void uninstall_data()
    {
        QTest::addColumn<QString>("road");  // "trash", "running", "brew", "brew fails"
        QTest::addColumn<QString>("error"); // empty: the app is gone
        QTest::newRow("to the Trash") << "trash" << "";
        QTest::newRow("running") << "running" << "「Foo」正在运行，请先退出该应用再卸载";
        QTest::newRow("through brew") << "brew" << "";
        QTest::newRow("brew fails") << "brew fails" << "执行 Brew 失败：brew uninstall 执行失败，退出码: 1";
    }

    void uninstall()
    {
        QFETCH(QString, road);
        QFETCH(QString, error);
        TestServices rig;
        rig.installFoo("1.0");
        const QString bundle = QDir(rig.apps()).filePath("Foo.app");
        const QString leftover = TestFolders::writeFile(rig.root.filePath("Library"), "Foo/state", "s");
        const bool viaBrew = road.startsWith("brew");
        // brew removes the bundle itself, as the real one does.
        if (viaBrew)
            TestFolders::writeScript(rig.root.filePath("bin"), "brew",
                                     "echo \"brew $*\" >> '" + rig.root.filePath("bin/tools.log").toUtf8() + "'\n" +
                                         (road == "brew" ? "rm -rf '" + bundle.toUtf8() + "'\n" : "exit 1\n"));
        Uninstaller uninstaller(*rig.store, *rig.brew, Caskroom({rig.caskroom()}),
                                UninstallService({rig.root.path()}, [&](const QString &) { return road == "running"; }));
        uninstaller.setConsole([](const QString &) {});
        QStringList failures;
        QCOMPARE(outcome(uninstaller.uninstall(bundle, viaBrew ? std::optional<QString>("foo") : std::nullopt,
                                               {leftover, "/etc/hostname"}),
                         &failures),
                 error);
        QCOMPARE(QFileInfo::exists(bundle), !error.isEmpty() && road != "brew");
        QCOMPARE(QFileInfo::exists(leftover), !error.isEmpty());
        QCOMPARE(rig.store->installedAppMap().contains("foo"), !error.isEmpty());
        if (error.isEmpty()) {
            QCOMPARE(failures, QStringList{"不在允许的目录中，未移除：/etc/hostname"});
            QVERIFY(QFileInfo::exists("/etc/hostname"));
        }
        if (road == "trash") // the user can take it back
            QVERIFY(QFileInfo::exists(qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/files/Foo.app/Contents/Info.plist"));
        if (viaBrew)
            QCOMPARE(rig.toolLog(), QByteArray("brew uninstall --cask foo\n"));
    }
};

QTEST_GUILESS_MAIN(tst_Uninstaller)
#include "tst_Uninstaller.moc"
