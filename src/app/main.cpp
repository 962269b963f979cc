#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>
#include <QtConcurrent/QtConcurrentRun>

#include "app/AskPassDialog.h"
#include "platform/InterruptWatcher.h"
#include "platform/Platform.h"
#include "services/AppStoreService.h"
#include "services/AskPass.h"
#include "services/BrewService.h"
#include "services/DownloadManager.h"
#include "services/InstallWorkflowRegistry.h"
#include "services/InstallerService.h"
#include "services/NetworkStart.h"
#include "services/NginxIndexParser.h"
#include "services/SourceStore.h"
#include "services/UpdateCenter.h"
#include "views/AppStart.h"
#include "views/MainWindow.h"
#include "views/components/ActionButton.h"
#include "views/components/IconCache.h"
#include "views/components/ThemeFont.h"
#include "views/components/ThemeWatcher.h"

int main(int argc, char *argv[])
{
    AppStart::beforeApplication();
    QApplication app(argc, argv);
    if (AskPass::requested())
        return AskPassDialog::run();
    ThemeFont::prepareInBackground(&NetworkStart::prepare);
    // Settings land in ~/.config/ZelvoAppStore/ZelvoAppStore.conf; macOS keeps them under the bundle id.
    QApplication::setOrganizationName(QStringLiteral("ZelvoAppStore"));
    QApplication::setApplicationName(QStringLiteral("ZelvoAppStore"));
    QApplication::setApplicationDisplayName(QStringLiteral("Zelvo App Store"));
    Platform::useSystemProxy();
    // Closing the one window ends the process.
    QApplication::setQuitOnLastWindowClosed(true);
#ifndef Q_OS_MACOS
    ThemeWatcher::followSystemAppearance();
#endif
    // Qt's own texts (application menu, text-field menus, standard buttons)
    // follow the interface into Chinese; a Mac bundle carries the catalogue.
    QTranslator qtTexts;
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    if (qtTexts.load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || qtTexts.load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                        QApplication::applicationDirPath() + QStringLiteral("/../Resources/translations")))
        QApplication::installTranslator(&qtTexts);

    // The composition root: services are created here, once, and handed down.
    auto &fontScale = FontScaleManager::shared();
    auto &store = AppStoreService::shared();
    auto &downloads = DownloadManager::shared();
    auto &installer = InstallerService::shared();
    auto &brew = BrewService::shared();
    IconCache icons(IconCache::folderBeside(downloads.cacheDirectory()));
    InstallWorkflowRegistry workflows(store, downloads, installer, brew);
    workflows.setInstallAfterDownload(Platform::openSettings()->value(ActionButton::installAfterDownloadKey(), false).toBool());
    // The catalog sources follow the Homebrew API base the user chose, and so does every cask lookup.
    SourceStore sources(Platform::libraryFolder());
    brew.setApiBaseUrl(sources.brewApiBase());
    QObject::connect(&sources, &SourceStore::brewApiBaseChanged, &brew,
                     [&brew, &sources] { brew.setApiBaseUrl(sources.brewApiBase()); });
    sources.loadCopies().then(&sources, [&sources] { sources.startBackgroundRefresh(); });
    // Updates are found in the library first, then in the sources, and worked out again whenever a source changes.
    UpdateCenter updates(store, workflows, brew);
    updates.setCandidates([&store, &sources] { return QList<QList<AppItem>>{store.apps(), sources.records()}; });
    QObject::connect(&sources, &SourceStore::recordsChanged, &updates, &UpdateCenter::recompute);
    AppContext context{store, downloads, installer, brew, NginxIndexParser::shared(), fontScale, icons, workflows,
                       sources, updates};

    // A package handed to the system installer finishes outside this app:
    // the controls catch up when the user comes back.
    QObject::connect(&app, &QGuiApplication::applicationStateChanged, &workflows, [&workflows](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            workflows.rescanInstalled();
    });

    // Installations cut short by an interrupt remove their work folders on
    // the way out (the pool is waited for at exit); a crash's are swept here.
    InterruptWatcher interrupt;
    QObject::connect(&interrupt, &InterruptWatcher::interrupted, &app, [&context] {
        context.installer.stopAll();
        QApplication::quit();
    });
    [[maybe_unused]] const auto sweep = QtConcurrent::run([&installer = context.installer] { installer.sweepLeftovers(); });

    ThemeFont::applyToApplication();
    MainWindow window(context);
    window.show();
    window.raise();
    window.activateWindow();
    return QApplication::exec();
}
