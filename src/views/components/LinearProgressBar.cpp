#include "views/components/LinearProgressBar.h"

#include <algorithm>
#include <cmath>

#include <QPainter>

#include "views/components/PillPainter.h"
#include "views/components/ThemeColor.h"

namespace {
constexpr int kTrackHeight = 5;
} // namespace

LinearProgressBar::LinearProgressBar(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LinearProgressBar::setValue(double value)
{
    value = std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
    if (value == m_value)
        return;
    m_value = value;
    update();
}

void LinearProgressBar::setFillColor(const QColor &color)
{
    m_fill = color;
    update();
}

QSize LinearProgressBar::sizeHint() const
{
    return {160, kTrackHeight};
}

QSize LinearProgressBar::minimumSizeHint() const
{
    return {20, kTrackHeight};
}

void LinearProgressBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track(0, (height() - kTrackHeight) / 2.0, width(), kTrackHeight);
    PillPainter::paintBackground(&painter, track, PillStyle{ThemeColor::separator(palette()), {}, {}, 0});
    if (m_value <= 0)
        return;
    // A sliver narrower than the track is tall would draw as a dot, not a bar.
    const qreal doneWidth = std::max<qreal>(track.width() * m_value, kTrackHeight);
    const QRectF done(track.left(), track.top(), std::min(doneWidth, track.width()), track.height());
    const QColor fill = m_fill.isValid() ? m_fill : ThemeColor::accent(palette());
    PillPainter::paintBackground(&painter, done, PillStyle{fill, {}, {}, 0});
}
