#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include "services/Caskroom.h"
#include "services/UpdateFinder.h"
#include "support/TestFolders.h"

namespace {

AppItem record(const QString &id, const QString &version, const QString &bundleId, const QString &file = {})
{
    return {.id = id, .name = id, .bundleId = bundleId,
            .appFilename = file.isEmpty() ? std::nullopt : std::optional(file), .currentVersion = version};
}

InstalledAppMap installedFoo(const QString &version)
{
    const InstalledAppInfo foo{"Foo", "com.example.Foo", version, "/Applications/Foo.app"};
    return {{"com.example.foo", foo}, {"foo", foo}};
}

} // namespace

class tst_UpdateFinder final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void find_data()
    {
        QTest::addColumn<QList<QList<AppItem>>>("candidates");
        QTest::addColumn<QString>("expected"); // "id kind counted cask", or empty for no row

        const auto byId = record("lib", "2.0", "COM.EXAMPLE.FOO");
        const auto byFile = record("src", "3.0", "x.y", "Foo.app");
        const auto current = record("lib", "1.0.0", "com.example.foo");
        auto latest = byFile;
        latest.currentVersion = "latest";
        auto selfUpdating = byFile;
        selfUpdating.autoUpdates = true;
        auto cask = byId;
        cask.sourceType = AppSourceType::brew;
        auto unknownCask = cask;
        unknownCask.brewName = "bar";

        QTest::newRow("library, by identifier") << QList<QList<AppItem>>{{byId}} << "lib 0 1 -";
        QTest::newRow("source, by file name") << QList<QList<AppItem>>{{}, {byFile}} << "src 0 1 -";
        QTest::newRow("library first") << QList<QList<AppItem>>{{byId}, {byFile}} << "lib 0 1 -";
        QTest::newRow("current library record decides") << QList<QList<AppItem>>{{current}, {byFile}} << "";
        QTest::newRow("latest: shown, not counted") << QList<QList<AppItem>>{{latest}} << "src 2 0 -";
        QTest::newRow("updates itself") << QList<QList<AppItem>>{{selfUpdating}} << "src 1 0 -";
        QTest::newRow("installed by brew") << QList<QList<AppItem>>{{cask}} << "lib 0 1 lib";
        QTest::newRow("another cask installed") << QList<QList<AppItem>>{{unknownCask}} << "lib 0 1 -";
    }

    void find()
    {
        QFETCH(QList<QList<AppItem>>, candidates);
        QFETCH(QString, expected);
        const auto rows = UpdateFinder::find(installedFoo("1.0"), candidates, {{"lib", "1.0"}});
        QStringList got;
        for (const OutdatedApp &row : rows)
            got << QStringLiteral("%1 %2 %3 %4").arg(row.app.id).arg(int(row.kind)).arg(int(row.counted()))
                       .arg(row.caskToken.value_or(QStringLiteral("-")));
        QCOMPARE(got.join(u'|'), expected);
    }

    void caskroom()
    {
        QTemporaryDir dir;
        const QString first = dir.filePath("a"), second = dir.filePath("b");
        // "-rf" is never a token brew could be handed; the first root wins.
        for (const QString &folder : {first + "/foo/1.9", first + "/foo/1.10", first + "/-rf/1.0", second + "/foo/9.0"})
            QDir().mkpath(folder);
        QDir().mkpath(second + "/bar/2.0");
        TestFolders::writeFile(second, "bar/.metadata/2.0/20240101/Casks/bar.json", R"({"token":"bar"})");
        const Caskroom caskroom({first, second});
        const auto casks = caskroom.scan();
        QCOMPARE(casks, (QHash<QString, QString>{{"foo", "1.10"}, {"bar", "2.0"}}));
        QCOMPARE(caskroom.installedCask("bar")->value("token").toString(), "bar");
        QVERIFY(!caskroom.installedCask("foo") && !caskroom.installedCask("../a/bar"));
    }
};

QTEST_GUILESS_MAIN(tst_UpdateFinder)
#include "tst_UpdateFinder.moc"
