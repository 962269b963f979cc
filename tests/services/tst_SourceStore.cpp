#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "models/ZelvoError.h"
#include "services/BrewService.h"
#include "services/CatalogDecoder.h"
#include "services/SourceStore.h"
#include "support/FutureWait.h"
#include "support/RealServer.h"
#include "support/TestFolders.h"
#include "support/TestRecords.h"

namespace {

QJsonObject cask(const QString &token)
{
    return QJsonObject{{"token", token}, {"name", QJsonArray{token.toUpper()}}, {"desc", "Editor " + token},
                       {"homepage", "https://example.com/" + token}, {"url", "https://example.com/" + token + ".dmg"},
                       {"version", "1.2.3,45"}, {"auto_updates", true},
                       {"sha256", "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"},
                       {"artifacts", QJsonArray{QJsonObject{{"uninstall", QJsonArray{}}},
                                                QJsonObject{{"app", QJsonArray{token + ".app"}}}}}};
}

QByteArray json(const QJsonValue &value)
{
    return value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                           : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

QByteArray catalog(const QStringList &ids)
{
    QJsonArray apps;
    for (const auto &id : ids)
        apps.append(QJsonDocument::fromJson(TestRecords::json(id)).object());
    return json(QJsonObject{{"name", "团队目录"}, {"homepage", "https://example.com"}, {"apps", apps}});
}

using TestRecords::ids;

} // namespace

class tst_SourceStore final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The whole-catalog load reads casks with another JSON parser; a cask
    // must come out as the per-cask lookup makes it.
    void casksDecodeAsTheLookupDoes_data()
    {
        QTest::addColumn<QJsonObject>("object");
        const QJsonObject plain = cask("firefox");
        QTest::newRow("every field") << plain;
        QJsonObject changed = plain;
        changed["name"] = "Firefox";
        QTest::newRow("name not an array") << changed;
        changed = plain;
        changed["name"] = QJsonArray{1, "Firefox"};
        QTest::newRow("name with a number") << changed;
        changed = plain;
        changed["artifacts"] = QJsonArray{"x", QJsonObject{{"app", QJsonArray{"A.app"}}}};
        QTest::newRow("artifact not an object") << changed;
        changed = plain;
        changed["artifacts"] = QJsonArray{QJsonObject{{"app", QJsonArray{QJsonObject{{"target", "B.app"}}}}},
                                          QJsonObject{{"app", QJsonArray{"C.app"}}}};
        QTest::newRow("first app entry not strings") << changed;
        changed = plain;
        changed["homepage"] = "file:///etc/passwd";
        changed["url"] = 5;
        changed.remove("version");
        changed["sha256"] = "no_check";
        changed["auto_updates"] = "yes";
        QTest::newRow("no web addresses, no version, no checksum") << changed;
    }
    void casksDecodeAsTheLookupDoes()
    {
        QFETCH(QJsonObject, object);
        const auto decoded = CatalogDecoder::decode(CatalogKind::brewCasks, json(QJsonArray{object}));
        QCOMPARE(decoded.apps.size(), 1);
        const AppItem looked = BrewService::parseBrewJson(QStringLiteral("firefox"), object);
        QCOMPARE(decoded.apps.first(), looked);
        QCOMPARE(looked.sha256.has_value(), object["sha256"] != "no_check");
        QCOMPARE(looked.autoUpdates.value_or(false), object["auto_updates"] == true);
    }

