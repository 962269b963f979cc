#include "views/components/TextScaleHud.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QToolTip>

#include "views/components/Symbols.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"

namespace {

// Room around the panel for its shadow (radius 10, 4 points down).
constexpr qreal kMarginSide = 14;
constexpr qreal kMarginTop = 8;
constexpr qreal kMarginBottom = 18;
constexpr qreal kPaddingH = 16;
constexpr qreal kPaddingV = 7;
constexpr qreal kSpacing = 12;
constexpr qreal kCornerRadius = 20;
constexpr qreal kSymbolSize = 11;
constexpr qreal kDividerHeight = 12;
constexpr int kShadowBlur = 10;

QFont labelFont()
{
    return appNumeric(12, QFont::DemiBold);
}

QFont resetFont()
{
    return pingFang(11, QFont::Medium);
}

QString resetText()
{
    return QStringLiteral("重置");
}

QString commandKey()
{
#ifdef Q_OS_MACOS
    return QStringLiteral("⌘");
#else
    return QStringLiteral("Ctrl");
#endif
}

// Three box-blur passes over the alpha channel approximate a gaussian shadow.
void blurAlpha(QImage &image, int radius)
{
    const int w = image.width();
    const int h = image.height();
    std::vector<int> line(std::max(w, h));
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y) {
            auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < w; ++x)
                line[x] = qAlpha(row[x]);
            int sum = 0;
            for (int x = -radius; x <= radius; ++x)
                sum += line[std::clamp(x, 0, w - 1)];
            for (int x = 0; x < w; ++x) {
                row[x] = qRgba(0, 0, 0, sum / (2 * radius + 1));
                sum += line[std::min(x + radius + 1, w - 1)] - line[std::max(x - radius, 0)];
            }
        }
        for (int x = 0; x < w; ++x) {
            for (int y = 0; y < h; ++y)
                line[y] = qAlpha(reinterpret_cast<const QRgb *>(image.constScanLine(y))[x]);
            int sum = 0;
            for (int y = -radius; y <= radius; ++y)
                sum += line[std::clamp(y, 0, h - 1)];
            for (int y = 0; y < h; ++y) {
                reinterpret_cast<QRgb *>(image.scanLine(y))[x] = qRgba(0, 0, 0, sum / (2 * radius + 1));
                sum += line[std::min(y + radius + 1, h - 1)] - line[std::max(y - radius, 0)];
            }
        }
    }
}

} // namespace

TextScaleHud::TextScaleHud(FontScaleManager &manager, QWidget *parent)
    : QWidget(parent), m_manager(manager), m_animation(new QPropertyAnimation(this, "reveal", this))
{
    setObjectName(QStringLiteral("textScaleHud"));
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QPropertyAnimation::finished, this, [this] {
        if (m_reveal <= 0.0)
            hide();
    });
    connect(&m_manager, &FontScaleManager::showHudChanged, this, &TextScaleHud::showHudChanged);
    connect(&m_manager, &FontScaleManager::scaleChanged, this, [this] {
        if (isVisible()) {
            relayout();
            update();
        }
    });
    parent->installEventFilter(this);
    // Measured and its shadow blurred when it first shows: most runs never show it,
    // and the first paint should not wait for it.
    if (m_manager.showHud())
        relayout();
    setVisible(m_manager.showHud());
    m_reveal = m_manager.showHud() ? 1.0 : 0.0;
}

QString TextScaleHud::labelText() const
{
    return QStringLiteral("字号 ") + m_manager.percentText();
}

QString TextScaleHud::toolTip(Part part)
{
    switch (part) {
    case Part::ZoomOut:
        return QStringLiteral("缩小 (%1 -)").arg(commandKey());
    case Part::ZoomIn:
        return QStringLiteral("放大 (%1 +)").arg(commandKey());
    case Part::Reset:
        return QStringLiteral("恢复 100% (%1 0)").arg(commandKey());
    case Part::None:
    case Part::Label:
        break;
    }
    return {};
}

QRect TextScaleHud::partRect(Part part) const
{
    return m_parts[int(part)].toAlignedRect();
}

void TextScaleHud::setReveal(qreal reveal)
{
    m_reveal = reveal;
    update();
}

QSize TextScaleHud::sizeHint() const
{
    return QSizeF(m_panelSize.width() + 2 * kMarginSide, m_panelSize.height() + kMarginTop + kMarginBottom)
        .toSize();
}

void TextScaleHud::showHudChanged(bool shown)
{
    m_animation->stop();
    if (shown) {
        relayout();
        m_growing = !isVisible() || m_reveal <= 0.0;
        show();
        raise();
        m_animation->setDuration(150);
    } else {
        m_growing = false;
        m_animation->setDuration(250);
    }
    m_animation->setStartValue(m_reveal);
    m_animation->setEndValue(shown ? 1.0 : 0.0);
    m_animation->start();
}

void TextScaleHud::relayout()
{
    const QFontMetricsF label(labelFont());
    const QFontMetricsF reset(resetFont());
    const qreal symbol = Symbols::boxSize(kSymbolSize);
    const qreal labelWidth = std::ceil(label.horizontalAdvance(labelText()));
    const qreal resetWidth = std::ceil(reset.horizontalAdvance(resetText()));
    const qreal contentHeight = std::ceil(std::max({label.height(), reset.height(), symbol}));

    m_panelSize = QSizeF(2 * kPaddingH + symbol + labelWidth + symbol + 1 + resetWidth + 4 * kSpacing,
                         contentHeight + 2 * kPaddingV);
    const qreal top = kMarginTop;
    qreal x = kMarginSide + kPaddingH;
    // Click targets reach to the panel's edges so small glyphs are easy to hit.
    auto place = [&](Part part, qreal width) {
        m_parts[int(part)] = QRectF(x - kSpacing / 2, top, width + kSpacing, m_panelSize.height());
        x += width + kSpacing;
    };
    place(Part::ZoomOut, symbol);
    place(Part::Label, labelWidth);
    place(Part::ZoomIn, symbol);
    m_dividerX = x + 0.5;
    x += 1 + kSpacing;
    place(Part::Reset, resetWidth);
    m_parts[int(Part::ZoomOut)].setLeft(kMarginSide);
    m_parts[int(Part::Reset)].setRight(kMarginSide + m_panelSize.width());

    resize(sizeHint());
    rebuildShadow();
    reposition();
}

