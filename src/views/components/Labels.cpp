#include "views/components/Labels.h"

#include <QLabel>
#include <QtMath>

#include "views/components/Symbols.h"

namespace Labels {

void setTextColor(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(role, color);
    widget->setPalette(palette);
}

QLabel *text(const QString &text, qreal size, QFont::Weight weight, const QColor &color, ThemeFont::Face face,
             QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    ThemeFont::apply(label, size, weight, face);
    setTextColor(label, color);
    return label;
}

QLabel *symbol(const QString &name, qreal pointSize, const QColor &color, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QStringLiteral("symbol:") + name);
    label->setPixmap(Symbols::pixmap(name, color, pointSize));
    const int side = qCeil(Symbols::boxSize(pointSize));
    label->setFixedSize(side, side);
    return label;
}

} // namespace Labels
