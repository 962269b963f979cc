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
        QTest::addColumn<QJsonValue>("value"); // undefined = remove the key

        const QStringList required = {QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("category"),
                                      QStringLiteral("summary"), QStringLiteral("description"),
                                      QStringLiteral("currentVersion"), QStringLiteral("sourceType"),
                                      QStringLiteral("packageType")};
        for (const auto &key : required) {
            QTest::addRow("missing %s", qPrintable(key)) << key << QJsonValue(QJsonValue::Undefined);
            QTest::addRow("null %s", qPrintable(key)) << key << QJsonValue(QJsonValue::Null);
            QTest::addRow("number %s", qPrintable(key)) << key << QJsonValue(3);
        }
        QTest::newRow("capitalised sourceType") << "sourceType" << QJsonValue(QStringLiteral("Direct"));
        QTest::newRow("unknown packageType") << "packageType" << QJsonValue(QStringLiteral("tar"));
        QTest::newRow("upper-case packageType") << "packageType" << QJsonValue(QStringLiteral("DMG"));
        QTest::newRow("fileSize as string") << "fileSize" << QJsonValue(QStringLiteral("12"));
        QTest::newRow("fileSize fraction") << "fileSize" << QJsonValue(1.5);
        QTest::newRow("fileSize beyond int64") << "fileSize" << QJsonValue(1e20);
        QTest::newRow("homepage number") << "homepage" << QJsonValue(1);
        QTest::newRow("tags not array") << "tags" << QJsonValue(QStringLiteral("a"));
        QTest::newRow("tags with number") << "tags" << QJsonValue(QJsonArray{QStringLiteral("a"), 2});
        QTest::newRow("versions not array") << "versions" << QJsonValue(QJsonObject{});
        QTest::newRow("version without version")
            << "versions" << QJsonValue(QJsonArray{QJsonObject{{QStringLiteral("downloadUrl"), QStringLiteral("x")}}});
        QTest::newRow("version with bad fileSize")
            << "versions"
            << QJsonValue(QJsonArray{QJsonObject{{QStringLiteral("version"), QStringLiteral("1")},
                                                 {QStringLiteral("fileSize"), QStringLiteral("big")}}});
    }

    void decodingFailures()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        auto json = minimalJson();
        if (value.isUndefined())
            json.remove(key);
        else
            json.insert(key, value);
        QVERIFY_THROWS_EXCEPTION(DecodingError, AppItem::fromJson(json));
    }

    void keysAreCaseSensitive()
    {
        auto json = minimalJson();
        json.remove(QStringLiteral("id"));
        json.insert(QStringLiteral("ID"), QStringLiteral("foo"));
        QVERIFY_THROWS_EXCEPTION(DecodingError, AppItem::fromJson(json));
    }

    void minimalRecordRoundTrips()
    {
        auto json = minimalJson();
        json.insert(QStringLiteral("somethingNew"), QStringLiteral("ignored"));
        json.insert(QStringLiteral("iconUrl"), QJsonValue::Null);
        const auto app = AppItem::fromJson(json);
        QVERIFY(!app.chineseName && !app.iconUrl && !app.versions && !app.tags && !app.fileSize);
        QCOMPARE(app.toJson(), minimalJson()); // exactly the eight keys, no nulls, unknown key dropped
    }

    void emptyListsAreKeptAndDistinctFromAbsent()
    {
        auto app = minimalItem();
        app.tags = QStringList();
        app.versions = QList<AppVersion>();
        const auto json = app.toJson();
        QVERIFY(json.value(QStringLiteral("tags")).isArray());
        QVERIFY(json.value(QStringLiteral("versions")).isArray());
        const auto back = AppItem::fromJson(json);
        QCOMPARE(back, app);
        QVERIFY(back != minimalItem());
    }

    void fileSizeKeepsAllSixtyFourBits_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::newRow("2^53 + 1") << qint64((1LL << 53) + 1);
        QTest::newRow("max") << std::numeric_limits<qint64>::max();
        QTest::newRow("min") << std::numeric_limits<qint64>::min();
        QTest::newRow("zero") << qint64(0);
    }

    void fileSizeKeepsAllSixtyFourBits()
    {
        QFETCH(qint64, size);
        auto app = minimalItem();
        app.fileSize = size;
        app.versions = QList<AppVersion>{AppVersion{QStringLiteral("1"), {}, {}, {}, size}};
        const auto bytes = AppItem::listToJson({app});
        const auto back = AppItem::listFromJson(bytes);
        QCOMPARE(back.size(), 1);
        QCOMPARE(back.first().fileSize, std::optional<qint64>(size));
        QCOMPARE(back.first().versions->first().fileSize, std::optional<qint64>(size));
    }

    void fullRecordRoundTrips()
    {
        AppItem app = minimalItem();
        app.chineseName = QStringLiteral("福");
        app.bundleId = QStringLiteral("com.foo");
        app.appFilename = QStringLiteral("Foo.app");
        app.iconUrl = QStringLiteral("https://example.com/i.png");
        app.homepage = QStringLiteral("https://example.com/");
        app.brewName = QStringLiteral("foo");
        app.versionPatternUrl = QStringLiteral("https://example.com/{version}.dmg");
        app.versionListUrl = QStringLiteral("https://example.com/list/");
        app.downloadUrl = QStringLiteral("https://example.com/a/b.dmg");
        app.sha256 = QStringLiteral("abc");
        app.versions = QList<AppVersion>{{QStringLiteral("2"), QStringLiteral("u"), QStringLiteral("r"),
                                          QStringLiteral("c"), 5}};
        app.tags = QStringList{QStringLiteral("x")};
        app.updatedAt = QStringLiteral("now");
        QCOMPARE(AppItem::fromJson(app.toJson()), app);
        QCOMPARE(qHash(AppItem::fromJson(app.toJson())), qHash(app));
    }

    void enumsParseOnlyTheirRawValues()
    {
        for (auto type : allPackageTypes())
            QCOMPARE(packageTypeFromRaw(rawValue(type)), std::optional<PackageType>(type));
        for (auto type : allAppSourceTypes())
            QCOMPARE(appSourceTypeFromRaw(rawValue(type)), std::optional<AppSourceType>(type));
        QVERIFY(!packageTypeFromRaw(QStringLiteral("Zip")));
        QCOMPARE(title(PackageType::brew), QStringLiteral("Brew 安装"));
        QCOMPARE(title(AppSourceType::customList), QStringLiteral("版本列表 / Nginx"));
    }

    void displayNames_data()
    {
        QTest::addColumn<QVariant>("chineseName");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("sub");
        QTest::newRow("chinese") << QVariant(QStringLiteral("微信")) << "微信" << "Foo";
        QTest::newRow("empty chinese") << QVariant(QString()) << "Foo" << "foo";
        QTest::newRow("no chinese") << QVariant() << "Foo" << "foo";
    }

    void displayNames()
    {
        QFETCH(QVariant, chineseName);
        QFETCH(QString, display);
        QFETCH(QString, sub);
        auto app = minimalItem();
        if (chineseName.isValid())
            app.chineseName = chineseName.toString();
        QCOMPARE(app.displayName(), display);
        QCOMPARE(app.subDisplayName(), sub);
    }

    void displayVersion_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "3.8.8" << "3.8.8";
        QTest::newRow("brew build") << "128.0.6613.120,a1b2" << "128.0.6613.120";
        QTest::newRow("two commas") << "1,2,3" << "1";
        QTest::newRow("leading comma") << ",abc" << "";
    }

    void displayVersion()
    {
        QFETCH(QString, version);
        QFETCH(QString, expected);
        auto app = minimalItem();
        app.currentVersion = version;
        QCOMPARE(app.displayVersion(), expected);
    }

    void resolvedPackageType_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("declared");
        QTest::addColumn<QVariant>("url");
        QTest::addColumn<QString>("expected");
        QTest::newRow("brew wins") << "brew" << "zip" << QVariant() << "brew";
        QTest::newRow("declared") << "direct" << "pkg" << QVariant(QStringLiteral("x.dmg")) << "pkg";
        QTest::newRow("unknown, no url") << "direct" << "unknown" << QVariant() << "dmg";
        QTest::newRow("upper PKG") << "direct" << "unknown" << QVariant(QStringLiteral("https://h/A.PKG")) << "pkg";
        QTest::newRow("zip") << "customList" << "unknown" << QVariant(QStringLiteral("https://h/a.zip")) << "zip";
        QTest::newRow("query string") << "direct" << "unknown" << QVariant(QStringLiteral("https://h/a.zip?x=1"))
                                      << "dmg";
        QTest::newRow("other ending") << "direct" << "unknown" << QVariant(QStringLiteral("https://h/a.tar"))
                                      << "dmg";
    }

    void resolvedPackageType()
    {
        QFETCH(QString, source);
        QFETCH(QString, declared);
        QFETCH(QVariant, url);
        QFETCH(QString, expected);
        auto app = minimalItem();
        app.sourceType = *appSourceTypeFromRaw(source);
        app.packageType = *packageTypeFromRaw(declared);
        if (url.isValid())
            app.downloadUrl = url.toString();
        QCOMPARE(rawValue(app.resolvedPackageType()), expected);
    }

    void resolveDownloadUrl_data()
    {
        QTest::addColumn<QVariant>("pattern");
        QTest::addColumn<QVariant>("asked");
        QTest::addColumn<QVariant>("expected");
        const QVariant none;
        const auto s = [](const char *t) { return QVariant(QString::fromUtf8(t)); };
        QTest::newRow("template, current") << s("https://h/v{version}/A-{version}.dmg") << none
                                           << s("https://h/v1.0/A-1.0.dmg");
        QTest::newRow("template beats versions") << s("https://h/v{version}/A-{version}.dmg") << s("2.0")
                                                 << s("https://h/v2.0/A-2.0.dmg");
        QTest::newRow("upper placeholder") << s("https://h/{VERSION}.zip") << s("3") << s("https://h/3.zip");
        QTest::newRow("both placeholders") << s("https://h/{version}/{VERSION}") << s("3") << s("https://h/3/3");
        QTest::newRow("no placeholder") << s("https://h/fixed.dmg") << s("9") << s("https://h/fixed.dmg");
        QTest::newRow("empty template: versions") << s("") << s("2.0") << s("https://h/two.dmg");
        QTest::newRow("matching entry without url") << none << s("3.0") << s("https://h/current.dmg");
        QTest::newRow("no entry: current address") << none << s("7.7") << s("https://h/current.dmg");
        QTest::newRow("comma part kept") << s("https://h/{version}") << s("1.0,abc") << s("https://h/1.0,abc");
    }

    void resolveDownloadUrl()
    {
        QFETCH(QVariant, pattern);
        QFETCH(QVariant, asked);
        QFETCH(QVariant, expected);
        auto app = minimalItem();
        app.downloadUrl = QStringLiteral("https://h/current.dmg");
        app.versions = QList<AppVersion>{{QStringLiteral("2.0"), QStringLiteral("https://h/two.dmg")},
                                         {QStringLiteral("3.0"), QString()}};
        if (pattern.isValid())
            app.versionPatternUrl = pattern.toString();
        const auto result = asked.isValid() ? app.resolveDownloadUrl(asked.toString()) : app.resolveDownloadUrl();
        QCOMPARE(result, std::optional<QString>(expected.toString()));
    }
};

QTEST_GUILESS_MAIN(TestAppItem)
#include "tst_AppItem.moc"
