#include <QElapsedTimer>
#include <QLabel>
#include <QListView>
#include <QSettings>
#include <QSignalSpy>
#include <QStringListModel>
#include <QStyledItemDelegate>
#include <QTemporaryDir>
#include <QTest>

#include "views/components/ThemeFont.h"

namespace {

// Rows as tall as a 13-point PingFang line plus padding, measured at paint time.
class ScaledDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return {100, QFontMetrics(pingFang(13)).height() + 8};
    }
};

} // namespace

class tst_FontScaleManager : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_files = 0;
    std::unique_ptr<QSettings> freshSettings();

private Q_SLOTS:
    void initTestCase();
    void init();
    void startupValue_data();
    void startupValue();
    void firstLaunchWritesNothingUntilAChange();
    void fiveZoomInsEndAtMaximum();
    void zoomOutStopsAtMinimum();
    void resetReturnsToDefault();
    void storedValueSurvivesRelaunch();
    void percentText_data();
    void percentText();
    void hudStaysUpAfterLastOfQuickChanges();
    void fontFunctionsFollowScale();
    void declaredWidgetFontsFollowScale();
    void itemViewsRelayoutOnScaleChange();
};

std::unique_ptr<QSettings> tst_FontScaleManager::freshSettings()
{
    return std::make_unique<QSettings>(m_dir.filePath(QStringLiteral("s%1.ini").arg(++m_files)),
                                       QSettings::IniFormat);
}

void tst_FontScaleManager::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // The shared manager must never touch the developer's own settings.
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("shared")));
}

void tst_FontScaleManager::init()
{
    FontScaleManager::shared().setScale(FontScaleManager::defaultScale);
}

void tst_FontScaleManager::startupValue_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<double>("expected");
    QTest::newRow("missing") << QVariant() << 1.0;
    QTest::newRow("residue of two steps") << QVariant(1.2000000000000002) << 1.2000000000000002;
    QTest::newRow("lower bound") << QVariant(0.8) << 0.8;
    QTest::newRow("upper bound") << QVariant(1.45) << 1.45;
    QTest::newRow("too large") << QVariant(2.0) << 1.0;
    QTest::newRow("too small") << QVariant(0.5) << 1.0;
    QTest::newRow("just above 1.45") << QVariant(1.4500000000000002) << 1.0;
    QTest::newRow("not a number") << QVariant(QStringLiteral("groß")) << 1.0;
}

void tst_FontScaleManager::startupValue()
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

void tst_FontScaleManager::firstLaunchWritesNothingUntilAChange()
{
    auto settings = freshSettings();
    FontScaleManager manager(settings.get());
    QVERIFY(!settings->contains(FontScaleManager::settingsKey()));
    manager.zoomOut();
    QCOMPARE(settings->value(FontScaleManager::settingsKey()).toDouble(), 0.9);
}

void tst_FontScaleManager::fiveZoomInsEndAtMaximum()
{
    auto settings = freshSettings();
    FontScaleManager manager(settings.get());
    QSignalSpy scaleSpy(&manager, &FontScaleManager::scaleChanged);

    double expected = 1.0;
    for (int i = 0; i < 4; ++i) {
        manager.zoomIn();
        expected += 0.1; // plain floating-point steps, never snapped
        // QCOMPARE on doubles is fuzzy; the residue must survive exactly.
        QVERIFY2(manager.scale() == expected, qPrintable(QString::number(manager.scale(), 'g', 17)));
    }
    manager.zoomIn();
    QVERIFY(manager.scale() == 1.45);
    QCOMPARE(scaleSpy.count(), 5);

    // A sixth leaves the value, stores it again and shows the HUD again.
    settings->remove(FontScaleManager::settingsKey());
    manager.zoomIn();
    QVERIFY(manager.scale() == 1.45);
    QCOMPARE(settings->value(FontScaleManager::settingsKey()).toDouble(), 1.45);
    QVERIFY(manager.showHud());
    QCOMPARE(scaleSpy.count(), 5);
}

void tst_FontScaleManager::zoomOutStopsAtMinimum()
{
    auto settings = freshSettings();
    FontScaleManager manager(settings.get());
    manager.zoomOut();
    QVERIFY(manager.scale() == 1.0 - 0.1);
    manager.zoomOut();
    QVERIFY(manager.scale() == 0.8);
    manager.zoomOut();
    QVERIFY(manager.scale() == 0.8);
    QCOMPARE(settings->value(FontScaleManager::settingsKey()).toDouble(), 0.8);
}

void tst_FontScaleManager::resetReturnsToDefault()
{
    auto settings = freshSettings();
    FontScaleManager manager(settings.get());
    manager.zoomIn();
    manager.zoomIn();
    manager.reset();
    QCOMPARE(manager.scale(), 1.0);
    QCOMPARE(manager.percentText(), QStringLiteral("100%"));
    QCOMPARE(settings->value(FontScaleManager::settingsKey()).toDouble(), 1.0);
    QVERIFY(manager.showHud());
}

void tst_FontScaleManager::storedValueSurvivesRelaunch()
{
    auto settings = freshSettings();
    {
        FontScaleManager first(settings.get());
        first.zoomIn();
        first.zoomIn();
    }
    settings->sync();
    QSettings reread(settings->fileName(), QSettings::IniFormat);
    FontScaleManager second(&reread);
    QVERIFY(second.scale() == 1.0 + 0.1 + 0.1);
    QCOMPARE(second.percentText(), QStringLiteral("120%"));
}

