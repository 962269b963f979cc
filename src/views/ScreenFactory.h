#pragma once

#include "views/NavigationItem.h"

class AppStoreService;
class QWidget;

// Builds the screen of each sidebar destination over the services the
// composition root hands in. Shared by the app and the screenshot tool, so a
// new screen shows up in both once it is returned here.
class ScreenFactory final
{
public:
    explicit ScreenFactory(AppStoreService &store);

    // A new screen for item, or nullptr while the destination has none yet
    // (the main view then shows its placeholder).
    QWidget *create(NavigationItem item, QWidget *parent) const;

    AppStoreService &store() const { return m_store; }

private:
    AppStoreService &m_store;
};
