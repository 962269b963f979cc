#include "InstallWorkflow.h"

#include <QCoreApplication>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include "models/ZelvoError.h"
#include "services/AppStoreService.h"
#include "services/ConsoleLine.h"
#include "services/BrewService.h"
#include "services/DownloadManager.h"
#include "services/InstalledDetector.h"
#include "services/InstallerService.h"

InstallWorkflow::InstallWorkflow(AppItem app, AppStoreService &store, DownloadManager &downloads,
                                 InstallerService &installer, BrewService &brew, QObject *parent)
    : QObject(parent), m_app(std::move(app)), m_store(store), m_downloads(downloads), m_installer(installer),
      m_brew(brew), m_console(standardOutput())
{
}

void InstallWorkflow::setApp(const AppItem &app)
{
    if (!m_installing)
        m_app = app;
}

QString InstallWorkflow::taskKey() const
{
    return DownloadManager::taskKey(m_app.id, m_app.currentVersion);
}

InstallControlState InstallWorkflow::state() const
{
    return stateFor(m_app, this, m_store, m_downloads);
}

InstallControlState InstallWorkflow::stateFor(const AppItem &app, const InstallWorkflow *workflow,
                                              const AppStoreService &store, const DownloadManager &downloads)
{
    InstallControlState state;
    if (workflow)
        state.failure = workflow->failure();
    if (workflow && workflow->isInstalling()) {
        state.status = AppInstallStatus::installing();
        return state;
    }
    // Only the current version's download shows here; a download of another
    // version started from the detail page belongs to the downloads screen.
    const DownloadTaskItem *task = downloads.find(DownloadManager::taskKey(app.id, app.currentVersion));
    if (task && task->status.isDownloading())
        state.status = AppInstallStatus::downloading(task->status.progress, task->status.speed);
    else
        state.status = InstalledDetector::checkStatus(app, store.installedAppMap());
    return state;
}

void InstallWorkflow::handleInstall()
{
    setFailure({});
    if (m_app.sourceType != AppSourceType::brew) {
        fallbackDirectDownload();
        return;
    }
    // An empty brewName is still the record's own word and goes to brew,
    // which refuses it; only a record without any token skips brew.
    QString token;
    if (m_app.brewName)
        token = *m_app.brewName;
    else if (!m_app.id.isEmpty())
        token = m_app.id;
    else {
        fallbackDirectDownload();
        return;
    }

    setInstalling(true);
    QPointer<InstallWorkflow> self(this);
    m_brew
        .installViaBrew(token,
                        [self](const QString &chunk) {
                            if (self)
                                self->m_console(QStringLiteral("Brew output: ") + chunk);
                        })
        // The application outlives the work; this workflow may not.
        .then(QCoreApplication::instance(),
              [this, self] {
                  if (self)
                      finishInstallation();
              })
        .onFailed(QCoreApplication::instance(), [this, self](const std::exception &error) {
            if (!self)
                return;
            setInstalling(false);
            Q_EMIT brewFailed(errorText(error));
            fallbackDirectDownload();
        });
}

InstallWorkflow::DirectStep InstallWorkflow::fallbackDirectDownload()
{
    const auto step = [this](DirectStep taken) {
        Q_EMIT directStepTaken(taken);
        return taken;
    };
    const auto address = m_app.resolveDownloadUrl();
    const auto url = address ? parseAddress(*address) : std::nullopt;
    if (!url)
        return step(DirectStep::noAddress);

    if (const auto cached = m_downloads.findExistingPackage(m_app.id, m_app.currentVersion)) {
        executeInstallPackage(cached->filePath);
        return step(DirectStep::installingCached);
    }

    const DownloadTaskItem *running = m_downloads.find(taskKey());
    if (running && running->status.isDownloading())
        return step(DirectStep::alreadyDownloading);
    m_downloads.startDownload(m_app.id, m_app.displayName(), m_app.currentVersion, *url);
    return step(DirectStep::downloadStarted);
}

void InstallWorkflow::executeInstallPackage(const QString &packagePath)
{
    setFailure({});
    setInstalling(true);
    // Progress arrives on the installer's pool thread; the console sink (and
    // this object) belong to the main thread, so each line is posted there.
    QPointer<InstallWorkflow> self(this);
    auto onProgress = [self](const QString &message) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, message] {
                if (self)
                    self->m_console(QStringLiteral("Installer: ") + message);
            },
            Qt::QueuedConnection);
    };
    m_installer.install(packagePath, onProgress)
        // The application outlives the work; this workflow may not.
        .then(QCoreApplication::instance(),
              [this, self] {
                  if (self)
                      finishInstallation();
              })
        .onFailed(QCoreApplication::instance(), [this, self](const std::exception &error) {
            if (!self)
                return;
            const QString text = errorText(error);
            m_console(QStringLiteral("安装失败: ") + text);
            m_installing = false;
            setFailure(text);
            Q_EMIT stateChanged();
            Q_EMIT installFailed(text);
        });
}

void InstallWorkflow::openInstalled()
{
    setFailure({});
    const AppInstallStatus status = InstalledDetector::checkStatus(m_app, m_store.installedAppMap());
    if (status.isInstalledOrUpdatable())
        m_installer.launchApp(status.path);
}

std::optional<QUrl> InstallWorkflow::parseAddress(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid() || url.scheme().isEmpty())
        return std::nullopt;
    return url;
}

std::optional<QUrl> InstallWorkflow::ownDownloadUrl(const AppItem &app, const QString &version)
{
    const bool hasTemplate = app.versionPatternUrl && !app.versionPatternUrl->isEmpty();
    bool hasOwnEntry = false;
    if (app.versions) {
        for (const AppVersion &entry : *app.versions) {
            if (entry.version == version) {
                hasOwnEntry = entry.downloadUrl && !entry.downloadUrl->isEmpty();
                break;
            }
        }
    }
    // The record's own address is the current version's package: handing it
    // out for another version would store that package under the wrong name.
    if (!hasTemplate && !hasOwnEntry && version != app.currentVersion)
        return std::nullopt;
    const auto address = app.resolveDownloadUrl(version);
    return address ? parseAddress(*address) : std::nullopt;
}

bool InstallWorkflow::downloadVersion(const QString &version)
{
    const auto url = ownDownloadUrl(m_app, version);
    if (!url)
        return false;
    m_downloads.startDownload(m_app.id, m_app.displayName(), version, *url);
    return true;
}

void InstallWorkflow::setConsole(ConsoleSink sink)
{
    m_console = sink ? std::move(sink) : standardOutput();
}

InstallWorkflow::ConsoleSink InstallWorkflow::standardOutput()
{
    return printConsoleLine;
}

void InstallWorkflow::setInstalling(bool installing)
{
    if (m_installing == installing)
        return;
    m_installing = installing;
    Q_EMIT stateChanged();
}

void InstallWorkflow::setFailure(const QString &failure)
{
    if (m_failure == failure)
        return;
    m_failure = failure;
    Q_EMIT stateChanged();
}

void InstallWorkflow::finishInstallation()
{
    // The control stays at "installing" until the fresh scan lands, so it
    // never flashes the old state in between; the scan reads every bundle's
    // property list and belongs on the pool.
    const InstalledDetector &detector = m_store.detector();
    QtConcurrent::run([&detector] { return detector.scanInstalledApps(); })
        .then(this, [this](InstalledAppMap installed) {
            // One fresh scan, one change notification: every control of every record redraws.
            m_store.setInstalledAppMap(std::move(installed));
            setInstalling(false);
            Q_EMIT installSucceeded();
        });
}
