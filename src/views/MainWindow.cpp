#include "views/MainWindow.h"

#include <QMenuBar>
#include <QMessageBox>

#include "services/AppStoreService.h"
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
    const auto updateBadge = [this, &downloads] { m_view->setDownloadsBadgeCount(int(downloads.activeTasks().size())); };
    connect(&downloads, &DownloadManager::activeTasksChanged, this, updateBadge);
    updateBadge();

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
