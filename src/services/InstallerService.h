#pragma once

#include <QByteArray>
#include <QFuture>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "models/ZelvoError.h"
#include "platform/DiskImageMounter.h"
#include "platform/Workspace.h"
#include "platform/ZipExpander.h"

// Why an installation failed, with the text the screens show. Failures of the
// system itself (a tool that cannot start, a copy that fails) are plain
// ZelvoErrors carrying the system's own text.
class InstallError final : public ZelvoError
{
public:
    enum class Kind {
        fileNotFound,         // payload: the package path
        unsupportedType,      // payload: the file's name
        processFailed,        // payload: what went wrong
        appNotFoundInPackage, // no payload
        cannotOpenPackage,    // payload: the step that failed ("无法打开磁盘镜像")
        checksumMismatch,     // payload: the package path
    };

    static InstallError fileNotFound(const QString &path);
    // `why` says what the file is instead of a package.
    static InstallError unsupportedType(const QString &fileName, const QString &why);
    static InstallError processFailed(const QString &detail);
    static InstallError appNotFoundInPackage();
    static InstallError cannotOpenPackage(const QString &step);
    static InstallError checksumMismatch(const QString &path);

    // The package file itself is unusable: fetching it again may help,
    // installing the same file again never will.
    bool isUnusablePackage() const
    {
        return m_kind == Kind::appNotFoundInPackage || m_kind == Kind::cannotOpenPackage ||
               m_kind == Kind::unsupportedType || m_kind == Kind::checksumMismatch;
    }

    Kind kind() const { return m_kind; }
    const QString &payload() const { return m_payload; }

    void raise() const override { throw *this; }
    InstallError *clone() const override { return new InstallError(*this); }

private:
    InstallError(Kind kind, QString payload, const QString &description);

    Kind m_kind;
    QString m_payload;
};

// Turns a downloaded package into an installed application: a disk image or
// ZIP archive has its top-level .app bundle copied into the install folder,
// an installer package goes to the system installer. The kind is read from
// the file's content, not its name; anything else is refused.
//
// Any number of installations may run at once, each in its own uniquely named
// work folder, claimed for as long as it runs (FolderLock), so that the
// leftovers of a process that died can be swept by the next one. It never
// touches the catalog, the download cache or the installed map; callers
// rescan afterwards.
class InstallerService final
{
public:
    using Progress = std::function<void(const QString &message)>;

    // installFolder receives the bundles (created when missing); tempFolder
    // holds the "ZelvoMount_…" / "ZelvoZip_…" work folders, one per run.
    explicit InstallerService(QString installFolder, QString tempFolder = defaultTempFolder(),
                              DiskImageMounter mounter = DiskImageMounter(), ZipExpander expander = ZipExpander(),
                              Workspace workspace = Workspace());

    // The running app's installer: Platform::installTargetFolder() and the system's tools.
    static InstallerService &shared();
    static QString defaultTempFolder();

    const QString &installFolder() const { return m_installFolder; }
    // The desktop hand-over this installer uses; screens reveal and open files through it too.
    const Workspace &workspace() const { return m_workspace; }

    // Installs the package on the global thread pool and finishes when the
    // flow has (for a .pkg: once the system installer has been started), with
    // the path of the bundle it put into the install folder (empty when the
    // system installer or the default application took the package).
    // onProgress receives the Chinese progress texts in order, called on that
    // pool thread: move to the main thread before touching the UI. Fails with
    // InstallError, or a ZelvoError carrying the system's text. Work folders
    // are removed and images detached on success and failure alike; a bundle
    // already installed under the same name is replaced only once the new
    // copy is complete, and left exactly as it was when anything fails.
    // sha256 (32 bytes): the package must have this digest, or nothing is
    // installed. A bundle taken from a downloaded package carries the
    // package's download mark (the quarantine on macOS).
    QFuture<QString> install(const QString &packagePath, Progress onProgress,
                             std::optional<QByteArray> sha256 = std::nullopt) const;

    // The same, blocking the calling thread; throws instead of failing a future.
    QString installNow(const QString &packagePath, const Progress &onProgress,
                       const std::optional<QByteArray> &sha256 = std::nullopt) const;

    // Starts the application bundle at bundlePath. Returns at once, reports
    // nothing, ignores failure.
    void launchApp(const QString &bundlePath) const;

    // Stops every installation of this installer and its copies, for the
    // process's end (an interrupt): running tools are killed and each flow
    // fails after removing its work folders and staging copies, leaving the
    // installed bundle as it was. Installations started afterwards fail too.
    void stopAll() const;

    // Removes the work folders and staging copies that installations of
    // processes no longer running left behind, putting back an installed
    // bundle that such a process had set aside. Runs before every
    // installation; blocks on the calling thread.
    void sweepLeftovers() const;

private:
    bool stopped() const { return m_stop->load(); }
    void throwIfStopped() const;
    QString installDmg(const QString &imagePath, const Progress &onProgress) const;
    QString installZip(const QString &archivePath, const Progress &onProgress) const;
    void installPkg(const QString &packagePath, const Progress &onProgress) const;
    QString newWorkFolderPath(const QString &prefix) const;
    void checkExpansionFits(qint64 expandedBytes, qint64 packageBytes) const;
    void replaceBundle(const QString &source, const QString &destination) const;

    QString m_installFolder;
    QString m_tempFolder;
    DiskImageMounter m_mounter;
    ZipExpander m_expander;
    Workspace m_workspace;
    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
};
