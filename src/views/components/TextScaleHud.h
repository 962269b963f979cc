#pragma once

#include <QImage>
#include <QPointer>
#include <QRectF>
#include <QWidget>

class FontScaleManager;
class QPropertyAnimation;

// The small text-size panel floating centred at the top of the column it is
// a child of: minus, "字号 N%", plus, a divider and "重置". It follows the
// manager's showHud flag, growing in from 92 % while fading in and fading out
// when the flag drops. Painted in one piece so that the grow-in scales the
// whole panel, texts included.
class TextScaleHud final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TextScaleHud)
    Q_PROPERTY(qreal reveal READ reveal WRITE setReveal)

public:
    enum class Part { None, ZoomOut, Label, ZoomIn, Reset };

    // Floats over parent; the panel's top edge sits topOffset below parent's top.
    TextScaleHud(FontScaleManager &manager, QWidget *parent);

    static constexpr int topOffset = 16;
    QString labelText() const;
    static QString toolTip(Part part);
    // Where a part is, in this widget's coordinates (for clicks and tooltips).
    QRect partRect(Part part) const;
    // 0 hidden … 1 fully shown.
    qreal reveal() const { return m_reveal; }
    void setReveal(qreal reveal);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showHudChanged(bool shown);
    void relayout();
    void reposition();
    void rebuildShadow();
    void activate(Part part);
    Part partAt(const QPointF &pos) const;
    QRectF panelRect() const;

    FontScaleManager &m_manager;
    QPropertyAnimation *m_animation;
    qreal m_reveal = 0.0;
    bool m_growing = true;
    Part m_hovered = Part::None;
    Part m_pressed = Part::None;
    QRectF m_parts[5];
    QSizeF m_panelSize;
    qreal m_dividerX = 0;
    QImage m_shadow;
};
