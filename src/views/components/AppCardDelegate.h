#pragma once

#include <QCache>
#include <QElapsedTimer>
#include <QHash>
#include <QPixmap>
#include <QPersistentModelIndex>
#include <QRectF>
#include <QRegion>

#include <optional>
#include <QStyledItemDelegate>
#include <QTimer>

#include "models/AppItem.h"
#include "models/InstallControlState.h"
#include "views/components/InstallControlPainter.h"

class AppListModel;
class IconCache;
class InstallWorkflowRegistry;
class QAbstractItemView;

// Paints one catalog record as a card of the list screens: icon, names,
// summary, the facts line and the install control, over a rounded hover
// background, followed by a divider. Cards are painted, not built: a list of
// ten thousand records costs no more than the handful on screen.
//
// The install control is drawn by the same painter as the detail page's
// button and acts through the record's shared install workflow, so a card and
// the detail page always agree. Clicks are hit-tested here (editorEvent): on
// the control's pills they run the workflow, anywhere else on the card they
// report cardClicked(). The view forwards pointer moves with
// setHoverPosition() so the hovered card fades its background in and out.
class AppCardDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppCardDelegate)

public:
    // Space around the cards inside the list, and between card and divider.
    static constexpr int sideMargin = 24;
    static constexpr int itemSpacing = 4;
    static constexpr int dividerIndent = 86;
    static constexpr int cardPadding = 14;
    static constexpr int cardSpacing = 16;
    static constexpr int iconSize = 58;
    static constexpr qreal hoverRadius = 12;
    static constexpr int hoverFadeMs = 150;

    // Where the parts of one card sit, in view coordinates.
    struct Layout
    {
        QRectF card;
        QRectF icon;
        QRectF text; // the column of names, summary and facts
        QRectF control;
        QRectF divider;
    };

    using Action = InstallControlPainter::Action;

    // The view must show an AppListModel, directly or through proxies.
    AppCardDelegate(QAbstractItemView &view, InstallWorkflowRegistry &registry, IconCache &icons);

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;

    // The card layout of a row occupying itemRect whose control shows state.
    static Layout layout(const QRect &itemRect, const InstallControlState &state);
    Layout layout(const QModelIndex &index) const;
    // Where the pill of action sits in the card of index, in view coordinates; empty when not shown.
    QRectF actionRect(const QModelIndex &index, Action action) const;
    // Height of every card row (all rows are alike) at the current text scale.
    static int rowHeight();

    // The pointer moved to pos (view coordinates) over index; an invalid index when it left.
    void setHoverPosition(const QModelIndex &index, const QPoint &pos);
    // How far the hover background of the card of appId is faded in (0…1).
    qreal hoverOpacity(const QString &appId) const;
    QString hoveredAppId() const { return m_hovered; }

    // The texts a card shows, in reading order (for tests and accessibility).
    static QStringList cardTexts(const AppItem &app);
    // "Brew" for Homebrew records, else the package kind in capitals.
    static QString packageLabel(const AppItem &app);

    // While the view paints: the region it repaints (view coordinates), so a
    // card draws only the parts inside it. A download's progress repaints the
    // control alone, and the names and summary are what a card costs most.
    void setExposedRegion(const QRegion *region) { m_exposed = region; }
    // Where the control of index sits when only its content changed since it
    // was last painted (a download's progress); nothing when its size changed
    // too, and with it the card's text column.
    std::optional<QRectF> controlRectIfSameSize(const QModelIndex &index) const;

    // What a click on the card's first pill does ("获取", "更新" or "打开"): the
    // keyboard's Space on the current card.
    void pressButton(const QModelIndex &index);

Q_SIGNALS:
    void cardClicked(const QModelIndex &index);

protected:
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

private:
    void trigger(const QModelIndex &index, Action action);
    bool exposed(const QRectF &rect) const;
    struct Fade
    {
        qreal from = 0;
        qreal to = 0;
        QElapsedTimer clock;
    };

    static const AppItem &appAt(const QModelIndex &index, int *sourceRow = nullptr,
                                const AppListModel **model = nullptr);
    InstallControlState stateAt(const QModelIndex &index) const;
    void startFade(const QString &appId, qreal to);
    void animate();
    void paintTexts(QPainter *painter, const QRectF &column, const AppItem &app, const QPalette &palette) const;
    void paintIcon(QPainter *painter, const QRectF &square, const QModelIndex &index, const AppItem &app,
                   const QPalette &palette) const;

    QAbstractItemView &m_view;
    InstallWorkflowRegistry &m_registry;
    IconCache &m_icons;
    QString m_hovered;
    Action m_hoveredAction = Action::none;
    QHash<QString, Fade> m_fades;
    QTimer m_fadeTimer;
    QPersistentModelIndex m_pressedIndex;
    Action m_pressedAction = Action::none;
    // Turns the installing spinner while a painted card shows it.
    mutable QTimer m_spinnerTimer;
    mutable bool m_spinnerPainted = false;
    // The spinners painted since the last frame: the next frame repaints only them.
    mutable QRegion m_spinnerRegion;
    const QRegion *m_exposed = nullptr;
    // The size of the control each card was last painted with.
    mutable QHash<QString, QSizeF> m_controlSizes;
    // Finished icon tiles (image or category symbol, rounded, outlined, with
    // shadow): most cards share a handful, and drawing one anew is the
    // costliest part of a card.
    mutable QCache<QString, QPixmap> m_iconTiles{64};
};
