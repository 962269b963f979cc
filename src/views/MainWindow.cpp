#include "views/MainWindow.h"

#include <QMenuBar>

#include "services/DownloadManager.h"
#include "views/MainView.h"
#include "views/ScreenFactory.h"

MainWindow::MainWindow(AppContext &context, QWidget *parent)
    : QMainWindow(parent), m_screens(std::make_unique<ScreenFactory>(context))
{
    setUnifiedTitleAndToolBarOnMac(true);
    setWindowTitle(QString());
    setMinimumSize(920, 620);
    resize(1100, 720);

    m_view = new MainView(context.fonts, [screens = m_screens.get()](NavigationItem item, QWidget *parent) {
        return screens->create(item, parent);
    });
    setCentralWidget(m_view);
    m_view->installMenus(menuBar());

    // The sidebar knows nothing of downloads; the badge is fed from here.
    auto &downloads = context.downloads;
    const auto updateBadge = [this, &downloads] { m_view->setDownloadsBadgeCount(downloads.runningCount()); };
    connect(&downloads, &DownloadManager::activeTasksChanged, this, updateBadge);
    updateBadge();
}

MainWindow::~MainWindow() = default;
