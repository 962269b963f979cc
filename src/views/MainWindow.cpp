#include "views/MainWindow.h"

#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include "services/AppStoreService.h"
#include "services/DownloadManager.h"
#include "services/UpdateCenter.h"
#include "views/MainView.h"
#include "views/ScreenFactory.h"

MainWindow::MainWindow(AppContext &context, QWidget *parent)
    : QMainWindow(parent), m_screens(std::make_unique<ScreenFactory>(context))
{
    setUnifiedTitleAndToolBarOnMac(true);
    // What the Window menu, the Dock and Mission Control call the window.
    setWindowTitle(QStringLiteral("Zelvo App Store"));
    setMinimumSize(920, 620);
    resize(1100, 720);

    m_view = new MainView(context.fonts, [screens = m_screens.get()](NavigationItem item, QWidget *parent) {
        return screens->create(item, parent);
    });
    setCentralWidget(m_view);
    m_view->installMenus(menuBar());
    // Left to guess from the texts, the Mac menu bar would move commands
    // that look like settings or quit into the application menu.
    for (QAction *menu : menuBar()->actions()) {
        if (menu->menu()) {
            for (QAction *action : menu->menu()->actions())
                action->setMenuRole(QAction::NoRole);
        }
    }
    QMenu *window = menuBar()->addMenu(QStringLiteral("窗口"));
    window->addAction(QStringLiteral("最小化"), QKeySequence(Qt::CTRL | Qt::Key_M), this, &QWidget::showMinimized);
    window->addAction(QStringLiteral("关闭"), QKeySequence(Qt::CTRL | Qt::Key_W), this, &QWidget::close);

    // The sidebar knows nothing of downloads; the badge is fed from here.
    auto &downloads = context.downloads;
    const auto updateBadge = [this, &downloads] { m_view->setDownloadsBadgeCount(downloads.runningCount()); };
    connect(&downloads, &DownloadManager::activeTasksChanged, this, updateBadge);
    // A record that finishes or fails changes the running count without a list change.
    connect(&downloads, &DownloadManager::taskChanged, this, updateBadge);
    updateBadge();

    // Updates are looked for at start-up, off the main thread; the badge
    // follows every change of what is outdated.
    auto &updates = context.updates;
    const auto updateUpdatesBadge = [this, &updates] { m_view->setUpdatesBadgeCount(updates.count()); };
    connect(&updates, &UpdateCenter::outdatedChanged, this, updateUpdatesBadge);
    updateUpdatesBadge();
    updates.check();

    // What the store had to do to a damaged library (records skipped, a
    // backup made, a copy restored) is the user's to know, without blocking.
    auto &store = context.store;
    const auto showNotice = [this, &store] {
        if (store.notice().isEmpty())
            return;
        auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("应用库已修复"), store.notice(),
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    };
    connect(&store, &AppStoreService::noticeChanged, this, showNotice);
    QMetaObject::invokeMethod(this, showNotice, Qt::QueuedConnection); // over the window once it shows
}

MainWindow::~MainWindow() = default;
