#include "views/components/SymbolTextButton.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include "views/components/Symbols.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"

namespace {
constexpr qreal kGap = 4;
} // namespace

SymbolTextButton::SymbolTextButton(const QString &symbol, qreal symbolSize, const QString &text, QWidget *parent)
    : QAbstractButton(parent), m_symbol(symbol), m_symbolSize(symbolSize)
{
    Q_ASSERT(Symbols::contains(symbol));
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    ThemeFont::apply(this, 13, QFont::Normal);
}

void SymbolTextButton::setFontSpec(qreal size, QFont::Weight weight)
{
    ThemeFont::apply(this, size, weight);
}

void SymbolTextButton::setColor(const QColor &color)
{
    m_color = color;
    update();
}

void SymbolTextButton::setBackground(const PillStyle &style, qreal radius, qreal horizontalPadding,
                                     qreal verticalPadding)
{
    m_background = style;
    m_radius = radius;
    m_horizontalPadding = horizontalPadding;
    m_verticalPadding = verticalPadding;
    updateGeometry();
    update();
}

QColor SymbolTextButton::contentColor() const
{
    if (m_background)
        return m_background->text;
    return m_color.isValid() ? m_color : ThemeColor::accent(palette());
}

QSize SymbolTextButton::sizeHint() const
{
    const QFontMetricsF metrics(font());
    const qreal side = Symbols::boxSize(m_symbolSize);
    const qreal width = side + kGap + std::ceil(metrics.horizontalAdvance(text())) + 2 * m_horizontalPadding;
    const qreal height = std::max(side, std::ceil(metrics.height())) + 2 * m_verticalPadding;
    return {qCeil(width), qCeil(height)};
}

void SymbolTextButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (!isEnabled())
        painter.setOpacity(0.5);
    const QRectF box(rect());
    if (m_background) {
        PillPainter::paintBackground(&painter, box, *m_background, m_radius);
        if (isDown() || underMouse())
            PillPainter::paintBackground(
                &painter, box, PillStyle{ThemeColor::pressOverlay(palette(), isDown()), {}, {}, 0},
                m_radius);
    } else if (isDown()) {
        painter.setOpacity(painter.opacity() * 0.6);
    }
    const QColor color = contentColor();
    const qreal side = Symbols::boxSize(m_symbolSize);
    const QRectF symbolRect(m_horizontalPadding, (box.height() - side) / 2.0, side, side);
    Symbols::paint(&painter, symbolRect, m_symbol, color, m_symbolSize);
    painter.setFont(font());
    painter.setPen(color);
    const qreal textLeft = symbolRect.right() + kGap;
    painter.drawText(QRectF(textLeft, 0, box.width() - textLeft, box.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     text());
}

void SymbolTextButton::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        updateGeometry();
    QAbstractButton::changeEvent(event);
}