void tst_FontScaleManager::percentText_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<QString>("text");
    QTest::newRow("residue") << 1.2000000000000002 << QStringLiteral("120%");
    QTest::newRow("below residue") << 1.0 - 0.1 - 0.1 - 0.1 << QStringLiteral("70%");
    QTest::newRow("half rounds away from zero") << 0.125 << QStringLiteral("13%");
}

void tst_FontScaleManager::percentText()
{
    QFETCH(double, scale);
    QFETCH(QString, text);
    QCOMPARE(FontScaleManager::percentText(scale), text);
}

void tst_FontScaleManager::hudStaysUpAfterLastOfQuickChanges()
{
    auto settings = freshSettings();
    FontScaleManager manager(settings.get());
    QSignalSpy hudSpy(&manager, &FontScaleManager::showHudChanged);

    manager.zoomIn();
    QTest::qWait(300);
    manager.zoomIn();
    QTest::qWait(300);
    manager.zoomOut();
    QElapsedTimer sinceLast;
    sinceLast.start();

    // Shown once and never dropped in between; the countdown restarted at the last change.
    QCOMPARE(hudSpy.count(), 1);
    QVERIFY(manager.showHud());
    QVERIFY(manager.hideTimer().isActive());
    QVERIFY(manager.hideTimer().remainingTime() > FontScaleManager::hudHideDelayMs - 100);

    QTRY_VERIFY_WITH_TIMEOUT(!manager.showHud(), 5000);
    QVERIFY(sinceLast.elapsed() >= FontScaleManager::hudHideDelayMs - 20);
    QCOMPARE(hudSpy.count(), 2);
    QCOMPARE(hudSpy.at(1).at(0).toBool(), false);
}

void tst_FontScaleManager::fontFunctionsFollowScale()
{
    FontScaleManager::shared().zoomIn();
    FontScaleManager::shared().zoomIn();
    const double scale = FontScaleManager::shared().scale();

    const QFont medium = pingFang(12, QFont::Medium);
    QVERIFY(qFuzzyCompare(ThemeFont::logicalSize(medium), 12 * scale));
    QVERIFY(!QFontInfo(medium).fixedPitch());

    const QFont numeric = appNumeric(11);
    QVERIFY(qFuzzyCompare(ThemeFont::logicalSize(numeric), 11 * scale));
    // Versions and sizes line up: every digit is as wide as every other.
    const QFontMetricsF metrics(numeric);
    QCOMPARE(metrics.horizontalAdvance(QStringLiteral("1111")), metrics.horizontalAdvance(QStringLiteral("8888")));
    QCOMPARE(metrics.horizontalAdvance(QStringLiteral("i.l1")), metrics.horizontalAdvance(QStringLiteral("MW08")));

    // Fixed system texts ignore the scale.
    QVERIFY(qFuzzyCompare(ThemeFont::logicalSize(ThemeFont::systemFont(10, QFont::Bold)), 10.0));
    // Chinese text must find glyphs on every platform.
    QVERIFY(QFontMetrics(pingFang(13)).inFontUcs4(U'发'));
}

void tst_FontScaleManager::declaredWidgetFontsFollowScale()
{
    QWidget window;
    auto *title = new QLabel(QStringLiteral("探索与发现"), &window);
    ThemeFont::apply(title, 22, QFont::DemiBold);
    auto *numeric = new QLabel(QStringLiteral("v1.2.3"), &window);
    ThemeFont::apply(numeric, 10, QFont::Medium, ThemeFont::Face::Numeric);
    auto *fixed = new QLabel(QStringLiteral("2"), &window);
    ThemeFont::apply(fixed, 10, QFont::Bold, ThemeFont::Face::System);
    auto *hidden = new QLabel(QStringLiteral("稍后显示"), &window);
    ThemeFont::apply(hidden, 12);
    hidden->hide();
    window.show();

    FontScaleManager::shared().zoomOut();
    const double scale = FontScaleManager::shared().scale();
    QVERIFY(qFuzzyCompare(ThemeFont::logicalSize(title->font()), 22 * scale));
    QCOMPARE(title->font().weight(), pingFang(22, QFont::DemiBold).weight());
    QVERIFY(qFuzzyCompare(ThemeFont::logicalSize(numeric->font()), 10 * scale));
    QCOMPARE(numeric->font().family(), appNumeric(10).family());
    QVERIFY(qFuzzyCompare(ThemeFont::logicalSize(fixed->font()), 10.0));
    QVERIFY(qFuzzyCompare(ThemeFont::logicalSize(hidden->font()), 12 * scale));

    // A widget declared after the change starts at the current scale.
    auto *late = new QLabel(QStringLiteral("新"), &window);
    ThemeFont::apply(late, 15);
    QVERIFY(qFuzzyCompare(ThemeFont::logicalSize(late->font()), 15 * scale));
}

void tst_FontScaleManager::itemViewsRelayoutOnScaleChange()
{
    QStringListModel model({QStringLiteral("Google Chrome"), QStringLiteral("微信")});
    QListView view;
    view.setItemDelegate(new ScaledDelegate(&view));
    ThemeFont::apply(&view, 13);
    view.setModel(&model);
    view.resize(300, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const int before = view.visualRect(model.index(1)).top();

    FontScaleManager::shared().zoomIn();
    FontScaleManager::shared().zoomIn();
    FontScaleManager::shared().zoomIn();
    QTRY_VERIFY(view.visualRect(model.index(1)).top() > before);
}

QTEST_MAIN(tst_FontScaleManager)
#include "tst_FontScaleManager.moc"
