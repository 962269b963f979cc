#include "views/components/PillPainter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

void PillPainter::paintBackground(QPainter *painter, const QRectF &rect, const PillStyle &style, qreal radius)
{
    const qreal half = rect.height() / 2.0;
    const qreal r = (radius < 0 || radius > half) ? half : radius;
    // Half-pixel inset keeps a hairline border crisp and inside the rect.
    const qreal inset = style.borderWidth > 0 ? style.borderWidth / 2.0 : 0.0;
    const QRectF shape = rect.adjusted(inset, inset, -inset, -inset);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(style.borderWidth > 0 && style.border.isValid() ? QPen(style.border, style.borderWidth)
                                                                    : QPen(Qt::NoPen));
    painter->setBrush(style.fill.isValid() ? QBrush(style.fill) : QBrush(Qt::NoBrush));
    painter->drawRoundedRect(shape, std::max<qreal>(0, r - inset), std::max<qreal>(0, r - inset));
    painter->restore();
}

void PillPainter::paint(QPainter *painter, const QRectF &rect, const QString &text, const QFont &font,
                        const PillStyle &style, qreal radius)
{
    paintBackground(painter, rect, style, radius);
    painter->save();
    painter->setFont(font);
    painter->setPen(style.text);
    painter->drawText(rect, Qt::AlignCenter, text);
    painter->restore();
}

void PillPainter::paintFocusRing(QPainter *painter, const QRectF &rect, const QColor &accent, qreal radius)
{
    paintBackground(painter, rect, PillStyle{{}, {}, accent, 2.0}, radius);
}

QSizeF PillPainter::sizeFor(const QString &text, const QFont &font, qreal horizontalPadding, qreal verticalPadding)
{
    const QFontMetricsF metrics(font);
    return {std::ceil(metrics.horizontalAdvance(text)) + 2 * horizontalPadding,
            std::ceil(metrics.height()) + 2 * verticalPadding};
}
