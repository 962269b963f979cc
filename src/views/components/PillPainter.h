#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

class QPainter;

// How one pill, capsule, chip or badge is filled.
struct PillStyle
{
    QColor fill;
    QColor text;
    QColor border;
    qreal borderWidth = 0.0;
};

// Draws rounded pills the same way for widgets and item delegates, so a control
// on a detail page and the same control painted in a list always agree.
class PillPainter final
{
public:
    // radius < 0 or larger than half the height draws a capsule.
    static void paintBackground(QPainter *painter, const QRectF &rect, const PillStyle &style, qreal radius = -1);
    // Background plus text centred in rect.
    static void paint(QPainter *painter, const QRectF &rect, const QString &text, const QFont &font,
                      const PillStyle &style, qreal radius = -1);
    // The keyboard focus around a control: a ring in the accent colour just inside rect.
    static void paintFocusRing(QPainter *painter, const QRectF &rect, const QColor &accent, qreal radius = -1);
    // The size of a pill holding text in font with the given padding on each side.
    static QSizeF sizeFor(const QString &text, const QFont &font, qreal horizontalPadding, qreal verticalPadding);
};
