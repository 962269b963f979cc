#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

#include "models/AppInstallStatus.h"
#include "models/AppItem.h"
#include "models/InstalledAppInfo.h"

class InstalledDetector;
class QFileSystemWatcher;
class QLockFile;
class QTimer;

// Whether a change reached "apps.json". The change is kept in memory either
// way; the caller tells the user the truth.
struct SaveResult
{
    bool ok = true;
    QString error;
};

struct ImportResult
{
    int count = 0;
    SaveResult save;
};

// The application library: the records shown by the catalog screens, kept in
// one JSON file, plus the installed bundles found by the detector.
//
// The window and the command line share the file and may run at once: every
// change is a read-modify-write under a lock file beside it, based on what is
// on disk at that moment, and a change made by another process is noticed and
// reloaded (appsChanged) while the event loop runs.
class AppStoreService final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppStoreService)

public:
    // Where the store's own report lines go ("保存应用数据失败: ", the backup of
    // an unusable file): standard output unless the front end says otherwise.
    using ConsoleSink = std::function<void(const QString &line)>;
    static void setConsole(ConsoleSink sink);

    // The most a library file or an import may hold (about 140,000 records):
    // anything larger is refused before it fills memory.
    static constexpr qint64 maxLibraryBytes = 128 << 20;

    // Loads the library from libraryFolder/apps.json and runs one installed scan.
    AppStoreService(QString libraryFolder, const InstalledDetector &detector, QObject *parent = nullptr);

    static AppStoreService &shared();
    static const QList<AppItem> &defaultPresetApps();

    const QList<AppItem> &apps() const { return m_apps; }
    const InstalledAppMap &installedAppMap() const { return m_installedAppMap; }
    void setInstalledAppMap(InstalledAppMap map);
    const InstalledDetector &detector() const { return m_detector; }

    // The first record with this id, or nothing.
    std::optional<AppItem> app(const QString &id) const;

    QString storageFilePath() const;
    QString lockFilePath() const;
    // A copy of the library as last loaded or saved whole, which a load that
    // finds the library unusable recovers from.
    QString lastGoodFilePath() const;
    // The latest thing the store had to do to a damaged library file that the
    // user should know (records skipped, a backup made, a copy restored).
    const QString &notice() const { return m_notice; }
    void loadApps();
    // Writes the records in memory as they are.
    SaveResult saveApps();
    SaveResult saveAppItem(const AppItem &app);
    SaveResult removeApp(const QString &id);
    // Throws DecodingError with the fixed import message; the library is then unchanged.
    ImportResult importFromJson(const QString &text);
    ImportResult importFromData(const QByteArray &data);
    QString exportToJson() const;

    AppInstallStatus getInstallStatus(const AppItem &app) const;
    void refreshInstalledStatus();

    static QString importFormatError();
    static QString unusableFileKeptText();

Q_SIGNALS:
    void appsChanged();
    void installedAppMapChanged();
    void noticeChanged();

private:
    enum class DiskState { missing, unreadable, unusable, partial, loaded };
    struct DiskRead
    {
        DiskState state = DiskState::missing;
        QList<AppItem> apps;
        int skipped = 0;
        QByteArray bytes;
    };

    void setApps(QList<AppItem> apps);
    void tell(const QString &line);
    std::optional<QString> moveAsideUnusableFile(const QString &path);
    bool moveAside(const DiskRead &disk, bool recovered);
    DiskRead readDisk();
    std::optional<QList<AppItem>> readLastGood() const;
    void rememberDiskBytes(const QByteArray &bytes);
    QString lockFailureText(const QLockFile &lock) const;
    void keepLastGood(const QByteArray &bytes) const;
    SaveResult writeUnlocked();
    SaveResult modify(const std::function<void(QList<AppItem> &)> &change);
    SaveResult reportFailure(const QString &error);
    void watchLibrary();
    void reloadIfChangedOnDisk();

    QString m_folder;
    const InstalledDetector &m_detector;
    QList<AppItem> m_apps;
    InstalledAppMap m_installedAppMap;
    QString m_notice;
    // What this store last read or wrote, so that its own writes do not come
    // back as reloads.
    qsizetype m_diskSize = -1;
    size_t m_diskHash = 0;
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer *m_reloadTimer = nullptr;
};
