#pragma once

#include <QFont>
#include <QString>

#include "views/components/ThemeFont.h"

class QColor;
class QLabel;
class QWidget;

// The small labels every screen builds: texts in a face and colour, and
// symbols drawn as pictures.
namespace Labels {

// The colour the widget draws its text with; a label inside a button draws
// with the button's text role, so that role is set too.
void setTextColor(QWidget *widget, const QColor &color);

// A plain-text label (texts from the library or the network never turn into
// markup) at size × the text scale.
QLabel *text(const QString &text, qreal size, QFont::Weight weight, const QColor &color,
             ThemeFont::Face face = ThemeFont::Face::PingFang, QWidget *parent = nullptr);

// The named symbol at pointSize, in a label exactly the symbol's box in size.
QLabel *symbol(const QString &name, qreal pointSize, const QColor &color, QWidget *parent = nullptr);

} // namespace Labels
