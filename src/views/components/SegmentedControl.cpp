#include "views/components/SegmentedControl.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"

namespace {
constexpr qreal kInset = 2;
constexpr qreal kHorizontalPadding = 12;
constexpr qreal kVerticalPadding = 4;
constexpr qreal kRadius = 6;
} // namespace

SegmentedControl::SegmentedControl(QStringList segments, qreal fontSize, QFont::Weight weight, QWidget *parent)
    : QWidget(parent), m_segments(std::move(segments))
{
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    // Narrow windows at a large text scale squeeze the segments; their texts are then elided.
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    ThemeFont::apply(this, fontSize, weight);
}

void SegmentedControl::setCurrentIndex(int index)
{
    if (index < -1 || index >= m_segments.size() || index == m_current)
        return;
    m_current = index;
    update();
    Q_EMIT currentChanged(m_current);
}

qreal SegmentedControl::segmentWidth() const
{
    // Like the platform's picker, every segment is as wide as the widest text.
    const QFontMetricsF metrics(font());
    qreal widest = 0;
    for (const auto &text : m_segments)
        widest = std::max(widest, metrics.horizontalAdvance(text));
    return widest + 2 * kHorizontalPadding;
}

QSize SegmentedControl::sizeHint() const
{
    const QFontMetricsF metrics(font());
    const qreal width = segmentWidth() * m_segments.size() + 2 * kInset;
    const qreal height = metrics.height() + 2 * kVerticalPadding + 2 * kInset;
    return QSize(qCeil(width), qCeil(height));
}

QSize SegmentedControl::minimumSizeHint() const
{
    const QFontMetricsF metrics(font());
    // Room for a few characters and the ellipsis in every segment.
    const qreal segment = 4 * metrics.height() + 2 * kHorizontalPadding;
    return QSize(qCeil(segment * m_segments.size() + 2 * kInset), sizeHint().height());
}

QRectF SegmentedControl::segmentBox(int index) const
{
    // Equal segments while they fit; squeezed, each keeps room in proportion
    // to its own text, so short titles give way before long ones are cut.
    const qreal inner = width() - 2 * kInset;
    const QFontMetricsF metrics(font());
    qreal before = 0, total = 0;
    for (int i = 0; i < m_segments.size(); ++i) {
        const qreal natural = metrics.horizontalAdvance(m_segments.at(i)) + 2 * kHorizontalPadding;
        before += i < index ? natural : 0;
        total += natural;
    }
    const qreal equal = inner / std::max<qsizetype>(1, m_segments.size());
    if (width() >= sizeHint().width() || total <= 0)
        return QRectF(kInset + index * equal, kInset, equal, height() - 2 * kInset);
    const qreal own = metrics.horizontalAdvance(m_segments.at(index)) + 2 * kHorizontalPadding;
    return QRectF(kInset + inner * before / total, kInset, inner * own / total, height() - 2 * kInset);
}

QRect SegmentedControl::segmentRect(int index) const
{
    if (index < 0 || index >= m_segments.size())
        return {};
    return segmentBox(index).toAlignedRect();
}

int SegmentedControl::segmentAt(const QPoint &point) const
{
    for (int i = 0; i < m_segments.size(); ++i) {
        if (segmentRect(i).contains(point))
            return i;
    }
    return -1;
}

void SegmentedControl::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette pal = palette();
    const QColor primary = ThemeColor::primary(pal);

    QPainterPath track;
    track.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kRadius, kRadius);
    painter.fillPath(track, ThemeColor::withOpacity(primary, ThemeColor::isDark(pal) ? 0.12 : 0.07));

    for (int i = 0; i < m_segments.size(); ++i) {
        const QRectF box = segmentBox(i);
        if (i == m_current) {
            QPainterPath raised;
            raised.addRoundedRect(box, kRadius - kInset, kRadius - kInset);
            painter.setPen(QPen(ThemeColor::withOpacity(primary, 0.12), 0.5));
            painter.fillPath(raised, ThemeColor::raisedControl(pal));
            painter.drawPath(raised);
        } else if (i > 0 && i - 1 != m_current) {
            // Separators only between two unselected segments.
            painter.setPen(QPen(ThemeColor::withOpacity(primary, 0.15), 1));
            painter.drawLine(QPointF(box.left(), box.top() + 4), QPointF(box.left(), box.bottom() - 4));
        }
        painter.setPen(isEnabled() ? primary : ThemeColor::secondary(pal));
        const QString text = shownText(i);
        painter.drawText(box, Qt::AlignCenter, text);
    }
    if (hasFocus() && m_current >= 0) {
        painter.setPen(QPen(ThemeColor::withOpacity(ThemeColor::accent(pal), 0.6), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(track);
    }
}

void SegmentedControl::mousePressEvent(QMouseEvent *event)
{
    const int index = segmentAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index >= 0)
        setCurrentIndex(index);
    event->accept();
}

void SegmentedControl::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Left && m_current > 0)
        setCurrentIndex(m_current - 1);
    else if (event->key() == Qt::Key_Right && m_current + 1 < m_segments.size())
        setCurrentIndex(m_current + 1);
    else
        QWidget::keyPressEvent(event);
}

QString SegmentedControl::shownText(int index) const
{
    const QFontMetricsF metrics(font());
    const qreal room = segmentBox(index).width() - 8;
    // A narrow window at a large text scale shows the short titles before it cuts a long one.
    const QString &title = metrics.horizontalAdvance(m_segments.at(index)) > room && index < m_shortSegments.size()
                               ? m_shortSegments.at(index)
                               : m_segments.at(index);
    return metrics.elidedText(title, Qt::ElideRight, room);
}

void SegmentedControl::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        updateGeometry();
    QWidget::changeEvent(event);
}
