#include <QApplication>
#include <QLabel>
#include <QMainWindow>

#include "services/AppStoreService.h"
#include "services/InstalledDetector.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZelvoAppStore"));
    QApplication::setApplicationDisplayName(QStringLiteral("Zelvo App Store"));

    // The composition root: services are created here, once, and handed down.
    auto &store = AppStoreService::shared();

    QMainWindow window;
    window.setMinimumSize(920, 620);
    window.resize(1100, 720);
    window.setCentralWidget(new QLabel(QStringLiteral("应用库共 %1 个应用").arg(store.apps().size())));
    window.show();
    window.raise();
    window.activateWindow();
    return QApplication::exec();
}
