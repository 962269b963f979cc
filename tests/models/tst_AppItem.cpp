#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include "models/AppItem.h"
#include "models/ZelvoError.h"

namespace {

QJsonObject minimalJson()
{
    return QJsonDocument::fromJson(R"({"id":"foo","name":"Foo","category":"工具","summary":"s","description":"d",
        "sourceType":"direct","currentVersion":"1.0","packageType":"unknown"})")
        .object();
}

QJsonObject fullJson()
{
    // Values need not be real addresses here (and a double slash would confuse moc inside a raw string).
    return QJsonDocument::fromJson(R"({"id":"foo","name":"Foo","category":"工具","summary":"s","description":"d",
        "sourceType":"direct","currentVersion":"1.0","packageType":"unknown","chineseName":"福","bundleId":"com.foo",
        "appFilename":"Foo.app","iconUrl":"h.cn/i.png","homepage":"h.cn","brewName":"foo","sha256":"abc",
        "versionPatternUrl":"h.cn/{version}.dmg","versionListUrl":"h.cn/list/","downloadUrl":"h.cn/b.dmg",
        "fileSize":7,"tags":["x"],"updatedAt":"now","autoUpdates":false,
        "versions":[{"version":"2","downloadUrl":"u","releaseDate":"r","changelog":"c","fileSize":5}]})")
        .object();
}

AppItem minimalItem()
{
    return AppItem::fromJson(minimalJson());
}

} // namespace

