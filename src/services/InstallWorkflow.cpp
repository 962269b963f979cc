#include "InstallWorkflow.h"

#include <utility>

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include "models/ZelvoError.h"
#include "services/AppStoreService.h"
#include "services/ConsoleLine.h"
#include "services/BrewService.h"
#include "services/DownloadManager.h"
#include "services/InstalledDetector.h"
#include "services/InstallerService.h"
#include "services/Sha256.h"

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
    if (workflow) {
        state.failure = workflow->failure();
        state.failedStep = workflow->failedStep();
    }
    if (workflow && workflow->isInstalling()) {
        state.status = AppInstallStatus::installing();
        return state;
    }
    // Only the current version's download shows here; a download of another
    // version started from the detail page belongs to the downloads screen.
    const auto task = downloads.find(DownloadManager::taskKey(app.id, app.currentVersion));
    // Without a length there is no fraction to show: 0 % would read as stuck.
    if (task && task->status.isActive())
        state.status = AppInstallStatus::downloading(
            task->totalBytes > 0 && task->status.isDownloading() ? task->status.progress : -1.0,
            task->status.isDownloading() ? task->status.speed : QStringLiteral("等待中"));
    else
        state.status = InstalledDetector::checkStatus(app, store.installedAppMap());
    // The failed download stays beside the control until the next attempt
    // replaces its record, so the reason is seen where the user clicked.
    if (!state.hasFailure() && task && task->status.kind == DownloadStatus::Kind::failed) {
        state.failure = task->status.reason;
        state.failedStep = InstallControlState::FailedStep::download;
    }
    return state;
}

