#pragma once

#include <functional>

#include <QObject>
#include <QPalette>

class QWidget;

// Keeps colours that cannot come from the palette at paint time (style sheets,
// rendered symbol pixmaps, a child's own palette) in step with the app's theme.
// The colour set-up runs at once and again whenever the application palette
// changes: the system switched between light and dark, or the app set a new one.
class ThemeWatcher final : public QObject
{
public:
    using Apply = std::function<void(const QPalette &)>;

    // The watcher is the widget's child, so it ends with the widget.
    static void follow(QWidget *widget, Apply apply);
    // The widget's style sheet, rebuilt from the theme's colours.
    static void followStyleSheet(QWidget *widget, std::function<QString(const QPalette &)> sheet);

    // Outside macOS the app palette is derived from the platform's (ThemeColor::appPalette).
    // Derived roles hide the platform's later changes, so derive again whenever the
    // platform's theme changes. On macOS the native palette follows the system by itself.
    static void followSystemAppearance();

    ~ThemeWatcher() override;

private:
    ThemeWatcher(QWidget *widget, Apply apply);

    friend class ThemeHub;
    Apply m_apply;
};
