#include <QApplication>
#include <QMainWindow>

#include "services/AppStoreService.h"
#include "views/MainView.h"
#include "views/ScreenFactory.h"
#include "views/components/Symbols.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Settings land in ~/.config/ZelvoAppStore/ZelvoAppStore.conf (user defaults on macOS).
    QApplication::setOrganizationName(QStringLiteral("ZelvoAppStore"));
    QApplication::setApplicationName(QStringLiteral("ZelvoAppStore"));
    QApplication::setApplicationDisplayName(QStringLiteral("Zelvo App Store"));
    // Closing the one window ends the process.
    QApplication::setQuitOnLastWindowClosed(true);
#ifndef Q_OS_MACOS
    QApplication::setPalette(ThemeColor::appPalette(QApplication::palette()));
#endif
    if (!Symbols::fontLoaded())
        qWarning("The embedded symbol font could not be loaded; symbols will not show.");

    // The composition root: services are created here, once, and handed down.
    auto &store = AppStoreService::shared();
    auto &fontScale = FontScaleManager::shared();
    ScreenFactory screens(store);

    QMainWindow window;
    window.setUnifiedTitleAndToolBarOnMac(true);
    window.setWindowTitle(QString());
    window.setMinimumSize(920, 620);
    window.resize(1100, 720);
    auto *view = new MainView(fontScale, [&screens](NavigationItem item, QWidget *parent) {
        return screens.create(item, parent);
    });
    window.setCentralWidget(view);
    view->installMenus(window.menuBar());
    // The downloads badge is fed by the download manager here, once it exists:
    // view->setDownloadsBadgeCount(activeTasks().size()) on every change.

    window.show();
    window.raise();
    window.activateWindow();
    return QApplication::exec();
}
