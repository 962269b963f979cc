#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include "services/Caskroom.h"
#include "services/UpdateFinder.h"
#include "support/TestFolders.h"

namespace {

AppItem record(const QString &id, const QString &version, const QString &bundleId = {}, const QString &file = {})
{
    AppItem app;
    app.id = id;
    app.name = id;
    app.currentVersion = version;
    if (!bundleId.isEmpty())
        app.bundleId = bundleId;
    if (!file.isEmpty())
        app.appFilename = file;
    return app;
}

InstalledAppMap installedFoo(const QString &version)
{
    const InstalledAppInfo foo{QStringLiteral("Foo"), QStringLiteral("com.example.Foo"), version,
                               QStringLiteral("/Applications/Foo.app")};
    return {{QStringLiteral("com.example.foo"), foo}, {QStringLiteral("foo"), foo}};
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

        const auto byId = record(QStringLiteral("lib"), QStringLiteral("2.0"), QStringLiteral("COM.EXAMPLE.FOO"));
        const auto byFile = record(QStringLiteral("src"), QStringLiteral("3.0"), QStringLiteral("x.y"),
                                   QStringLiteral("Foo.app"));
        const auto current = record(QStringLiteral("lib"), QStringLiteral("1.0.0"), QStringLiteral("com.example.foo"));
        auto latest = byFile;
        latest.currentVersion = QStringLiteral("latest");
        auto selfUpdating = byFile;
        selfUpdating.autoUpdates = true;
        auto cask = byId;
        cask.sourceType = AppSourceType::brew;
        auto unknownCask = cask;
        unknownCask.brewName = QStringLiteral("bar");

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
        const auto rows = UpdateFinder::find(installedFoo(QStringLiteral("1.0")), candidates,
                                             {{QStringLiteral("lib"), QStringLiteral("1.0")}});
        QStringList got;
        for (const OutdatedApp &row : rows)
            got << QStringLiteral("%1 %2 %3 %4").arg(row.app.id).arg(int(row.kind)).arg(int(row.counted()))
                       .arg(row.caskToken.value_or(QStringLiteral("-")));
        QCOMPARE(got.join(u'|'), expected);
        if (!rows.isEmpty())
            QCOMPARE(rows.first().installedVersion, QStringLiteral("1.0"));
    }

    void caskroom()
    {
        QTemporaryDir dir;
        const QString first = dir.filePath(QStringLiteral("a")), second = dir.filePath(QStringLiteral("b"));
        QDir().mkpath(first + QStringLiteral("/foo/1.9"));
        QDir().mkpath(first + QStringLiteral("/foo/1.10"));
        QDir().mkpath(first + QStringLiteral("/-rf/1.0")); // never a token brew could be handed
        QDir().mkpath(second + QStringLiteral("/foo/9.0"));
        QDir().mkpath(second + QStringLiteral("/bar/2.0"));
        TestFolders::writeFile(second, QStringLiteral("bar/.metadata/2.0/20240101/Casks/bar.json"),
                               R"({"token":"bar","artifacts":[]})");
        const Caskroom caskroom({first, second});
        const auto casks = caskroom.scan();
        QCOMPARE(casks, (QHash<QString, QString>{{"foo", "1.10"}, {"bar", "2.0"}}));
        QCOMPARE(caskroom.installedCask(QStringLiteral("bar"))->value("token").toString(), QStringLiteral("bar"));
        QVERIFY(!caskroom.installedCask(QStringLiteral("foo")));
        QVERIFY(!caskroom.installedCask(QStringLiteral("../a/bar")));
    }
};

QTEST_GUILESS_MAIN(tst_UpdateFinder)
#include "tst_UpdateFinder.moc"
