#include <QAbstractButton>
#include <QLabel>
#include <QAction>
#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "views/MainView.h"
#include "views/components/CountBadge.h"
#include "views/components/Symbols.h"
#include "views/components/TextScaleHud.h"
#include "views/components/ThemeFont.h"

class tst_MainView : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<FontScaleManager> m_fontScale;
    QList<NavigationItem> m_built;
    std::unique_ptr<MainView> makeView();
    QAbstractButton *row(MainView &view, NavigationItem item);
    void pressShortcut(QWidget *window, int key, int times = 1);

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void startsOnDiscover();
    void rowsInSidebarOrder();
    void downloadsBadge_data();
    void downloadsBadge();
    void switchingDestinationsRebuildsTheScreen();
    void emptySidebarClickShowsDiscover();
    void placeholderWithoutScreen();
    void shortcutsDriveTheScale();
    void hudButtonsAndTooltips_data();
    void hudButtonsAndTooltips();
    void hudFollowsTheFlag();
    void existingTextsFollowTheScale();
};

std::unique_ptr<MainView> tst_MainView::makeView()
{
    auto view = std::make_unique<MainView>(*m_fontScale, [this](NavigationItem item, QWidget *parent) {
        m_built.append(item);
        auto *screen = new QLabel(Navigation::title(item), parent);
        screen->setObjectName(QStringLiteral("screen_") + Navigation::id(item));
        return screen;
    });
    view->resize(1100, 720);
    return view;
}

QAbstractButton *tst_MainView::row(MainView &view, NavigationItem item)
{
    return view.findChild<QAbstractButton *>(QStringLiteral("sidebarRow_") + Navigation::id(item));
}

void tst_MainView::pressShortcut(QWidget *window, int key, int times)
{
    for (int i = 0; i < times; ++i)
        QTest::keyClick(window, Qt::Key(key), Qt::ControlModifier);
}

void tst_MainView::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("shared")));
}

void tst_MainView::init()
{
    m_settings = std::make_unique<QSettings>(m_dir.filePath(QStringLiteral("view.ini")), QSettings::IniFormat);
    m_settings->clear();
    m_fontScale = std::make_unique<FontScaleManager>(m_settings.get());
    m_built.clear();
    FontScaleManager::shared().setScale(FontScaleManager::defaultScale);
}

void tst_MainView::cleanup()
{
    m_fontScale.reset();
    m_settings.reset();
}

void tst_MainView::startsOnDiscover()
{
    auto view = makeView();
    QCOMPARE(view->selectedItem(), std::optional(NavigationItem::discover));
    QCOMPARE(m_built, QList{NavigationItem::discover});
    QCOMPARE(view->currentScreen()->objectName(), QStringLiteral("screen_discover"));
    for (NavigationItem item : Navigation::allItems())
        QCOMPARE(row(*view, item)->isChecked(), item == NavigationItem::discover);
}

void tst_MainView::rowsInSidebarOrder()
{
    auto view = makeView();
    QStringList titles;
    for (NavigationItem item : Navigation::allItems()) {
        titles << row(*view, item)->text();
        QVERIFY(Symbols::contains(Navigation::iconName(item)));
    }
    QCOMPARE(titles, (QStringList{QStringLiteral("发现应用"), QStringLiteral("已安装"), QStringLiteral("下载管理"),
                                  QStringLiteral("应用录入")}));
}

void tst_MainView::downloadsBadge_data()
{
    QTest::addColumn<QList<int>>("counts");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<QString>("text");
    QTest::newRow("no downloads") << QList<int>{0} << false << QString();
    QTest::newRow("two downloads") << QList<int>{2} << true << QStringLiteral("2");
    QTest::newRow("two, then none") << QList<int>{2, 0} << false << QString();
}

void tst_MainView::downloadsBadge()
{
    QFETCH(QList<int>, counts);
    QFETCH(bool, visible);
    QFETCH(QString, text);
    auto view = makeView();
    view->show();
    for (int count : counts)
        view->setDownloadsBadgeCount(count);

    auto *badge = view->findChild<CountBadge *>(QStringLiteral("downloadsBadge"));
    QVERIFY(badge);
    QCOMPARE(badge->isVisible(), visible);
    // The badge sits on the downloads row, nowhere else.
    QCOMPARE(badge->parentWidget(), row(*view, NavigationItem::downloads));
    if (visible)
        QCOMPARE(badge->text(), text);
}

void tst_MainView::switchingDestinationsRebuildsTheScreen()
{
    auto view = makeView();
    view->show();
    QPointer<QWidget> firstDiscover = view->currentScreen();

    QTest::mouseClick(row(*view, NavigationItem::installed), Qt::LeftButton);
    QCOMPARE(view->selectedItem(), std::optional(NavigationItem::installed));
    QCOMPARE(view->currentScreen()->objectName(), QStringLiteral("screen_installed"));
    QVERIFY(row(*view, NavigationItem::installed)->isChecked());
    QVERIFY(!row(*view, NavigationItem::discover)->isChecked());
    QTRY_VERIFY(firstDiscover.isNull());

    QTest::mouseClick(row(*view, NavigationItem::discover), Qt::LeftButton);
    QCOMPARE(view->currentScreen()->objectName(), QStringLiteral("screen_discover"));
    // Clicking the selected row again keeps its screen and typed state.
    QPointer<QWidget> secondDiscover = view->currentScreen();
    QTest::mouseClick(row(*view, NavigationItem::discover), Qt::LeftButton);
    QCOMPARE(view->currentScreen(), secondDiscover.data());
    QCOMPARE(m_built, (QList{NavigationItem::discover, NavigationItem::installed, NavigationItem::discover}));
    QVERIFY(row(*view, NavigationItem::discover)->isChecked());
}