void TextScaleHud::reposition()
{
    if (QWidget *column = parentWidget())
        move((column->width() - width()) / 2, topOffset - int(kMarginTop));
}

QRectF TextScaleHud::panelRect() const
{
    return QRectF(QPointF(kMarginSide, kMarginTop), m_panelSize);
}

void TextScaleHud::rebuildShadow()
{
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ThemeColor::shadow(1.0));
        const qreal radius = std::min(kCornerRadius, m_panelSize.height() / 2);
        painter.drawRoundedRect(panelRect().translated(0, 4), radius, radius);
    }
    blurAlpha(image, kShadowBlur / 3);
    m_shadow = image;
}

void TextScaleHud::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setOpacity(m_reveal);
    const QRectF panel = panelRect();
    if (m_growing) {
        const qreal scale = 0.92 + 0.08 * m_reveal;
        painter.translate(panel.center());
        painter.scale(scale, scale);
        painter.translate(-panel.center());
    }

    painter.save();
    painter.setOpacity(m_reveal * 0.12);
    painter.drawImage(0, 0, m_shadow);
    painter.restore();

    const QPalette pal = palette();
    const qreal radius = std::min(kCornerRadius, panel.height() / 2);
    QPainterPath shape;
    shape.addRoundedRect(panel, radius, radius);
    painter.fillPath(shape, ThemeColor::withOpacity(ThemeColor::windowBackground(pal), 0.9));
    painter.strokePath(shape, QPen(ThemeColor::withOpacity(ThemeColor::primary(pal), 0.08), 0.8));

    auto partColor = [&](Part part, const QColor &base) {
        if (m_pressed == part && m_hovered == part)
            return ThemeColor::withOpacity(base, 0.45);
        if (m_hovered == part)
            return ThemeColor::withOpacity(base, 0.75);
        return base;
    };
    const QColor primary = ThemeColor::primary(pal);
    const qreal symbol = Symbols::boxSize(kSymbolSize);
    auto symbolRect = [&](Part part) {
        const QRectF r = m_parts[int(part)];
        return QRectF(r.center().x() - symbol / 2, r.center().y() - symbol / 2, symbol, symbol);
    };
    Symbols::paint(&painter, symbolRect(Part::ZoomOut), QStringLiteral("minus"), partColor(Part::ZoomOut, primary),
                   kSymbolSize);
    Symbols::paint(&painter, symbolRect(Part::ZoomIn), QStringLiteral("plus"), partColor(Part::ZoomIn, primary),
                   kSymbolSize);

    painter.setPen(primary);
    painter.setFont(labelFont());
    painter.drawText(m_parts[int(Part::Label)], Qt::AlignCenter, labelText());

    const qreal dividerX = m_dividerX;
    painter.setPen(QPen(ThemeColor::separator(pal), 1));
    painter.drawLine(QPointF(dividerX, panel.center().y() - kDividerHeight / 2),
                     QPointF(dividerX, panel.center().y() + kDividerHeight / 2));

    painter.setPen(partColor(Part::Reset, ThemeColor::secondary(pal)));
    painter.setFont(resetFont());
    painter.drawText(m_parts[int(Part::Reset)], Qt::AlignCenter, resetText());
}

TextScaleHud::Part TextScaleHud::partAt(const QPointF &pos) const
{
    for (Part part : {Part::ZoomOut, Part::ZoomIn, Part::Reset}) {
        if (m_parts[int(part)].contains(pos))
            return part;
    }
    return Part::None;
}

void TextScaleHud::activate(Part part)
{
    switch (part) {
    case Part::ZoomOut:
        m_manager.zoomOut();
        break;
    case Part::ZoomIn:
        m_manager.zoomIn();
        break;
    case Part::Reset:
        m_manager.reset();
        break;
    case Part::None:
    case Part::Label:
        break;
    }
}

bool TextScaleHud::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const Part part = partAt(help->pos());
        if (part == Part::None) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), toolTip(part), this, partRect(part));
        }
        return true;
    }
    return QWidget::event(event);
}

void TextScaleHud::mousePressEvent(QMouseEvent *event)
{
    m_pressed = partAt(event->position());
    if (m_pressed == Part::None)
        event->ignore();
    update();
}

void TextScaleHud::mouseReleaseEvent(QMouseEvent *event)
{
    const Part pressed = std::exchange(m_pressed, Part::None);
    if (pressed != Part::None && partAt(event->position()) == pressed)
        activate(pressed);
    update();
}

void TextScaleHud::mouseMoveEvent(QMouseEvent *event)
{
    const Part hovered = partAt(event->position());
    if (hovered != m_hovered) {
        m_hovered = hovered;
        setCursor(hovered == Part::None ? Qt::ArrowCursor : Qt::PointingHandCursor);
        update();
    }
}

void TextScaleHud::leaveEvent(QEvent *)
{
    m_hovered = Part::None;
    update();
}

bool TextScaleHud::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        reposition();
    return QWidget::eventFilter(watched, event);
}
