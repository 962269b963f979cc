#include "views/components/ChipStrip.h"

#include <QEvent>
#include <QScrollBar>
#include <QWheelEvent>

ChipStrip::ChipStrip(QWidget *parent) : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    // The chips take the focus themselves; the strip around them would show none.
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
}

void ChipStrip::setContent(QWidget *content)
{
    content->setAutoFillBackground(false);
    content->installEventFilter(this);
    setWidget(content);
    // Added to a visible strip, the content would otherwise appear only later.
    content->show();
    updateGeometry();
}

QSize ChipStrip::sizeHint() const
{
    const int height = widget() ? widget()->sizeHint().height() : 0;
    return {QScrollArea::sizeHint().width(), height};
}

bool ChipStrip::eventFilter(QObject *watched, QEvent *event)
{
    // Chips grow with the text scale; the strip follows their height.
    if (watched == widget() && event->type() == QEvent::LayoutRequest)
        updateGeometry();
    return QScrollArea::eventFilter(watched, event);
}

void ChipStrip::wheelEvent(QWheelEvent *event)
{
    QScrollBar *bar = horizontalScrollBar();
    if (bar->maximum() == 0) {
        event->ignore();
        return;
    }
    const QPoint delta = event->angleDelta();
    bar->setValue(bar->value() - (delta.x() != 0 ? delta.x() : delta.y()));
    event->accept();
}
