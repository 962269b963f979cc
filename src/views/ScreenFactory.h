#pragma once

#include "views/AppContext.h"
#include "views/NavigationItem.h"

class QWidget;

// Builds the screen of each sidebar destination over the services the
// composition root hands in. Shared by the app and the screenshot tool, so a
// new screen shows up in both once it is returned here.
class ScreenFactory final
{
public:
    explicit ScreenFactory(AppContext &context);

    // A new screen for item, or nullptr while the destination has none yet
    // (the main view then shows its placeholder).
    QWidget *create(NavigationItem item, QWidget *parent) const;

    AppContext &context() const { return m_context; }

private:
    AppContext &m_context;
};
