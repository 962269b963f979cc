#include "views/MainWindow.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include "services/AppStoreService.h"
#include "services/DownloadManager.h"
#include "services/UpdateCenter.h"
#include "views/AppListView.h"
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

    m_view = new MainView(context.fonts, [this, screens = m_screens.get()](NavigationItem item, QWidget *parent) {
        QWidget *screen = screens->create(item, parent);
        // A library search that found nothing leads to the same search over the sources.
        if (auto *list = qobject_cast<AppListView *>(screen))
            connect(list, &AppListView::sourceMatchesRequested, this, [this](const QString &text) {
                m_view->setSelectedItem(NavigationItem::sources);
                if (auto *sources = qobject_cast<AppListView *>(m_view->currentScreen()))
                    sources->setSearchText(text);
            });
        return screen;
    });
    setCentralWidget(m_view);
    auto *minimize = new QAction(QStringLiteral("最小化"), this);
    minimize->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    connect(minimize, &QAction::triggered, this, &QWidget::showMinimized);
    auto *close = new QAction(QStringLiteral("关闭"), this);
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    connect(close, &QAction::triggered, this, &QWidget::close);
#ifdef Q_OS_MACOS
    m_view->installMenus(menuBar());
    // Left to guess from the texts, the Mac menu bar would move commands
    // that look like settings or quit into the application menu.
    for (QAction *menu : menuBar()->actions()) {
        if (menu->menu()) {
            for (QAction *action : menu->menu()->actions())
                action->setMenuRole(QAction::NoRole);
        }
    }
    menuBar()->addMenu(QStringLiteral("窗口"))->addActions({minimize, close});
#else
    // The Mac window has its menus in the screen's menu bar, not in the window; here the
    // window keeps their shortcuts without a bar. (A bar would also cost the start every
    // image-format plugin: its overflow button's icon is read through all of them.)
    addActions({minimize, close});
#endif

    // The sidebar knows nothing of downloads; the badge is fed from here.
    auto &downloads = context.downloads;
    const auto updateBadge = [this, &downloads] { m_view->setDownloadsBadgeCount(downloads.runningCount()); };
    connect(&downloads, &DownloadManager::activeTasksChanged, this, updateBadge);
    // A record that finishes or fails changes the running count without a list change.
    connect(&downloads, &DownloadManager::taskChanged, this, updateBadge);
    updateBadge();

    // Updates are looked for at start-up, off the main thread, in the installs the
    // store has just scanned; the badge follows every change of what is outdated.
    auto &updates = context.updates;
    const auto updateUpdatesBadge = [this, &updates] { m_view->setUpdatesBadgeCount(updates.count()); };
    connect(&updates, &UpdateCenter::outdatedChanged, this, updateUpdatesBadge);
    updateUpdatesBadge();
    updates.checkWithKnownInstalls();

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