void InstallWorkflow::handleInstall()
{
    // A second run would write into the bundle the running one is replacing.
    if (m_installing)
        return;
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
            const QString text = errorText(error);
            Q_EMIT brewFailed(text);
            // Without a package to fall back on, brew's reason is the one that matters.
            if (fallbackDirectDownload() == DirectStep::noAddress)
                setFailure(QStringLiteral("Homebrew 安装失败：") + text);
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
    if (!url) {
        setFailure(address && !address->isEmpty() ? QStringLiteral("下载地址无效：") + *address
                                                  : QStringLiteral("此应用没有提供下载地址"),
                   InstallControlState::FailedStep::download);
        return step(DirectStep::noAddress);
    }

    if (const auto cached = m_downloads.findExistingPackage(m_app.id, m_app.currentVersion)) {
        executeInstallPackage(cached->filePath);
        return step(DirectStep::installingCached);
    }

    const auto running = m_downloads.find(taskKey());
    const bool alreadyRunning = running && running->status.isActive();
    if (!alreadyRunning)
        m_downloads.startDownload(m_app.id, m_app.displayName(), m_app.currentVersion, *url,
                                  expectedSha256(m_app, m_app.currentVersion));
    if (m_installAfterDownload)
        installWhenDownloaded();
    return step(alreadyRunning ? DirectStep::alreadyDownloading : DirectStep::downloadStarted);
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
    auto installedBundle = std::make_shared<QString>();
    m_installedBundle = installedBundle;
    m_installer.install(packagePath, onProgress, expectedSha256(m_app, m_app.currentVersion))
        .then(QtFuture::Launch::Sync, [installedBundle](const QString &bundle) { *installedBundle = bundle; })
        // The application outlives the work; this workflow may not.
        .then(QCoreApplication::instance(),
              [this, self] {
                  if (self)
                      finishInstallation();
              })
        .onFailed(QCoreApplication::instance(), [this, self, packagePath](const std::exception &error) {
            if (!self)
                return;
            QString text = errorText(error);
            const auto *installError = dynamic_cast<const InstallError *>(&error);
            // Installing the same broken file again would fail forever; only
            // a fresh download can help, so the next click must make one.
            if (installError && installError->isUnusablePackage() && dropFromCache(packagePath))
                text += QStringLiteral("。已从缓存中删除此安装包，再次点击将重新下载");
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

std::optional<QByteArray> InstallWorkflow::expectedSha256(const AppItem &app, const QString &version)
{
    if (!app.sha256 || version != app.currentVersion)
        return std::nullopt;
    return Sha256::fromHex(*app.sha256);
}

bool InstallWorkflow::downloadVersion(const QString &version)
{
    const auto url = ownDownloadUrl(m_app, version);
    if (!url)
        return false;
    m_downloads.startDownload(m_app.id, m_app.displayName(), version, *url, expectedSha256(m_app, version));
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

void InstallWorkflow::setFailure(const QString &failure, InstallControlState::FailedStep step)
{
    if (m_failure == failure && m_failedStep == step)
        return;
    m_failure = failure;
    m_failedStep = step;
    Q_EMIT stateChanged();
}

void InstallWorkflow::installWhenDownloaded()
{
    disconnect(m_awaitedDownload);
    const QString key = taskKey();
    m_awaitedDownload = connect(&m_downloads, &DownloadManager::taskChanged, this, [this, key](const QString &changed) {
        if (changed != key)
            return;
        const auto task = m_downloads.find(key);
        if (task && task->status.kind != DownloadStatus::Kind::completed &&
            task->status.kind != DownloadStatus::Kind::failed)
            return;
        // Completed, failed (the control shows why) or cancelled: the wait is over.
        disconnect(m_awaitedDownload);
        if (task && task->status.kind == DownloadStatus::Kind::completed && task->destinationUrl && !m_installing)
            executeInstallPackage(*task->destinationUrl);
    });
}

bool InstallWorkflow::dropFromCache(const QString &packagePath)
{
    const QFileInfo package(packagePath);
    if (!package.exists() || package.absolutePath() != QFileInfo(m_downloads.cacheDirectory()).absoluteFilePath())
        return false;
    m_downloads.deletePackage(package.absoluteFilePath());
    return !QFileInfo::exists(package.absoluteFilePath());
}

void InstallWorkflow::learnBundle(const QString &bundlePath)
{
    const auto lacks = [](const std::optional<QString> &field) { return !field || field->isEmpty(); };
    if (bundlePath.isEmpty() || (!lacks(m_app.bundleId) && !lacks(m_app.appFilename)))
        return;
    const auto info = InstalledDetector::readAppInfo(bundlePath);
    if (!info)
        return;
    // Only what the record lacks: what its author wrote stays, even where the
    // bundle says otherwise. The stored copy may be newer than this one.
    const std::optional<AppItem> stored = m_store.app(m_app.id);
    AppItem record = stored.value_or(m_app);
    if (lacks(record.bundleId) && info->bundleId && !info->bundleId->isEmpty())
        record.bundleId = info->bundleId;
    if (lacks(record.appFilename))
        record.appFilename = QFileInfo(bundlePath).fileName();
    m_app.bundleId = record.bundleId;
    m_app.appFilename = record.appFilename;
    if (stored && *stored != record)
        m_store.saveAppItem(record);
}

void InstallWorkflow::finishInstallation()
{
    // Without its bundle id or file name a record whose bundle is named
    // unlike the record never shows as installed, and each click reinstalls.
    if (const auto installed = std::exchange(m_installedBundle, nullptr))
        learnBundle(*installed);
    // The control stays at "installing" until the fresh scan lands, so it
    // never flashes the old state in between; the scan reads every bundle's
    // property list and belongs on the pool.
    const InstalledDetector &detector = m_store.detector();
    QPointer<InstallWorkflow> self(this);
    QtConcurrent::run([&detector] { return detector.scanInstalledApps(); })
        // The store (and so the application) may outlive this workflow; the
        // scan may outlive both, and then has nobody left to tell.
        .then(&m_store, [this, self, &store = m_store](InstalledAppMap installed) {
            // One fresh scan, one change notification: every control of every record redraws.
            store.setInstalledAppMap(std::move(installed));
            if (!self)
                return;
            setInstalling(false);
            Q_EMIT installSucceeded();
        });
}
