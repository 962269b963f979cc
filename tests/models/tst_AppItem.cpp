#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
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

struct Outcome
{
    AppItemList list;
    QString error;
};

Outcome outcome(AppItemList (*read)(const QByteArray &), const QByteArray &json)
{
    try {
        return {read(json), {}};
    } catch (const DecodingError &error) {
        return {{}, error.localizedDescription()};
    }
}

// Records as this app writes them (several slices of the file, in Qt's
// layout), some with a field spoilt, dropped, or nothing like the rest.
QByteArray generatedLibrary()
{
    QRandomGenerator random(7);
    const QJsonValue odd[] = {QJsonValue::Null, 7, 1.5, 1e20, -0.5, true, "Direct", "微信\n\t\u0001\"\\/", QJsonObject(),
                              QJsonArray{"t", QJsonValue::Null}, QJsonArray{QJsonObject{{"version", "2"}}},
                              QJsonArray{QJsonObject{{"fileSize", 1}}}};
    const auto full = fullJson();
    const QStringList keys = full.keys() << QStringLiteral("unknown");
    QJsonArray records;
    for (int i = 0; i < 3000; ++i) {
        auto record = full;
        record.insert(QStringLiteral("id"), QStringLiteral("app-%1").arg(i));
        for (int change = random.bounded(3); change > 0; --change) {
            const QString key = keys[random.bounded(keys.size())];
            if (random.bounded(4) == 0)
                record.remove(key);
            else
                record.insert(key, odd[random.bounded(int(std::size(odd)))]);
        }
        records.append(random.bounded(100) ? QJsonValue(record) : odd[random.bounded(int(std::size(odd)))]);
    }
    return QJsonDocument(records).toJson(QJsonDocument::Indented);
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

    // The library file is read with simdjson; whatever the text, the outcome
    // must be the one QJsonDocument gives.
    void fastReadingMatchesQt_data()
    {
        QTest::addColumn<QByteArray>("json");
        const QByteArray base = R"({"id":"a","name":"A","category":"c","summary":"s","description":"d",)"
                                R"("sourceType":"direct","currentVersion":"1","packageType":"dmg")";
        // The members follow the base record's, so a key given again
        // overrides it; a good record goes first.
        const auto record = [&](const QByteArray &name, const QByteArray &members) {
            QTest::newRow(name.constData()) << "[" + base + "}," + base + members + "}]";
        };
        record("full", "," + QJsonDocument(fullJson()).toJson(QJsonDocument::Compact).mid(1).chopped(1));
        record("nulls", R"(,"chineseName":null,"fileSize":null,"tags":null,"versions":null,"autoUpdates":null)");
        record("null required", R"(,"name":null)");
        record("later key wins", R"(,"name":5,"name":"B")");
        record("later key spoils", R"(,"name":"B","name":5)");
        record("escaped key", R"(,"n\u0061me":"B")");
        record("key with NUL", R"(,"name\u0000":5)");
        record("unknown keys", R"(,"x":{"y":[1,null,true,{"z":-2.5}]},"X":[])");
        record("escapes", R"(,"summary":"\/\b\f\n\r\t\u0000\u00e9\ud83d\ude00")"); // \" and \\ come in "generated"
        record("noncharacter", ",\"summary\":\"\xEF\xBF\xBE\"");
        record("lone surrogate", R"(,"summary":"\ud800")");
        record("raw tab", ",\"summary\":\"\t\"");
        record("tag null", R"(,"tags":["t",null])");
        record("version without version", R"(,"versions":[{"fileSize":1}])");
        record("version twice", R"(,"versions":[{"version":1,"version":"2","fileSize":2.0}])");
        for (const QByteArray size :
             {"1.0", "1e3", "-0", "9.2e18", "9223372036854775807", "-9223372036854775808", "1.5", "9223372036854775808",
              "9.223372036854775807e18", "-9223372036854775809", "123456789012345678901234567890", "\"7\"", "0.0",
              "-0e0", "1e-400"}) {
            record("fileSize " + size, R"(,"fileSize":)" + size);
            record("version's fileSize " + size, R"(,"versions":[{"version":"1","fileSize":)" + size + "}]");
        }

        const auto file = [](const char *name, const QByteArray &json) { QTest::newRow(name) << json; };
        file("byte-order mark", "\xEF\xBB\xBF [" + base + "}]");
        file("two byte-order marks", "\xEF\xBB\xBF\xEF\xBB\xBF[]");
        file("no records", R"([1,"x",null,[],{}])");
        file("empty", " []\r\n");
        file("object", "{}");
        file("number", "5");
        file("nothing", "");
        file("cut short", "[" + base);
        file("trailing comma", "[" + base + "},]");
        file("garbage after", "[] x");
        file("invalid UTF-8", "[\"\xC0\xAF\"]");
        file("1.", "[1.]");
        file("deepest", QByteArray(1024, '[') + QByteArray(1024, ']'));
        file("too deep", QByteArray(1025, '[') + QByteArray(1025, ']'));
        const QByteArray generated = generatedLibrary();
        file("generated", generated);
        file("generated, 1e-400 at the end", generated.chopped(3) + ",1e-400]");
        file("generated, cut short", generated.chopped(3));
        file("generated after a form feed", "\f" + generated);
        // Where this app's writer ends a record, inside a record laid out by hand.
        const QByteArray big = base + ",\"x\":\"" + QByteArray(300'000, 'a') + "\"";
        file("record end inside a record", "[\n    " + big + "\n    },\n    " + big + ",\"y\":{\n    },\"z\":1}]");
        file("trailing comma after a long record", "[\n    " + big + "\n    },\n]");
    }

    void fastReadingMatchesQt()
    {
        QFETCH(QByteArray, json);
        const auto qt = outcome(&AppItem::listFromJsonSkippingBadWithQt, json);
        // A file read from disk has room after its text and is parsed where it is.
        QByteArray roomy = json;
        roomy.reserve(json.size() + 64);
        for (const QByteArray &text : {QByteArray(json.constData(), json.size()), roomy}) {
            const auto fast = outcome(&AppItem::listFromJsonSkippingBad, text);
            QCOMPARE(fast.error, qt.error);
            QCOMPARE(fast.list.skipped, qt.list.skipped);
            QCOMPARE(AppItem::listToJson(fast.list.apps), AppItem::listToJson(qt.list.apps));
            QVERIFY(fast.list.apps == qt.list.apps); // and what JSON cannot tell apart, a lone surrogate
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
