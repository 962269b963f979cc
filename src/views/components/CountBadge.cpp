#include "views/components/CountBadge.h"

#include <QPainter>

#include "views/components/PillPainter.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"

namespace {
constexpr qreal kHorizontalPadding = 6;
constexpr qreal kVerticalPadding = 2;
} // namespace

CountBadge::CountBadge(QWidget *parent) : QWidget(parent)
{
    ThemeFont::apply(this, 10, QFont::Bold, ThemeFont::Face::System);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setVisible(false);
}

void CountBadge::setCount(int count)
{
    if (m_count == count)
        return;
    m_count = count;
    setVisible(m_count > 0);
    updateGeometry();
    update();
}

void CountBadge::setInverted(bool inverted)
{
    m_inverted = inverted;
    update();
}

QSize CountBadge::sizeHint() const
{
    const QSizeF size = PillPainter::sizeFor(text(), font(), kHorizontalPadding, kVerticalPadding);
    // A single digit still reads as a round capsule, not a narrow lozenge.
    return QSize(qCeil(std::max(size.width(), size.height())), qCeil(size.height()));
}

void CountBadge::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF box(QPointF(0, (height() - sizeHint().height()) / 2.0), QSizeF(width(), sizeHint().height()));
    const QColor accent = ThemeColor::accent(palette());
    const PillStyle style = m_inverted ? PillStyle{ThemeColor::onAccent(palette()), accent, {}, 0} : PillStyle{accent, ThemeColor::onAccent(palette()), {}, 0};
    PillPainter::paint(&painter, box, text(), font(), style);
}
