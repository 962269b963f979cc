#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

#include "models/AppItem.h"
#include "models/InstallControlState.h"

class AppStoreService;
class BrewService;
class DownloadManager;
class InstallerService;

// Brings one catalog record onto the machine: a Homebrew installation for
// Homebrew records (falling back to the direct road when brew fails),
// otherwise the cached package is installed, or, when there is none yet, the
// package is downloaded so that the next click installs it.
//
// One object per record, shared by every control that shows the record (the
// detail page's button and the list cards), so they always agree. It owns no
// widgets and lives in the core so the command line drives the same steps.
// All calls and signals are on the main thread.
class InstallWorkflow final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InstallWorkflow)

public:
    // Where the console lines ("Brew output: ", "Installer: ", "安装失败: ") go.
    using ConsoleSink = std::function<void(const QString &line)>;

    // What the direct road did.
    enum class DirectStep {
        noAddress,          // no download address, or one that is not a URL: a failure says so
        installingCached,   // a cached package of this id and version is being installed
        downloadStarted,    // a download of the current version was started
        alreadyDownloading, // that download was already running; left alone
    };
    Q_ENUM(DirectStep)

    InstallWorkflow(AppItem app, AppStoreService &store, DownloadManager &downloads, InstallerService &installer,
                    BrewService &brew, QObject *parent = nullptr);

    const AppItem &app() const { return m_app; }
    // Takes a newer copy of the record; ignored while an installation runs.
    void setApp(const AppItem &app);

    // The download key of the record's current version (id + "-" + currentVersion).
    QString taskKey() const;
    bool isInstalling() const { return m_installing; }
    // The reason of the last failed action; empty once the next action starts.
    const QString &failure() const { return m_failure; }
    InstallControlState::FailedStep failedStep() const { return m_failedStep; }

    // What any control of this record shows now.
    InstallControlState state() const;
    // The same for a record that may have no workflow yet (workflow may be null).
    static InstallControlState stateFor(const AppItem &app, const InstallWorkflow *workflow,
                                        const AppStoreService &store, const DownloadManager &downloads);

    // "获取" and "更新": the whole workflow.
    void handleInstall();
    // The direct road: install the cached package, or download it.
    DirectStep fallbackDirectDownload();
    // Installs one package file.
    void executeInstallPackage(const QString &packagePath);
    // "打开": starts the installed bundle of the record, if there is one.
    void openInstalled();

    // A download address as the workflow accepts it: a valid URL with a scheme.
    static std::optional<QUrl> parseAddress(const QString &text);
    // The address of exactly this version's own package: the template filled
    // with it, its entry's own address, or (for the current version only) the
    // record's address. Nothing when the version has no address of its own,
    // so another version's package is never fetched under this version's name.
    static std::optional<QUrl> ownDownloadUrl(const AppItem &app, const QString &version);
    // The digest a package of this version must have: the record's SHA-256
    // belongs to its current version; "no_check" and anything else that is
    // no digest mean none.
    static std::optional<QByteArray> expectedSha256(const AppItem &app, const QString &version);
    // "下载此版本": starts that download; false when the version has no own address.
    bool downloadVersion(const QString &version);

    // When on, a download that "获取" or "更新" started is installed as soon
    // as it completes; off, the next click installs it.
    void setInstallAfterDownload(bool on) { m_installAfterDownload = on; }

    void setConsole(ConsoleSink sink);
    static ConsoleSink standardOutput();

Q_SIGNALS:
    // isInstalling() or failure() changed.
    void stateChanged();
    // An installation finished successfully (the installed map is fresh by now).
    void installSucceeded();
    // An installation failed; the text is also failure().
    void installFailed(const QString &error);
    // brew failed and the direct road was taken; shown nowhere in the window.
    void brewFailed(const QString &error);
    void directStepTaken(InstallWorkflow::DirectStep step);

private:
    void setInstalling(bool installing);
    void setFailure(const QString &failure,
                    InstallControlState::FailedStep step = InstallControlState::FailedStep::install);
    void finishInstallation();
    // Stores the installed bundle's id and file name on the record where it has none.
    void learnBundle(const QString &bundlePath);
    // Installs the current version's download once it completes.
    void installWhenDownloaded();
    // Removes a package of the cache folder; false when it was not in it or stayed.
    bool dropFromCache(const QString &packagePath);

    AppItem m_app;
    AppStoreService &m_store;
    DownloadManager &m_downloads;
    InstallerService &m_installer;
    BrewService &m_brew;
    ConsoleSink m_console;
    bool m_installing = false;
    QString m_failure;
    // Where the running package installation put its bundle; filled on the pool thread before it finishes.
    std::shared_ptr<QString> m_installedBundle;
    bool m_installAfterDownload = false;
    QMetaObject::Connection m_awaitedDownload;
    InstallControlState::FailedStep m_failedStep = InstallControlState::FailedStep::install;
};