    void documentsTheStoreCannotUse_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const int casks = int(CatalogKind::brewCasks), library = int(CatalogKind::library);
        const QByteArray page = "\n<!DOCTYPE html><html><form action=/login>";
        QTest::newRow("sign-in page") << library << page << "网页";
        QTest::newRow("sign-in page for casks") << casks << page << "网页";
        QTest::newRow("cut short") << casks << json(QJsonArray{cask("a"), cask("b")}).chopped(20) << "不是有效的 JSON";
        QTest::newRow("object without apps") << library << QByteArray(R"({"name":"x"})") << "apps";
        QTest::newRow("an object, not a list") << casks << json(cask("a")) << "不是 Homebrew Cask 列表";
        QTest::newRow("empty list") << casks << QByteArray("[]") << "没有任何应用";
        QTest::newRow("no record usable") << library << QByteArray(R"([1, {"id": 2}])") << "2 条记录都无法识别";
        QTest::newRow("no token usable") << casks << QByteArray(R"([{"token": "-rf"}, {}])") << "2 条记录都无法识别";
    }
    void documentsTheStoreCannotUse()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        try {
            CatalogDecoder::decode(CatalogKind(kind), bytes);
            QFAIL("decoded");
        } catch (const DecodingError &error) {
            QVERIFY2(error.localizedDescription().contains(reason), qPrintable(error.localizedDescription()));
        }
    }

    // One nginx: a subscribed catalog with validators, a feed that turns bad,
    // and a mirror carrying only the signed cask list and per-cask files.
    void refreshAgainstNginx()
    {
        QTemporaryDir dir;
        const QString www = dir.filePath("www"), folder = dir.filePath("library");
        TestFolders::writeFile(www, "team/catalog.json", catalog({"alpha", "beta"}));
        const QByteArray envelope = json(QJsonObject{{"payload", QString::fromUtf8(json(QJsonArray{
                                                                      cask("firefox"), 7, cask("iterm2")}))},
                                                     {"signatures", QJsonArray{}}});
        TestFolders::writeFile(www, "bottles/api/cask.jws.json", envelope);
        TestFolders::writeFile(www, "bottles/api/cask/firefox.json", json(cask("firefox")));
        RealServer nginx;
        const QString started = nginx.startNginx(dir.filePath("nginx"), www);
        QVERIFY2(started.isEmpty(), qPrintable(started));

        SourceStore store(folder);
        auto subscribed = store.subscribe(nginx.url("/team/catalog.json"));
        QVERIFY(settle(subscribed));
        QCOMPARE(failureText(subscribed), QString());
        const CatalogSource source = subscribed.result();
        QCOMPARE(source.name, "团队目录");
        QCOMPARE(ids(store.recordsOf(source.id)), QStringList({"alpha", "beta"}));
        QVERIFY(!source.etag.isEmpty());

        // Unchanged: a 304, and nothing parsed or published again.
        QSignalSpy published(&store, &SourceStore::recordsChanged);
        auto again = store.refresh(source.id);
        QVERIFY(settle(again));
        QCOMPARE(failureText(again), QString());
        QCOMPARE(published.count(), 0);
        QVERIFY(TestFolders::readFile(dir.filePath("nginx/logs/access.log")).contains("\" 304 "));

        // Each bad answer keeps the last good copy and says why.
        const QByteArray good = TestFolders::readFile(store.copyPath(source.id));
        for (const auto &[bad, reason] : QList<QPair<QByteArray, QString>>{
                 {"<html><body>请登录</body></html>", "网页"}, {catalog({"gamma"}).chopped(9), "JSON"}}) {
            TestFolders::writeFile(www, "team/catalog.json", bad);
            auto refreshed = store.refresh(source.id);
            QVERIFY(settle(refreshed));
            QVERIFY(failureText(refreshed).contains(reason));
            QVERIFY(store.source(source.id)->error.contains(reason));
            QCOMPARE(ids(store.recordsOf(source.id)), QStringList({"alpha", "beta"}));
            QCOMPARE(TestFolders::readFile(store.copyPath(source.id)), good);
        }

        // A mirror given the way Homebrew users write it, with "/api".
        store.setBrewApiBase(nginx.url("/bottles/api/"));
        auto casks = store.refresh(SourceStore::brewSourceId());
        QVERIFY(settle(casks));
        QCOMPARE(failureText(casks), QString());
        QCOMPARE(ids(store.recordsOf(SourceStore::brewSourceId())), QStringList({"firefox", "iterm2"}));
        QCOMPARE(store.source(SourceStore::brewSourceId())->skipped, 1);
        BrewService brew(store.brewApiBase(), {});
        auto looked = brew.resolveCask("Firefox");
        QVERIFY(settle(looked));
        QCOMPARE(looked.result(), BrewService::parseBrewJson("firefox", cask("firefox")));

        // A first start where the official service is out of reach ends up on the mirror that answers.
        SourceStore fresh(dir.filePath("fresh"), nullptr,
                          {{"官方", "http://127.0.0.1:1"}, {"无", nginx.url("/none")}, {"镜像", nginx.url("/bottles")}});
        auto unreachable = fresh.refresh(SourceStore::brewSourceId());
        QVERIFY(settle(unreachable));
        QVERIFY(!failureText(unreachable).isEmpty());
        QTRY_COMPARE(fresh.suggestedBase() ? fresh.suggestedBase()->label : QString(), "镜像");
        fresh.setBrewApiBase(fresh.suggestedBase()->url);
        QVERIFY(settle(fresh.refresh(SourceStore::brewSourceId())));
        QCOMPARE(fresh.records().size(), 2);

        // Another start works offline from the copies.
        SourceStore reopened(folder);
        QVERIFY(settle(reopened.loadCopies()));
        QCOMPARE(ids(reopened.records()), QStringList({"firefox", "iterm2", "alpha", "beta"}));
        QCOMPARE(reopened.brewApiBase(), nginx.url("/bottles"));
    }
};

QTEST_GUILESS_MAIN(tst_SourceStore)
#include "tst_SourceStore.moc"
