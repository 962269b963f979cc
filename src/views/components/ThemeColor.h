#pragma once

#include <functional>

#include <QColor>
#include <QPalette>

// The semantic colours the layouts name, taken from the palette so that a dark
// appearance reads as well as a light one.
class ThemeColor final
{
public:
    // A colour named by what it means, resolved against whichever palette is current:
    // &ThemeColor::secondary, or a lambda for a shade of one.
    using Tone = std::function<QColor(const QPalette &)>;
    static Tone faded(Tone tone, qreal opacity)
    {
        return [tone = std::move(tone), opacity](const QPalette &palette) { return withOpacity(tone(palette), opacity); };
    }

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
    // Text and symbols on the accent colour: white in both appearances, as on macOS.
    static QColor onAccent(const QPalette &) { return Qt::white; }
    // The selected segment raised above its track.
    static QColor raisedControl(const QPalette &palette);
    // Darkens a pressed or hovered control in light, lightens it in dark.
    static QColor pressOverlay(const QPalette &palette, bool down);
    // Shadows fall dark in either appearance.
    static QColor shadow(qreal opacity) { return withOpacity(Qt::black, opacity); }
    // The app's mark: the same blue tile in either appearance.
    static QColor brandTop() { return {0x4f, 0xa8, 0xff}; }
    static QColor brandBottom() { return {0x10, 0x5c, 0xf0}; }
    // color with its alpha multiplied by opacity (0…1).
    static QColor withOpacity(QColor color, qreal opacity);

    // Outside macOS: the system-blue accent and quiet greys of a macOS window,
    // kept light or dark as the platform's palette is.
    static QPalette appPalette(const QPalette &platform);
};
