#include "views/components/Labels.h"

#include <QLabel>
#include <QtMath>

#include "views/components/Symbols.h"
#include "views/components/ThemeWatcher.h"

namespace Labels {

void setTextColor(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(role, color);
    widget->setPalette(palette);
}

void followTextColor(QWidget *widget, ThemeColor::Tone tone)
{
    ThemeWatcher::follow(widget, [widget, tone = std::move(tone)](const QPalette &theme) {
        setTextColor(widget, tone(theme));
    });
}

QLabel *text(const QString &text, qreal size, QFont::Weight weight, ThemeColor::Tone tone, ThemeFont::Face face,
             QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    ThemeFont::apply(label, size, weight, face);
    followTextColor(label, std::move(tone));
    return label;
}

QLabel *symbol(const QString &name, qreal pointSize, ThemeColor::Tone tone, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QStringLiteral("symbol:") + name);
    ThemeWatcher::follow(label, [label, name, pointSize, tone = std::move(tone)](const QPalette &theme) {
        label->setPixmap(Symbols::pixmap(name, tone(theme), pointSize));
    });
    const int side = qCeil(Symbols::boxSize(pointSize));
    label->setFixedSize(side, side);
    return label;
}

} // namespace Labels
