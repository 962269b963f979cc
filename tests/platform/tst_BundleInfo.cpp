#include <QTest>

#include "platform/PropertyList.h"

// The Info.plist a Mac bundle gets, configured on every system: a template
// typo, or a name that drifted from the build, leaves a bundle that macOS
// will not launch, show with its icon, or file its settings under.
class tst_BundleInfo final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void agreesWithTheBuild_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("identifier") << "CFBundleIdentifier" << ZELVO_BUNDLE_ID;
        QTest::newRow("version") << "CFBundleShortVersionString" << ZELVO_VERSION;
        QTest::newRow("executable") << "CFBundleExecutable" << ZELVO_EXECUTABLE;
        QTest::newRow("icon") << "CFBundleIconFile" << ZELVO_EXECUTABLE ".icns";
        QTest::newRow("minimum system") << "LSMinimumSystemVersion" << "13.0";
    }
    void agreesWithTheBuild()
    {
        QFETCH(QString, key);
        QFETCH(QString, expected);
        const QByteArray name = key.toLatin1();
        const auto values = PropertyList::readTopLevelStrings(ZELVO_INFO_PLIST, {name.constData()});
        QVERIFY2(values, "not a property list");
        QCOMPARE(values->value(key), expected);
    }
};

QTEST_GUILESS_MAIN(tst_BundleInfo)
#include "tst_BundleInfo.moc"
