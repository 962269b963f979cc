#include "views/components/ActivitySpinner.h"

#include <QPainter>

#include "views/components/ThemeColor.h"

ActivitySpinner::ActivitySpinner(int diameter, QWidget *parent) : QWidget(parent), m_diameter(diameter)
{
    setFixedSize(diameter, diameter);
    m_timer.setInterval(50);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 30) % 360;
        update();
    });
}

void ActivitySpinner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal width = std::max(1.5, m_diameter / 8.0);
    const QRectF box = QRectF(rect()).adjusted(width, width, -width, -width);
    painter.setPen(QPen(ThemeColor::separator(palette()), width));
    painter.drawEllipse(box);
    painter.setPen(QPen(ThemeColor::secondary(palette()), width, Qt::SolidLine, Qt::RoundCap));
    // Qt measures arcs counter-clockwise in 1/16 degree; turn clockwise.
    painter.drawArc(box, -m_angle * 16, 100 * 16);
}

void ActivitySpinner::showEvent(QShowEvent *event)
{
    m_timer.start();
    QWidget::showEvent(event);
}

void ActivitySpinner::hideEvent(QHideEvent *event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}
