#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

#include "support/TestHttpServer.h"

class AppStoreService;
class BrewService;
class DownloadManager;
class InstalledDetector;
class InstallerService;
class InstallWorkflowRegistry;
class NginxIndexParser;
class SourceStore;
class UpdateCenter;

// The real services over one temporary home, for tests of the install
// workflow and the screens built on it: a library, a package cache, an
// Applications folder that the detector scans and the installer fills, a
// fake brew and a fake hdiutil (whose attach always fails), and a local HTTP
// server for packages and icons. Console lines of the workflows are collected
// in `console`.
class TestServices final
{
public:
    TestServices();
    ~TestServices();
    TestServices(const TestServices &) = delete;
    TestServices &operator=(const TestServices &) = delete;

    QTemporaryDir root;
    TestHttpServer server;
    std::unique_ptr<InstalledDetector> detector;
    std::unique_ptr<AppStoreService> store;
    std::unique_ptr<DownloadManager> downloads;
    std::unique_ptr<InstallerService> installer;
    std::unique_ptr<BrewService> brew;
    std::unique_ptr<NginxIndexParser> scraper;
    // The workflows over these services, as a screen's context hands them down.
    std::unique_ptr<InstallWorkflowRegistry> registry;
    // Sources kept beside the library; none is fetched unless a test asks.
    std::unique_ptr<SourceStore> sources;
    // Over the registry and a Caskroom folder of its own (caskroom()).
    std::unique_ptr<UpdateCenter> updates;
    QStringList console;

    QString apps() const { return root.filePath(QStringLiteral("Applications")); }
    QString cache() const;
    QString caskroom() const { return root.filePath(QStringLiteral("Caskroom")); }
    QString brewPath() const { return root.filePath(QStringLiteral("bin/brew")); }
    // Every run of the fake tools, one a line: "launch <path>" and brew's arguments.
    QByteArray toolLog() const;

    // path answers a quarter of a 1000-byte body and then holds the
    // connection open, so its download stays running at 25 %.
    void routeQuarterThenHold(const QString &path);
    // A brew that logs its arguments, prints output (printf format) and exits with status.
    void writeBrew(const QByteArray &output, int status);
    // Puts a ZIP holding Foo.app (com.example.foo) of bundleVersion into the
    // package cache under fileName and rescans the cache.
    bool cacheZip(const QString &fileName, const QString &bundleVersion);
    // Foo.app of this version in the Applications folder, and a fresh scan in the store.
    void installFoo(const QString &bundleVersion);
};
