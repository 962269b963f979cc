#include <QAbstractButton>
#include <QLabel>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "views/MainView.h"
#include "views/components/CountBadge.h"
#include "views/components/TextScaleHud.h"
#include "views/components/ThemeFont.h"

class tst_MainView : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<FontScaleManager> m_fontScale;
    QList<NavigationItem> m_built;

    // Screens are labels named after their destination; every build is recorded.
    std::unique_ptr<MainView> makeView()
    {
        auto view = std::make_unique<MainView>(*m_fontScale, [this](NavigationItem item, QWidget *parent) {
            m_built.append(item);
            auto *screen = new QLabel(Navigation::title(item), parent);
            screen->setObjectName("screen_" + Navigation::id(item));
            return screen;
        });
        view->resize(1100, 720);
        view->show();
        return view;
    }
    static QAbstractButton *row(MainView &view, NavigationItem item)
    {
        return view.findChild<QAbstractButton *>("sidebarRow_" + Navigation::id(item));
    }
    static void verifyChecked(MainView &view, std::optional<NavigationItem> checked)
    {
        for (NavigationItem item : Navigation::allItems())
            QCOMPARE(row(view, item)->isChecked(), item == checked);
    }

private Q_SLOTS:
    void init()
    {
        m_settings = std::make_unique<QSettings>(m_dir.filePath("view.ini"), QSettings::IniFormat);
        m_settings->clear();
        m_fontScale = std::make_unique<FontScaleManager>(m_settings.get());
        m_built.clear();
        FontScaleManager::shared().setScale(FontScaleManager::defaultScale);
    }
    void cleanup()
    {
        m_fontScale.reset();
        m_settings.reset();
    }

    void switchingDestinationsRebuildsTheScreen()
    {
        auto view = makeView();
        QCOMPARE(view->selectedItem(), std::optional(NavigationItem::discover));
        QCOMPARE(view->currentScreen()->objectName(), "screen_discover");
        verifyChecked(*view, NavigationItem::discover);
        QPointer<QWidget> firstDiscover = view->currentScreen();
        QTest::mouseClick(row(*view, NavigationItem::installed), Qt::LeftButton);
        QCOMPARE(view->selectedItem(), std::optional(NavigationItem::installed));
        QCOMPARE(view->currentScreen()->objectName(), "screen_installed");
        verifyChecked(*view, NavigationItem::installed);
        QTRY_VERIFY(firstDiscover.isNull());

        QTest::mouseClick(row(*view, NavigationItem::discover), Qt::LeftButton);
        // Clicking the selected row again keeps its screen and typed state.
        QPointer<QWidget> secondDiscover = view->currentScreen();
        QTest::mouseClick(row(*view, NavigationItem::discover), Qt::LeftButton);
        QCOMPARE(view->currentScreen(), secondDiscover.data());
        QCOMPARE(m_built, (QList{NavigationItem::discover, NavigationItem::installed, NavigationItem::discover}));
        verifyChecked(*view, NavigationItem::discover);
    }

    void emptySidebarClickShowsDiscover()
    {
        auto view = makeView();
        QTest::mouseClick(row(*view, NavigationItem::downloads), Qt::LeftButton);
        auto *sidebar = view->findChild<QWidget *>("sidebar");
        QWidget *last = row(*view, NavigationItem::importApp);
        const QPoint below = last->mapTo(sidebar, QPoint(last->width() / 2, last->height() + 60));
        QTest::mouseClick(sidebar, Qt::LeftButton, {}, below);
        QCOMPARE(view->selectedItem(), std::nullopt);
        QCOMPARE(view->shownItem(), NavigationItem::discover);
        QCOMPARE(view->currentScreen()->objectName(), "screen_discover");
        verifyChecked(*view, std::nullopt);
    }

    void hudButtonsAndHiding()
    {
        auto view = makeView();
        TextScaleHud *hud = view->hud();
        QVERIFY(!hud->isVisible());
        using Part = TextScaleHud::Part;
        const QList<std::pair<Part, double>> clicks{
            {Part::ZoomOut, 1.0 - 0.1}, {Part::Reset, 1.0}, {Part::ZoomIn, 1.0 + 0.1}};
        for (const auto &[part, expected] : clicks) {
            m_fontScale->triggerHud();
            QTRY_COMPARE(hud->reveal(), 1.0);
            QTest::mouseClick(hud, Qt::LeftButton, {}, hud->partRect(part).center());
            QVERIFY(m_fontScale->scale() == expected);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!m_fontScale->showHud(), 4000);
        QTRY_VERIFY(!hud->isVisible());
    }

    void rowsGrowWithTheScaleBadgeStays()
    {
        MainView view(FontScaleManager::shared());
        view.show();
        QAbstractButton *discover = row(view, NavigationItem::discover);
        const int rowHeight = discover->height();
        for (int i = 0; i < 3; ++i)
            FontScaleManager::shared().zoomIn();
        QTRY_VERIFY(discover->height() > rowHeight);
        // The badge is a fixed system text.
        auto *badge = view.findChild<CountBadge *>("downloadsBadge");
        QVERIFY(qFuzzyCompare(ThemeFont::logicalSize(badge->font()), 10.0));
        // It takes the room each count needs, ending inside its row.
        for (int count : {3, 128}) {
            view.setDownloadsBadgeCount(count);
            QTRY_COMPARE(badge->size(), badge->sizeHint());
            QVERIFY(badge->geometry().right() < row(view, NavigationItem::downloads)->width());
        }
    }
};

QTEST_MAIN(tst_MainView)
#include "tst_MainView.moc"
