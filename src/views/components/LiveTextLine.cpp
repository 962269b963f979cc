#include "views/components/LiveTextLine.h"

#include <QEvent>
#include <QPainter>

LiveTextLine::LiveTextLine(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void LiveTextLine::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    update();
}

QSize LiveTextLine::sizeHint() const
{
    return {0, fontMetrics().height()};
}

QSize LiveTextLine::minimumSizeHint() const
{
    return sizeHint();
}

void LiveTextLine::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(m_text, layoutDirection() == Qt::RightToLeft ? Qt::ElideLeft
                                                                                          : Qt::ElideRight,
                                              width()));
}

void LiveTextLine::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateGeometry();
}
