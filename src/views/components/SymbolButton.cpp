#include "views/components/SymbolButton.h"

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
    const QColor color = m_color.isValid() ? m_color : ThemeColor::secondary(palette());
    Symbols::paint(&painter, QRectF(rect()), m_symbol, color, m_pointSize);
}
