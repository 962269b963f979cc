#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include "services/InstalledDetector.h"
#include "support/TestFolders.h"

namespace {

AppItem record(std::optional<QString> bundleId, std::optional<QString> appFilename, QString name, QString version)
{
    return {.id = "x", .name = name, .bundleId = bundleId, .appFilename = appFilename, .currentVersion = version};
}

} // namespace

class TestInstalledDetector final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_system, m_user, m_global;
    InstalledAppMap m_map;

private Q_SLOTS:
    void initTestCase()
    {
        m_global = m_root.filePath("Applications");
        m_system = m_root.filePath("System/Applications");
        m_user = m_root.filePath("home/Applications");
        using TestFolders::makeBundle;
        makeBundle(m_global, "Foo", "com.Example.Foo", "1.0");
        makeBundle(m_global, "Binary", "com.example.binary", "2.5", true);
        makeBundle(m_global, "NoId", QString(), "3");
        makeBundle(m_global, "Shared", "com.example.shared", "1.0");
        makeBundle(m_user, "Shared", "com.example.shared", "2.0");
        makeBundle(m_system, "Calculator", "com.apple.calculator", "11");
        makeBundle(m_global + "/Utilities", "Terminal", "com.apple.Terminal", "2");
        makeBundle(m_global, ".Hidden", "com.example.hidden", "1");
        const QByteArray plist = TestFolders::readFile(m_global + "/Foo.app/Contents/Info.plist");
        TestFolders::writeFile(m_global, "Upper.APP/Contents/Info.plist", plist);
        QDir().mkpath(m_global + "/Empty.app/Contents");
        TestFolders::writeFile(m_global, "Broken.app/Contents/Info.plist", "<plist><dict><key>");
        TestFolders::writeFile(m_global, "Array.app/Contents/Info.plist",
                               R"(<?xml version="1.0"?><plist version="1.0"><array><string>x</string></array></plist>)");
        // Typed values that are not text fall back to the next key.
        TestFolders::writeFile(m_global, "Typed.app/Contents/Info.plist", R"(<?xml version="1.0"?>
<plist version="1.0"><dict>
<key>CFBundleShortVersionString</key><integer>7</integer>
<key>CFBundleVersion</key><string>5.1</string>
<key>CFBundleIdentifier</key><array/>
</dict></plist>)");
        // Neither may stall or bloat the scan: a pipe never ends, and a real
        // Info.plist is far below 4 MiB.
        QDir().mkpath(m_global + "/Fifo.app/Contents");
        QCOMPARE(::mkfifo(QFile::encodeName(m_global + "/Fifo.app/Contents/Info.plist"), 0644), 0);
        TestFolders::writeFile(m_global, "Huge.app/Contents/Info.plist", R"(<?xml version="1.0"?>
<plist version="1.0"><dict><key>CFBundleIdentifier</key><string>com.example.huge</string><key>Pad</key><string>)" +
            QByteArray(4 << 20, 'x') + "</string></dict></plist>");
        InstalledDetector detector({m_global, m_system, m_root.filePath("missing"), m_user});
        m_map = detector.scanInstalledApps();
    }

    void scanKeys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("found");
        QTest::newRow("identifier lower-cased") << "com.example.foo" << true;
        QTest::newRow("file name lower-cased") << "foo" << true;
        QTest::newRow("binary plist") << "com.example.binary" << true;
        QTest::newRow("empty identifier: name only") << "noid" << true;
        QTest::newRow("no sub-folders") << "terminal" << false;
        QTest::newRow("no sub-folders by id") << "com.apple.terminal" << false;
        QTest::newRow("hidden bundle") << "com.example.hidden" << false;
        QTest::newRow("upper-case extension") << "upper" << false;
        QTest::newRow("no Info.plist") << "empty" << false;
        QTest::newRow("malformed Info.plist") << "broken" << false;
        QTest::newRow("array at top level") << "array" << false;
        QTest::newRow("FIFO for Info.plist") << "fifo" << false;
        QTest::newRow("oversized Info.plist") << "com.example.huge" << false;
        QTest::newRow("system folder") << "com.apple.calculator" << true;
    }

    void scanKeys()
    {
        QFETCH(QString, key);
        QFETCH(bool, found);
        QCOMPARE(m_map.contains(key), found);
    }

    void scanRecords()
    {
        QCOMPARE(m_map.value("foo"), m_map.value("com.example.foo"));
        QCOMPARE(m_map.value("foo").bundleId, std::optional<QString>("com.Example.Foo"));
        QCOMPARE(m_map.value("foo").bundlePath, m_global + "/Foo.app");
        QCOMPARE(m_map.value("binary").version, std::optional<QString>("2.5"));
        const auto typed = m_map.value("typed");
        QCOMPARE(typed.version, std::optional<QString>("5.1"));
        QCOMPARE(typed.bundleId, std::nullopt);
        QCOMPARE(typed.name, "Typed");
        QVERIFY(!m_map.contains(QString())); // the empty identifier is never a key
        // The user's own folder is scanned last and wins.
        QCOMPARE(m_map.value("com.example.shared").version, std::optional<QString>("2.0"));
        QCOMPARE(m_map.value("shared").bundlePath, m_user + "/Shared.app");
    }

    void matching_data()
    {
        QTest::addColumn<QVariant>("bundleId");
        QTest::addColumn<QVariant>("appFilename");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expectedPath");
        const QVariant none;
        // By identifier in any case, and by bundle file name: the update finder's table.
        QTest::newRow("file name as path") << none << QVariant("/x/Binary.app") << "zzz" << "Binary.app";
        QTest::newRow("name, case-insensitive") << none << none << "FOO" << "Foo.app";
        QTest::newRow("empty identifier falls back") << QVariant(QString()) << none << "noid" << "NoId.app";
        QTest::newRow("nothing matches") << QVariant("com.nope") << none << "nope" << "";
        QTest::newRow("name keeps its extension") << none << none << "Foo.app" << "";
    }

    void matching()
    {
        QFETCH(QVariant, bundleId);
        QFETCH(QVariant, appFilename);
        QFETCH(QString, name);
        QFETCH(QString, expectedPath);
        const auto optional = [](const QVariant &v) {
            return v.isValid() ? std::optional(v.toString()) : std::nullopt;
        };
        const auto app = record(optional(bundleId), optional(appFilename), name, "1.0");
        const auto status = InstalledDetector::checkStatus(app, m_map);
        if (expectedPath.isEmpty())
            QCOMPARE(status, AppInstallStatus::notInstalled());
        else
            QVERIFY2(status.path.endsWith(QLatin1Char('/') + expectedPath), qPrintable(status.path));
    }

    void classification_data()
    {
        QTest::addColumn<QVariant>("installed"); // invalid = bundle without version
        QTest::addColumn<QString>("catalog");
        QTest::addColumn<bool>("outdated");
        const auto v = [](const char *t) { return QVariant(QString::fromUtf8(t)); };
        QTest::newRow("1.0 vs 1.0.0") << v("1.0") << "1.0.0" << false;
        QTest::newRow("1.9 vs 1.10") << v("1.9") << "1.10" << true;
        QTest::newRow("2.0 vs 1.9.9") << v("2.0") << "1.9.9" << false;
        QTest::newRow("comma build") << v("1.2.3,456") << "1.2.3" << false;
        QTest::newRow("underscore build") << v("1.2.3_456") << "1.2.3" << false;
        QTest::newRow("V prefix") << v("V3.1") << "3.1" << false;
        QTest::newRow("v prefix") << v("v3.1") << "3.1" << false;
        QTest::newRow("no version") << QVariant() << "1.0" << true;
        QTest::newRow("parenthesised build dropped") << v("1.2.3 (45)") << "1.2.3" << true;
        QTest::newRow("empty catalog") << v("4.5") << "" << false;
        QTest::newRow("catalog with comma") << v("128.0.6613.120") << "128.0.6613.120,abc" << false;
        QTest::newRow("older by comma'd catalog") << v("127") << "128.0,abc" << true;
        QTest::newRow("whitespace") << v(" 2.0\n") << "2.0" << false;
        QTest::newRow("beta piece dropped") << v("2.1b3") << "2.0" << false;
        QTest::newRow("signs") << v("1.-1") << "1.0" << true;
        QTest::newRow("overflow dropped") << v("99999999999999999999.1") << "1" << false;
        QTest::newRow("empty pieces") << v("1..2") << "1.2" << false;
    }

    void classification()
    {
        QFETCH(QVariant, installed);
        QFETCH(QString, catalog);
        QFETCH(bool, outdated);
        InstalledAppMap map;
        const auto version = installed.isValid() ? std::optional(installed.toString()) : std::nullopt;
        map.insert("foo", {"Foo", std::nullopt, version, "/A/Foo.app"});
        const auto status = InstalledDetector::checkStatus(record(std::nullopt, std::nullopt, "Foo", catalog), map);
        const QString raw = installed.isValid() ? installed.toString() : "0.0.0";
        if (outdated)
            QCOMPARE(status, AppInstallStatus::updateAvailable(raw, catalog, "/A/Foo.app"));
        else
            QCOMPARE(status, AppInstallStatus::installed(raw, "/A/Foo.app"));
    }

    void normalize_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("v once") << "vv1" << "v1";
        QTest::newRow("not trimmed again") << " v 1.0" << " 1.0";
        QTest::newRow("comma before underscore") << "1_2,3" << "1";
        QTest::newRow("case kept") << "1.0-Beta" << "1.0-Beta";
    }

    void normalize()
    {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(InstalledDetector::normalizeVersion(in), out);
    }
};

QTEST_GUILESS_MAIN(TestInstalledDetector)
#include "tst_InstalledDetector.moc"
