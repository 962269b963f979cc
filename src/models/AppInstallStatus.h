#pragma once

#include <QString>

// What the install control shows for one record. Only installed,
// updateAvailable and notInstalled come from the detector; the install
// workflow adds the transient cases.
struct AppInstallStatus
{
    enum class Kind { installed, updateAvailable, downloading, failed, notInstalled, installing };

    Kind kind = Kind::notInstalled;
    QString version;          // installed
    QString installedVersion; // updateAvailable
    QString latestVersion;    // updateAvailable
    QString path;             // installed, updateAvailable
    double progress = 0;      // downloading: 0…1, below 0 while the length is unknown
    QString speedText;        // downloading
    QString error;            // failed

    static AppInstallStatus installed(QString version, QString path)
    {
        AppInstallStatus s;
        s.kind = Kind::installed;
        s.version = std::move(version);
        s.path = std::move(path);
        return s;
    }
    static AppInstallStatus updateAvailable(QString installedVersion, QString latestVersion, QString path)
    {
        AppInstallStatus s;
        s.kind = Kind::updateAvailable;
        s.installedVersion = std::move(installedVersion);
        s.latestVersion = std::move(latestVersion);
        s.path = std::move(path);
        return s;
    }
    static AppInstallStatus downloading(double progress, QString speedText)
    {
        AppInstallStatus s;
        s.kind = Kind::downloading;
        s.progress = progress;
        s.speedText = std::move(speedText);
        return s;
    }
    static AppInstallStatus failed(QString error)
    {
        AppInstallStatus s;
        s.kind = Kind::failed;
        s.error = std::move(error);
        return s;
    }
    static AppInstallStatus notInstalled() { return {}; }
    static AppInstallStatus installing()
    {
        AppInstallStatus s;
        s.kind = Kind::installing;
        return s;
    }

    bool isInstalledOrUpdatable() const { return kind == Kind::installed || kind == Kind::updateAvailable; }
    bool operator==(const AppInstallStatus &) const = default;
};
