#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QStringList>

class QPainter;

// Every symbol the screens show, named as the reference platform names it
// ("magnifyingglass", "checkmark.circle.fill", ...) and drawn from the Material
// Icons font embedded as ":/fonts/MaterialIcons-Regular.ttf". Screens name
// symbols only through this table, never through pictures of their own.
//
// Sizes are the symbol point sizes the layouts give (a 13-point symbol sits
// beside 13-point text); the glyph is drawn a little larger than the size so
// that Material's padded glyphs look as heavy as the text beside them. Symbols
// do not follow the text scale.
//
// An unknown name is a programming error: it asserts in debug builds and draws
// a visible question-mark glyph in release builds.
class Symbols final
{
public:
    static bool contains(const QString &name);
    static QStringList names();
    // The glyph of name as text for a QFont of font(); the fallback glyph for an unknown name.
    static QString glyph(const QString &name);
    static QString fallbackGlyph();

    // The icon font at the em size used for a symbol of pointSize.
    static QFont font(qreal pointSize);
    // Side of the square a symbol of pointSize occupies.
    static qreal boxSize(qreal pointSize);
    // False when the embedded font could not be loaded (symbols then draw as boxes).
    static bool fontLoaded();

    // Draws the symbol centred in rect, as large as rect allows.
    static void paint(QPainter *painter, const QRectF &rect, const QString &name, const QColor &color);
    // Draws the symbol of pointSize centred in rect.
    static void paint(QPainter *painter, const QRectF &rect, const QString &name, const QColor &color,
                      qreal pointSize);
    static QPixmap pixmap(const QString &name, const QColor &color, qreal pointSize, qreal devicePixelRatio = 2.0);
    static QIcon icon(const QString &name, const QColor &color, qreal pointSize);
};
