#include <QApplication>

#include "app/AskPassDialog.h"
#include "services/AppStoreService.h"
#include "services/AskPass.h"
#include "services/BrewService.h"
#include "services/DownloadManager.h"
#include "services/InstallerService.h"
#include "services/NginxIndexParser.h"
#include "views/MainWindow.h"
#include "views/components/Symbols.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (AskPass::requested())
        return AskPassDialog::run();
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
    auto &fontScale = FontScaleManager::shared();
    auto &downloads = DownloadManager::shared();
    AppContext context{AppStoreService::shared(), downloads, InstallerService::shared(), BrewService::shared(),
                       NginxIndexParser::shared(), fontScale};

    MainWindow window(context);
    window.show();
    window.raise();
    window.activateWindow();
    return QApplication::exec();
}