void tst_MainView::emptySidebarClickShowsDiscover()
{
    auto view = makeView();
    view->show();
    QTest::mouseClick(row(*view, NavigationItem::downloads), Qt::LeftButton);

    auto *sidebar = view->findChild<QWidget *>(QStringLiteral("sidebar"));
    QWidget *last = row(*view, NavigationItem::importApp);
    const QPoint below = last->mapTo(sidebar, QPoint(last->width() / 2, last->height() + 60));
    QTest::mouseClick(sidebar, Qt::LeftButton, {}, below);

    QCOMPARE(view->selectedItem(), std::nullopt);
    QCOMPARE(view->shownItem(), NavigationItem::discover);
    QCOMPARE(view->currentScreen()->objectName(), QStringLiteral("screen_discover"));
    for (NavigationItem item : Navigation::allItems())
        QVERIFY(!row(*view, item)->isChecked());
}

void tst_MainView::placeholderWithoutScreen()
{
    MainView view(*m_fontScale);
    view.setSelectedItem(NavigationItem::importApp);
    QCOMPARE(view.currentScreen()->objectName(), QStringLiteral("placeholder_importApp"));
    auto *title = view.currentScreen()->findChild<QLabel *>(QStringLiteral("placeholderTitle"));
    QCOMPARE(title->text(), QStringLiteral("应用录入"));
}

void tst_MainView::shortcutsDriveTheScale()
{
    QMainWindow window;
    auto view = makeView();
    MainView *shown = view.release();
    window.setCentralWidget(shown);
    shown->installMenus(window.menuBar());
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    // Each shortcut reaches its command; the limits belong to the scale's own tests.
    pressShortcut(&window, Qt::Key_Plus);
    pressShortcut(&window, Qt::Key_Equal);
    QVERIFY(m_fontScale->showHud());
    QCOMPARE(shown->hud()->labelText(), QStringLiteral("字号 120%"));
    pressShortcut(&window, Qt::Key_Minus);
    QCOMPARE(shown->hud()->labelText(), QStringLiteral("字号 110%"));
    pressShortcut(&window, Qt::Key_0);
    QCOMPARE(m_fontScale->scale(), 1.0);
    QCOMPARE(shown->hud()->labelText(), QStringLiteral("字号 100%"));

    // The same commands sit in the View menu, in order, after a separator.
    const QList<QMenu *> menus = window.menuBar()->findChildren<QMenu *>();
    QCOMPARE(menus.size(), 1);
    QStringList texts;
    for (QAction *action : menus.first()->actions())
        texts << (action->isSeparator() ? QStringLiteral("|") : action->text());
    QCOMPARE(texts, (QStringList{QStringLiteral("|"), QStringLiteral("放大"), QStringLiteral("缩小"),
                                 QStringLiteral("实际大小")}));
}

void tst_MainView::hudButtonsAndTooltips_data()
{
    QTest::addColumn<TextScaleHud::Part>("part");
    QTest::addColumn<double>("expected");
    QTest::newRow("minus") << TextScaleHud::Part::ZoomOut << 1.0 - 0.1;
    QTest::newRow("plus") << TextScaleHud::Part::ZoomIn << 1.0 + 0.1;
    QTest::newRow("reset") << TextScaleHud::Part::Reset << 1.0;
}

void tst_MainView::hudButtonsAndTooltips()
{
    QFETCH(TextScaleHud::Part, part);
    QFETCH(double, expected);
    auto view = makeView();
    view->show();
    m_fontScale->triggerHud();
    TextScaleHud *hud = view->hud();
    QTRY_COMPARE(hud->reveal(), 1.0);
    QVERIFY(hud->isVisible());

    const QRect target = hud->partRect(part);
    QVERIFY(!target.isEmpty());
    QTest::mouseClick(hud, Qt::LeftButton, {}, target.center());
    QVERIFY(m_fontScale->scale() == expected);

    // Centred at the top of the detail column.
    auto *column = view->findChild<QWidget *>(QStringLiteral("detailColumn"));
    QCOMPARE(hud->parentWidget(), column);
    QVERIFY(qAbs(hud->geometry().center().x() - column->width() / 2) <= 1);
    QVERIFY(hud->y() < TextScaleHud::topOffset);
}

void tst_MainView::hudFollowsTheFlag()
{
    auto view = makeView();
    view->show();
    QVERIFY(!view->hud()->isVisible());
    m_fontScale->zoomIn();
    QVERIFY(view->hud()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!m_fontScale->showHud(), 4000);
    QTRY_VERIFY(!view->hud()->isVisible());
}

void tst_MainView::existingTextsFollowTheScale()
{
    MainView view(FontScaleManager::shared());
    view.show();
    auto *footer = view.findChild<QLabel *>(QStringLiteral("sidebarFooter"));
    QAbstractButton *discover = row(view, NavigationItem::discover);
    const int rowHeight = discover->height();
    QVERIFY(qFuzzyCompare(ThemeFont::logicalSize(footer->font()), 10.0));

    FontScaleManager::shared().zoomIn();
    FontScaleManager::shared().zoomIn();
    FontScaleManager::shared().zoomIn();
    const double scale = FontScaleManager::shared().scale();
    QVERIFY(qFuzzyCompare(ThemeFont::logicalSize(footer->font()), 10 * scale));
    QVERIFY(qFuzzyCompare(ThemeFont::logicalSize(discover->font()), 13 * scale));
    QTRY_VERIFY(discover->height() > rowHeight);
    // The badge is a fixed system text.
    auto *badge = view.findChild<CountBadge *>(QStringLiteral("downloadsBadge"));
    QVERIFY(qFuzzyCompare(ThemeFont::logicalSize(badge->font()), 10.0));
}

QTEST_MAIN(tst_MainView)
#include "tst_MainView.moc"
