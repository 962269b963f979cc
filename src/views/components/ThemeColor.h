#pragma once

#include <QColor>
#include <QPalette>

// The semantic colours the layouts name, taken from the palette so that a dark
// appearance reads as well as a light one.
class ThemeColor final
{
public:
    static bool isDark(const QPalette &palette);
    static QColor accent(const QPalette &palette) { return palette.color(QPalette::Highlight); }
    static QColor primary(const QPalette &palette) { return palette.color(QPalette::WindowText); }
    static QColor secondary(const QPalette &palette);
    static QColor windowBackground(const QPalette &palette) { return palette.color(QPalette::Window); }
    static QColor controlBackground(const QPalette &palette) { return palette.color(QPalette::Base); }
    static QColor separator(const QPalette &palette);
    static QColor sidebarBackground(const QPalette &palette);
    static QColor red(const QPalette &palette);
    static QColor green(const QPalette &palette);
    // color with its alpha multiplied by opacity (0…1).
    static QColor withOpacity(QColor color, qreal opacity);

    // Outside macOS: the system-blue accent and quiet greys of a macOS window,
    // kept light or dark as the platform's palette is.
    static QPalette appPalette(const QPalette &platform);
};
