#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QPersistentModelIndex>
#include <QRectF>
#include <QStyledItemDelegate>
#include <QTimer>

#include "models/AppItem.h"

class AppListModel;
class QAbstractItemView;

// Paints one catalog record as a card of the list screens: icon, names,
// summary, the facts line and the install control, over a rounded hover
// background, followed by a divider. Cards are painted, not built: a list of
// ten thousand records costs no more than the handful on screen.
//
// Clicks are hit-tested here (editorEvent): on the install control they run
// the record's install workflow, anywhere else on the card they report
// cardClicked(). The view forwards pointer moves with setHoverPosition() so
// the hovered card fades its background in and out.
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

    explicit AppCardDelegate(QAbstractItemView &view);

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;

    // The card layout of index when its row occupies itemRect.
    Layout layout(const QRect &itemRect, const QModelIndex &index) const;
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

Q_SIGNALS:
    void cardClicked(const QModelIndex &index);

private:
    struct Fade
    {
        qreal from = 0;
        qreal to = 0;
        QElapsedTimer clock;
    };

    static const AppItem &appAt(const QModelIndex &index, int *sourceRow = nullptr,
                                const AppListModel **model = nullptr);
    void startFade(const QString &appId, qreal to);
    void animate();
    void paintTexts(QPainter *painter, const QRectF &column, const AppItem &app, const QPalette &palette) const;

    QAbstractItemView &m_view;
    QString m_hovered;
    QHash<QString, Fade> m_fades;
    QTimer m_fadeTimer;
    QPersistentModelIndex m_pressedIndex;
};
