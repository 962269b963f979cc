#include "views/components/ChipButton.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include "views/components/Symbols.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeWatcher.h"

namespace {
constexpr qreal kSymbolGap = 4;
} // namespace

ChipButton::ChipButton(const QString &text, QWidget *parent) : QAbstractButton(parent)
{
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::toggled, this, [this] { applyFont(); });
    applyFont();
}

void ChipButton::setPadding(qreal horizontal, qreal vertical)
{
    m_horizontalPadding = horizontal;
    m_verticalPadding = vertical;
    updateGeometry();
    update();
}

void ChipButton::setCornerRadius(qreal radius)
{
    m_radius = radius;
    update();
}

void ChipButton::setFontSpec(qreal size, QFont::Weight weight, QFont::Weight checkedWeight, ThemeFont::Face face)
{
    m_fontSize = size;
    m_weight = weight;
    m_checkedWeight = checkedWeight;
    m_face = face;
    applyFont();
}

void ChipButton::setBorderedStyle()
{
    ThemeWatcher::follow(this, [this](const QPalette &theme) {
        setStyles(PillStyle{ThemeColor::controlBackground(theme), ThemeColor::primary(theme),
                            ThemeColor::withOpacity(ThemeColor::primary(theme), 0.18), 1.0});
    });
}

void ChipButton::setStyles(const PillStyle &normal, const PillStyle &checked)
{
    m_normalStyle = normal;
    m_checkedStyle = checked;
    update();
}

void ChipButton::setCheckedSymbol(const QString &name, qreal pointSize)
{
    Q_ASSERT(name.isEmpty() || Symbols::contains(name));
    m_checkedSymbol = name;
    m_checkedSymbolSize = pointSize;
    updateGeometry();
    update();
}

PillStyle ChipButton::currentStyle() const
{
    if (isChecked())
        return m_checkedStyle.value_or(PillStyle{ThemeColor::accent(palette()), ThemeColor::onAccent(palette()), {}, 0});
    return m_normalStyle.value_or(
        PillStyle{ThemeColor::controlBackground(palette()), ThemeColor::primary(palette()), {}, 0});
}

void ChipButton::applyFont()
{
    ThemeFont::apply(this, m_fontSize, isChecked() ? m_checkedWeight : m_weight, m_face);
}

qreal ChipButton::symbolWidth() const
{
    if (m_checkedSymbol.isEmpty() || !isChecked())
        return 0;
    return kSymbolGap + Symbols::boxSize(m_checkedSymbolSize);
}

QSize ChipButton::sizeHint() const
{
    const QSizeF size = PillPainter::sizeFor(text(), font(), m_horizontalPadding, m_verticalPadding);
    return QSize(qCeil(size.width() + symbolWidth()), qCeil(size.height()));
}

void ChipButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (!isEnabled())
        painter.setOpacity(0.5);

    const PillStyle style = currentStyle();
    const QRectF box = QRectF(rect());
    PillPainter::paintBackground(&painter, box, style, m_radius);
    if (isDown() || underMouse()) {
        const QColor overlay = ThemeColor::withOpacity(ThemeColor::primary(palette()), isDown() ? 0.12 : 0.05);
        PillPainter::paintBackground(&painter, box, PillStyle{overlay, {}, {}, 0}, m_radius);
    }
    if (hasFocus())
        PillPainter::paintFocusRing(&painter, box, isChecked() ? style.text : ThemeColor::accent(palette()), m_radius);

    const qreal textWidth = QFontMetricsF(font()).horizontalAdvance(text());
    const qreal left = (box.width() - textWidth - symbolWidth()) / 2.0;
    painter.setPen(style.text);
    painter.drawText(QRectF(left, 0, textWidth + 1, box.height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    if (symbolWidth() > 0) {
        const qreal side = Symbols::boxSize(m_checkedSymbolSize);
        const QRectF symbolRect(left + textWidth + kSymbolGap, (box.height() - side) / 2.0, side, side);
        Symbols::paint(&painter, symbolRect, m_checkedSymbol, style.text, m_checkedSymbolSize);
    }
}

ChipButton *ChipButton::action(const QString &objectName, const QString &text, QWidget *parent)
{
    auto *button = new ChipButton(text, parent);
    button->setObjectName(objectName);
    button->setCheckable(false);
    button->setFontSpec(12, QFont::Medium, QFont::Medium);
    button->setPadding(12, 4);
    button->setCornerRadius(6);
    return button;
}