class TestAppItem final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodingFailures_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value"); // undefined: the key only in upper case
        for (const char *key :
             {"id", "name", "category", "summary", "description", "currentVersion", "sourceType", "packageType"}) {
            QTest::addRow("missing %s", key) << key << QJsonValue(QJsonValue::Undefined);
            QTest::addRow("null %s", key) << key << QJsonValue(QJsonValue::Null);
            QTest::addRow("number %s", key) << key << QJsonValue(3);
        }
        const QJsonValue a(QStringLiteral("a"));
        const auto row = [](const char *name, const char *key, const QJsonValue &value) {
            QTest::newRow(name) << key << value;
        };
        row("capitalised sourceType", "sourceType", QStringLiteral("Direct"));
        row("unknown packageType", "packageType", QStringLiteral("tar"));
        row("upper-case packageType", "packageType", QStringLiteral("DMG"));
        row("fileSize as string", "fileSize", QStringLiteral("12"));
        row("fileSize fraction", "fileSize", 1.5);
        row("fileSize beyond int64", "fileSize", 1e20);
        row("homepage number", "homepage", 1);
        row("autoUpdates as string", "autoUpdates", QStringLiteral("true"));
        row("tags not array", "tags", a);
        row("tags with number", "tags", QJsonArray{a, 2});
        row("versions not array", "versions", QJsonObject{});
        row("version without version", "versions", QJsonArray{QJsonObject{{"downloadUrl", a}}});
        row("version with bad fileSize", "versions", QJsonArray{QJsonObject{{"version", a}, {"fileSize", a}}});
    }

    void decodingFailures()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        auto json = minimalJson();
        if (value.isUndefined()) // keys are case-sensitive: the upper-case spelling does not count
            json.insert(key.toUpper(), json.take(key));
        else
            json.insert(key, value);
        QVERIFY_THROWS_EXCEPTION(DecodingError, AppItem::fromJson(json));
    }

    void roundTrips()
    {
        auto json = minimalJson();
        json.insert(QStringLiteral("somethingNew"), QStringLiteral("ignored"));
        json.insert(QStringLiteral("iconUrl"), QJsonValue::Null);
        const auto minimal = AppItem::fromJson(json);
        QCOMPARE(minimal.toJson(), minimalJson()); // exactly the eight keys, no nulls, unknown key dropped

        // Empty lists are written and stay distinct from absent ones.
        auto empty = minimal;
        empty.tags = QStringList();
        empty.versions = QList<AppVersion>();
        QCOMPARE(AppItem::fromJson(empty.toJson()), empty);
        QCOMPARE(qHash(AppItem::fromJson(empty.toJson())), qHash(empty));
        QVERIFY(empty != minimal);

        // Every key there is, written back exactly as read.
        const auto full = AppItem::fromJson(fullJson());
        QCOMPARE(full.toJson(), fullJson());

        // Sizes beyond 2^53 must not pass through a double, in a record or in a list of them.
        for (const qint64 size :
             {(1LL << 53) + 1, std::numeric_limits<qint64>::max(), std::numeric_limits<qint64>::min(), 0LL}) {
            auto sized = full;
            sized.fileSize = size;
            sized.versions->first().fileSize = size;
            const auto back = AppItem::listFromJson(AppItem::listToJson({sized}));
            QCOMPARE(back.size(), 1);
            QCOMPARE(back.first().fileSize, std::optional<qint64>(size));
            QCOMPARE(back.first().versions->first().fileSize, std::optional<qint64>(size));
        }
    }

    void displayTexts_data()
    {
        QTest::addColumn<QString>("chineseName"); // null: absent
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("expected"); // displayName|subDisplayName|displayVersion
        const auto row = [](const char *name, const char *chineseName, const char *version, const char *expected) {
            QTest::newRow(name) << chineseName << version << expected;
        };
        row("chinese", "微信", "3.8.8", "微信|Foo|3.8.8");
        row("empty chinese, brew build", "", "128.0.6613.120,a1b2", "Foo|foo|128.0.6613.120");
        row("no chinese, two commas", nullptr, "1,2,3", "Foo|foo|1");
        row("leading comma", nullptr, ",abc", "Foo|foo|");
    }

    void displayTexts()
    {
        QFETCH(QString, chineseName);
        QFETCH(QString, version);
        QFETCH(QString, expected);
        auto app = minimalItem();
        if (!chineseName.isNull())
            app.chineseName = chineseName;
        app.currentVersion = version;
        QCOMPARE(app.displayName() + u'|' + app.subDisplayName() + u'|' + app.displayVersion(), expected);
    }

    void resolvedPackageType_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("declared");
        QTest::addColumn<QString>("url"); // null: none
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const char *source, const char *declared, const char *url,
                            const char *expected) { QTest::newRow(name) << source << declared << url << expected; };
        row("brew wins", "brew", "zip", nullptr, "brew");
        row("declared", "direct", "pkg", "x.dmg", "pkg");
        row("unknown, no url", "direct", "unknown", nullptr, "dmg");
        row("upper PKG", "direct", "unknown", "https://h/A.PKG", "pkg");
        row("zip", "customList", "unknown", "https://h/a.zip", "zip");
        row("query string", "direct", "unknown", "https://h/a.zip?x=1", "dmg");
        row("other ending", "direct", "unknown", "https://h/a.tar", "dmg");
    }

    void resolvedPackageType()
    {
        QFETCH(QString, source);
        QFETCH(QString, declared);
        QFETCH(QString, url);
        QFETCH(QString, expected);
        auto app = minimalItem();
        app.sourceType = *appSourceTypeFromRaw(source);
        app.packageType = *packageTypeFromRaw(declared);
        if (!url.isNull())
            app.downloadUrl = url;
        QCOMPARE(rawValue(app.resolvedPackageType()), expected);
    }

    void resolveDownloadUrl_data()
    {
        QTest::addColumn<QString>("pattern"); // null: none
        QTest::addColumn<QString>("asked");   // null: the current version
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const char *pattern, const char *asked, const char *expected) {
            QTest::newRow(name) << pattern << asked << expected;
        };
        row("template, current", "https://h/v{version}/A-{version}.dmg", nullptr, "https://h/v1.0/A-1.0.dmg");
        row("template beats versions", "https://h/v{version}/A-{version}.dmg", "2.0", "https://h/v2.0/A-2.0.dmg");
        row("upper placeholder", "https://h/{VERSION}.zip", "3", "https://h/3.zip");
        row("both placeholders", "https://h/{version}/{VERSION}", "3", "https://h/3/3");
        row("no placeholder", "https://h/fixed.dmg", "9", "https://h/fixed.dmg");
        row("empty template: versions", "", "2.0", "https://h/two.dmg");
        row("matching entry without url", nullptr, "3.0", "https://h/current.dmg");
        row("no entry: current address", nullptr, "7.7", "https://h/current.dmg");
        row("comma part kept", "https://h/{version}", "1.0,abc", "https://h/1.0,abc");
    }

    void resolveDownloadUrl()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, asked);
        QFETCH(QString, expected);
        auto app = minimalItem();
        app.downloadUrl = QStringLiteral("https://h/current.dmg");
        app.versions = QList<AppVersion>{{QStringLiteral("2.0"), QStringLiteral("https://h/two.dmg")},
                                         {QStringLiteral("3.0"), QString()}};
        if (!pattern.isNull())
            app.versionPatternUrl = pattern;
        const auto result = asked.isNull() ? app.resolveDownloadUrl() : app.resolveDownloadUrl(asked);
        QCOMPARE(result, std::optional<QString>(expected));
    }
};

QTEST_GUILESS_MAIN(TestAppItem)
#include "tst_AppItem.moc"
