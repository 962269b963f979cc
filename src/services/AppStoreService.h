#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include "models/AppInstallStatus.h"
#include "models/AppItem.h"
#include "models/InstalledAppInfo.h"

class InstalledDetector;

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
class AppStoreService final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppStoreService)

public:
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
    void loadApps();
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

Q_SIGNALS:
    void appsChanged();
    void installedAppMapChanged();

private:
    void setApps(QList<AppItem> apps);
    bool moveAsideUnusableFile(const QString &path);

    QString m_folder;
    const InstalledDetector &m_detector;
    QList<AppItem> m_apps;
    InstalledAppMap m_installedAppMap;
};
