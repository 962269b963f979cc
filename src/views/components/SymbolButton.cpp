#include "views/components/SymbolButton.h"

#include <QEvent>
#include <QPainter>

#include "views/components/PillPainter.h"
#include "views/components/Symbols.h"
#include "views/components/ThemeColor.h"

namespace {
constexpr qreal kPadding = 3;
} // namespace

SymbolButton::SymbolButton(const QString &symbol, qreal pointSize, QWidget *parent)
    : QAbstractButton(parent), m_pointSize(pointSize)
{
    setSymbol(symbol);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

bool SymbolButton::event(QEvent *event)
{
    // A symbol has no text for a screen reader: its hover help names it.
    if (event->type() == QEvent::ToolTipChange && accessibleName().isEmpty())
        setAccessibleName(toolTip());
    return QAbstractButton::event(event);
}

void SymbolButton::setSymbol(const QString &symbol)
{
    Q_ASSERT(Symbols::contains(symbol));
    m_symbol = symbol;
    update();
}

void SymbolButton::setColor(const QColor &color)
{
    m_color = color;
    update();
}

QSize SymbolButton::sizeHint() const
{
    const int side = qCeil(Symbols::boxSize(m_pointSize) + 2 * kPadding);
    return {side, side};
}

void SymbolButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (!isEnabled())
        painter.setOpacity(0.4);
    if (underMouse() || isDown()) {
        const QColor hover = ThemeColor::withOpacity(ThemeColor::primary(palette()), isDown() ? 0.14 : 0.07);
        PillPainter::paintBackground(&painter, QRectF(rect()), PillStyle{hover, {}, {}, 0}, 5);
    }
    if (hasFocus())
        PillPainter::paintFocusRing(&painter, QRectF(rect()), ThemeColor::accent(palette()), 5);
    const QColor color = m_color.isValid() ? m_color : ThemeColor::secondary(palette());
    Symbols::paint(&painter, QRectF(rect()), m_symbol, color, m_pointSize);
}
