#pragma once

#include <QFont>
#include <QString>

#include "views/components/ThemeColor.h"
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
// The same, kept in step with the theme (light or dark) for the widget's life.
void followTextColor(QWidget *widget, ThemeColor::Tone tone);

// A plain-text label (texts from the library or the network never turn into
// markup) at size × the text scale.
QLabel *text(const QString &text, qreal size, QFont::Weight weight, ThemeColor::Tone tone,
             ThemeFont::Face face = ThemeFont::Face::PingFang, QWidget *parent = nullptr);

// The named symbol at pointSize, in a label exactly the symbol's box in size.
QLabel *symbol(const QString &name, qreal pointSize, ThemeColor::Tone tone, QWidget *parent = nullptr);

} // namespace Labels
