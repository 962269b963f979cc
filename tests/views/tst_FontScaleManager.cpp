#include <QFontDatabase>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "views/components/SystemFonts.h"
#include "views/components/ThemeFont.h"

class tst_FontScaleManager : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;

    std::unique_ptr<QSettings> freshSettings()
    {
        return std::make_unique<QSettings>(m_dir.filePath(QStringLiteral("s%1.ini").arg(++m_files)),
                                           QSettings::IniFormat);
    }
    static bool sized(const QFont &font, double size) { return qFuzzyCompare(ThemeFont::logicalSize(font), size); }

private Q_SLOTS:
    // As the app starts: the system's font list read ahead (a second start is
    // a no-op), which the first face lookup waits for.
    void initTestCase()
    {
        SystemFonts::startReading();
        SystemFonts::startReading();
    }
    void init() { FontScaleManager::shared().setScale(FontScaleManager::defaultScale); }

    void startupValue_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<double>("expected");
        QTest::newRow("missing") << QVariant() << 1.0;
        QTest::newRow("residue of two steps") << QVariant(1.2000000000000002) << 1.2000000000000002;
        QTest::newRow("lower bound") << QVariant(0.8) << 0.8;
        QTest::newRow("upper bound") << QVariant(1.45) << 1.45;
        QTest::newRow("too small") << QVariant(0.5) << 1.0;
        QTest::newRow("just above 1.45") << QVariant(1.4500000000000002) << 1.0;
        QTest::newRow("not a number") << QVariant("groß") << 1.0;
    }
    void startupValue()
    {
        QFETCH(QVariant, stored);
        QFETCH(double, expected);
        auto settings = freshSettings();
        if (stored.isValid())
            settings->setValue(FontScaleManager::settingsKey(), stored);
        FontScaleManager manager(settings.get());
        QVERIFY2(manager.scale() == expected, qPrintable(QString::number(manager.scale(), 'g', 17)));
        QVERIFY(!manager.showHud());
        // A rejected value stays stored until the next change overwrites it.
        QCOMPARE(settings->value(FontScaleManager::settingsKey()), stored);
    }

    void stepsAreStoredAndClamped_data()
    {
        QTest::addColumn<QString>("keys"); // + zoom in, - zoom out, 0 reset
        QTest::addColumn<QList<double>>("scales");
        QTest::addColumn<int>("changes");
        // Plain floating-point steps, never snapped: the residues must survive exactly.
        QTest::newRow("five zoom-ins reach the maximum, a sixth changes nothing")
            << "++++++"
            << QList<double>{1.0 + 0.1, 1.0 + 0.1 + 0.1, 1.0 + 0.1 + 0.1 + 0.1, 1.0 + 0.1 + 0.1 + 0.1 + 0.1, 1.45, 1.45}
            << 5;
        QTest::newRow("zoom-out stops at the minimum") << "---" << QList<double>{1.0 - 0.1, 0.8, 0.8} << 2;
        QTest::newRow("reset") << "++0" << QList<double>{1.0 + 0.1, 1.0 + 0.1 + 0.1, 1.0} << 3;
    }
    void stepsAreStoredAndClamped()
    {
        QFETCH(QString, keys);
        QFETCH(QList<double>, scales);
        QFETCH(int, changes);
        auto settings = freshSettings();
        FontScaleManager manager(settings.get());
        QSignalSpy changed(&manager, &FontScaleManager::scaleChanged);
        QVERIFY(!settings->contains(FontScaleManager::settingsKey())); // first launch writes nothing
        for (int i = 0; i < keys.size(); ++i) {
            settings->remove(FontScaleManager::settingsKey()); // every step stores, also one at a limit
            keys[i] == u'+' ? manager.zoomIn() : keys[i] == u'-' ? manager.zoomOut() : manager.reset();
            QVERIFY2(manager.scale() == scales[i], qPrintable(QString::number(manager.scale(), 'g', 17)));
            QVERIFY(settings->value(FontScaleManager::settingsKey()).toDouble() == scales[i]);
            QVERIFY(manager.showHud());
        }
        QCOMPARE(changed.size(), changes);
        // The last value survives a relaunch.
        settings->sync();
        QSettings reread(settings->fileName(), QSettings::IniFormat);
        QVERIFY(FontScaleManager(&reread).scale() == scales.last());
    }

    void fontsFollowTheScale()
    {
        QWidget window;
        auto *title = new QLabel("探索与发现", &window);
        ThemeFont::apply(title, 22, QFont::DemiBold);
        auto *hidden = new QLabel("稍后显示", &window);
        ThemeFont::apply(hidden, 12);
        hidden->hide();
        window.show();

        FontScaleManager::shared().zoomIn();
        FontScaleManager::shared().zoomIn();
        const double scale = FontScaleManager::shared().scale();
        QVERIFY(sized(title->font(), 22 * scale));
        // Hidden texts follow too, so that they show at the right size.
        QVERIFY(sized(hidden->font(), 12 * scale));

        // Versions and sizes line up: every digit is as wide as every other. The
        // face is named as installed, not by the platform's alias for it.
        QVERIFY(QFontDatabase::families().contains(appNumeric(11).family()));
        const QFontMetricsF metrics(appNumeric(11));
        QCOMPARE(metrics.horizontalAdvance("1111"), metrics.horizontalAdvance("8888"));
        QCOMPARE(metrics.horizontalAdvance("i.l1"), metrics.horizontalAdvance("MW08"));
        // Chinese text must find glyphs on every platform.
        QVERIFY(QFontMetrics(pingFang(13)).inFontUcs4(U'发'));
    }
};

QTEST_MAIN(tst_FontScaleManager)
#include "tst_FontScaleManager.moc"
