#pragma once

#include <QWidget>

#include <functional>

#include "models/AppItem.h"

struct AppContext;
class AppIconView;
class QLabel;
class QVariantAnimation;

// The card of the Homebrew quick entry for one record: icon, name, version
// and id, the detail and save buttons (or the mark that the library holds
// the record), the install control, and a drawer of technical details that
// slides open and shut. What the buttons do is the section's.
class BrewPreviewCard final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BrewPreviewCard)

public:
    BrewPreviewCard(AppContext &context, AppItem app, bool expanded, std::function<void()> onSave,
                    std::function<void()> onOpenDetail, std::function<void(bool expanded)> onToggle,
                    QWidget *parent = nullptr);

    // Slides the drawer open or shut.
    void setExpanded(bool expanded);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QWidget *buildCardHeader(const AppItem &app);
    QWidget *buildDrawer(const AppItem &app);
    void refreshLibraryMark();
    void refreshIcon();
    void refreshDrawerToggle();

    AppContext &m_context;
    AppItem m_app;
    bool m_expanded;
    std::function<void()> m_onSave;
    std::function<void()> m_onOpenDetail;
    std::function<void(bool)> m_onToggle;
    AppIconView *m_icon = nullptr;
    QWidget *m_saveButton = nullptr;
    QWidget *m_inLibraryMark = nullptr;
    QLabel *m_drawerToggleText = nullptr;
    QLabel *m_drawerToggleSymbol = nullptr;
    QWidget *m_drawer = nullptr;
    QVariantAnimation *m_drawerAnimation = nullptr;
};
