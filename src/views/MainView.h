#pragma once

#include <functional>
#include <optional>

#include <QPointer>
#include <QWidget>

#include "views/NavigationItem.h"

class CountBadge;
class FontScaleManager;
class QAction;
class QLabel;
class QMenuBar;
class QVBoxLayout;
class SidebarRow;
class TextScaleHud;

// The window's content: the sidebar of destinations on the left, the selected
// destination's screen in the detail column on the right, and the text-size HUD
// floating over that column.
//
// Screens come from a factory so that this view knows none of them (nor the
// services behind them). Each selection builds its screen anew, so a screen's
// filters and typed text start over; a factory that returns nullptr (or no
// factory) gives a quiet placeholder with the destination's title.
class MainView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainView)

public:
    using ScreenFactory = std::function<QWidget *(NavigationItem item, QWidget *parent)>;

    static constexpr int minimumDetailWidth = 700;
    static constexpr int minimumDetailHeight = 520;

    explicit MainView(FontScaleManager &fontScale, ScreenFactory screens = {}, QWidget *parent = nullptr);
    ~MainView() override;

    // The selected destination; none when the user clicked into empty sidebar space.
    std::optional<NavigationItem> selectedItem() const { return m_selected; }
    void setSelectedItem(std::optional<NavigationItem> item);
    // The destination whose screen is shown: the selection, or discover without one.
    NavigationItem shownItem() const { return m_selected.value_or(NavigationItem::discover); }
    QWidget *currentScreen() const { return m_screen; }

    // The number of current downloads; the downloads row shows it while > 0.
    void setDownloadsBadgeCount(int count);
    int downloadsBadgeCount() const;
    // The number of updates the user owes; the updates row shows it while > 0.
    void setUpdatesBadgeCount(int count);
    int updatesBadgeCount() const;

    // "放大" (Ctrl/⌘ + and =), "缩小" (Ctrl/⌘ -), "实际大小" (Ctrl/⌘ 0). They
    // work while this view's window is active, with or without a menu bar.
    QList<QAction *> textSizeActions() const;
    // Adds a separator and the text-size actions to the View menu ("显示") of bar.
    void installMenus(QMenuBar *bar) const;

    TextScaleHud *hud() const { return m_hud; }

Q_SIGNALS:
    void selectedItemChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildSidebar();
    QWidget *buildPlaceholder(NavigationItem item, QWidget *parent) const;
    void showScreen();
    void applyColors(const QPalette &base);

    FontScaleManager &m_fontScale;
    ScreenFactory m_screens;
    std::optional<NavigationItem> m_selected = NavigationItem::discover;
    QList<SidebarRow *> m_rows;
    CountBadge *m_badge = nullptr;
    CountBadge *m_updatesBadge = nullptr;
    QLabel *m_sectionHeader = nullptr;
    void fitSidebarToFooter();

    QLabel *m_footer = nullptr;
    QWidget *m_sidebar = nullptr;
    QWidget *m_detail = nullptr;
    QVBoxLayout *m_detailLayout = nullptr;
    QPointer<QWidget> m_screen;
    TextScaleHud *m_hud = nullptr;
    QAction *m_zoomIn = nullptr;
    QAction *m_zoomOut = nullptr;
    QAction *m_reset = nullptr;
};
