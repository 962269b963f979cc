#include "views/components/ThemeColor.h"

bool ThemeColor::isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor ThemeColor::secondary(const QPalette &palette)
{
    return withOpacity(primary(palette), isDark(palette) ? 0.55 : 0.5);
}

QColor ThemeColor::separator(const QPalette &palette)
{
    return withOpacity(primary(palette), isDark(palette) ? 0.16 : 0.1);
}

QColor ThemeColor::sidebarBackground(const QPalette &palette)
{
    const QColor window = windowBackground(palette);
    return isDark(palette) ? window.lighter(115) : window.darker(104);
}

QColor ThemeColor::red(const QPalette &palette)
{
    return isDark(palette) ? QColor(0xff, 0x45, 0x3a) : QColor(0xff, 0x3b, 0x30);
}

QColor ThemeColor::green(const QPalette &palette)
{
    return isDark(palette) ? QColor(0x30, 0xd1, 0x58) : QColor(0x28, 0xb4, 0x46);
}

QColor ThemeColor::raisedControl(const QPalette &palette)
{
    return isDark(palette) ? QColor(0x63, 0x63, 0x66) : QColor(Qt::white);
}

QColor ThemeColor::pressOverlay(const QPalette &palette, bool down)
{
    return isDark(palette) ? withOpacity(Qt::white, down ? 0.18 : 0.08) : withOpacity(Qt::black, down ? 0.15 : 0.06);
}

QColor ThemeColor::withOpacity(QColor color, qreal opacity)
{
    color.setAlphaF(color.alphaF() * opacity);
    return color;
}

QPalette ThemeColor::appPalette(const QPalette &platform)
{
    QPalette palette = platform;
    const bool dark = isDark(platform);
    const QColor accent = dark ? QColor(0x0a, 0x84, 0xff) : QColor(0x00, 0x7a, 0xff);
    const QColor window = dark ? QColor(0x1e, 0x1e, 0x1e) : QColor(0xec, 0xec, 0xec);
    const QColor base = dark ? QColor(0x2a, 0x2a, 0x2a) : QColor(0xff, 0xff, 0xff);
    const QColor text = dark ? QColor(0xf2, 0xf2, 0xf2) : QColor(0x1d, 0x1d, 0x1f);
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Highlight, accent);
        palette.setColor(group, QPalette::HighlightedText, onAccent(platform));
        palette.setColor(group, QPalette::Window, window);
        palette.setColor(group, QPalette::Base, base);
        palette.setColor(group, QPalette::AlternateBase, dark ? base.lighter(110) : QColor(0xf5, 0xf5, 0xf7));
        palette.setColor(group, QPalette::Button, base);
        palette.setColor(group, QPalette::WindowText, text);
        palette.setColor(group, QPalette::Text, text);
        palette.setColor(group, QPalette::ButtonText, text);
        palette.setColor(group, QPalette::PlaceholderText, withOpacity(text, 0.35));
        palette.setColor(group, QPalette::Link, accent);
    }
    palette.setColor(QPalette::Disabled, QPalette::Highlight, accent.lighter(130));
    palette.setColor(QPalette::Disabled, QPalette::Window, window);
    palette.setColor(QPalette::Disabled, QPalette::Base, base);
    return palette;
}
