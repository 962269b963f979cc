#include "views/components/TintedPanel.h"

#include <QPainter>

TintedPanel::TintedPanel(StyleOf style, qreal radius, QWidget *parent) : QWidget(parent), m_style(style), m_radius(radius)
{
}

void TintedPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    PillPainter::paintBackground(&painter, QRectF(rect()), m_style(palette()), m_radius);
}
