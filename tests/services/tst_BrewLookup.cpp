#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include "services/AppStoreService.h"
#include "services/BrewLookup.h"
#include "services/BrewService.h"
#include "services/InstalledDetector.h"
#include "services/SourceStore.h"
#include "support/FutureWait.h"
#include "support/TestFolders.h"
#include "support/TestHttpServer.h"

namespace {

AppItem cask(const char *token, const char *name, const char *desc = "")
{
    return BrewService::parseBrewJson(
        QString::fromLatin1(token),
        QJsonObject{{"name", QJsonArray{QString::fromUtf8(name)}}, {"desc", QString::fromUtf8(desc)}});
}

} // namespace

class tst_BrewLookup final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ranking_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("tokens");
        QTest::newRow("exact, prefix, inside, then name or description")
            << "code" << QStringList{"code", "codeedit", "visual-studio-code", "zed"};
        QTest::newRow("spaces stand for hyphens") << " Visual Studio " << QStringList{"visual-studio-code"};
        QTest::newRow("name in another script") << "微信" << QStringList{"wechat"};
        QTest::newRow("nothing") << "zzz" << QStringList{};
    }
    void ranking()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, tokens);
        const QList<AppItem> casks{cask("zed", "Zed", "Code editor"), cask("visual-studio-code", "VS Code"),
                                   cask("codeedit", "CodeEdit"), cask("code", "Code"), cask("wechat", "微信")};
        QCOMPARE(BrewLookup::ranked(casks, query), tokens);
    }

    // No brew on this machine: the kept catalog answers, and when there is
    // none either, the message says nobody could be asked.
    void withoutBrew_data()
    {
        QTest::addColumn<bool>("catalog");
        QTest::addColumn<bool>("apiUp");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown"); // the record's id, or the start of the message
        QTest::newRow("exact from the catalog") << true << false << "Firefox" << "firefox";
        QTest::newRow("no such cask, best candidate") << true << false << "fire" << "firefox";
        QTest::newRow("free text") << true << false << "Firefox Dev" << "firefox-dev";
        QTest::newRow("nothing to ask") << false << false << "firefox" << "无法查询「firefox」";
        QTest::newRow("the API does not know it") << false << true << "firefox" << "未找到与「firefox」";
    }
    void withoutBrew()
    {
        QFETCH(bool, catalog);
        QFETCH(bool, apiUp);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QTemporaryDir dir;
        TestHttpServer server;
        if (catalog)
            TestFolders::writeFile(dir.filePath("Sources"), "homebrew-casks.json",
                                   R"([{"token":"firefox","name":["Firefox"]},{"token":"firefox-dev"}])");
        SourceStore sources(dir.path());
        QVERIFY(settle(sources.loadCopies()));
        BrewService brew(apiUp ? server.url(QString()).toString() : QStringLiteral("http://127.0.0.1:1"),
                         {dir.filePath("no-brew")});
        InstalledDetector detector(QStringList{});
        AppStoreService store(dir.filePath("library"), detector);
        BrewLookup lookup(brew, sources, store);
        lookup.start(typed);
        QTRY_VERIFY_WITH_TIMEOUT(!lookup.isResolving(), 10000);
        QCOMPARE(lookup.resolvedApp() ? lookup.resolvedApp()->id : lookup.errorMessage()->left(shown.size()), shown);
    }
};

QTEST_GUILESS_MAIN(tst_BrewLookup)
#include "tst_BrewLookup.moc"
