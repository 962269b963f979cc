#include "AppStoreService.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QJsonDocument>
#include <QLockFile>
#include <QTimer>

#include <filesystem>

#include "models/ZelvoError.h"
#include "platform/BoundedRead.h"
#include "platform/DurableFile.h"
#include "platform/Platform.h"
#include "services/ConsoleLine.h"
#include "services/InstalledDetector.h"

namespace {

// Another process holds the lock only for one read and one write; waiting
// longer than this means it hangs, and the change stays in memory.
constexpr int lockTimeoutMs = 10'000;
// A save by another process arrives as a burst of events (temporary file,
// rename, lock file); they end in one reload.
constexpr int reloadDelayMs = 50;

QString lockBusyText()
{
    return QStringLiteral("应用库文件正被另一个进程占用");
}

AppStoreService::ConsoleSink &console()
{
    static AppStoreService::ConsoleSink sink = printConsoleLine;
    return sink;
}

void printLine(const QString &line)
{
    console()(line);
}

AppItem preset(QString id, QString name, QString chineseName, QString category, AppSourceType source,
               std::optional<QString> brewName, QString version, PackageType package, QString bundleId,
               QString appFilename, QString summary, QString description, QString homepage, QString downloadUrl)
{
    AppItem app;
    app.id = std::move(id);
    app.name = std::move(name);
    app.chineseName = std::move(chineseName);
    app.bundleId = std::move(bundleId);
    app.appFilename = std::move(appFilename);
    app.category = std::move(category);
    app.summary = std::move(summary);
    app.description = std::move(description);
    app.homepage = std::move(homepage);
    app.sourceType = source;
    app.brewName = std::move(brewName);
    app.currentVersion = std::move(version);
    app.downloadUrl = std::move(downloadUrl);
    app.packageType = package;
    return app;
}

QList<AppItem> buildPresets()
{
    const auto S = [](const char *text) { return QString::fromUtf8(text); };
    QList<AppItem> apps;
    apps << preset(S("google-chrome"), S("Google Chrome"), S("谷歌浏览器"), S("网络浏览器"), AppSourceType::brew,
                   S("google-chrome"), S("128.0.6613.120"), PackageType::dmg, S("com.google.Chrome"),
                   S("Google Chrome.app"), S("由 Google 开发的高速、稳定、现代且安全的网络浏览器"),
                   S("Google Chrome 是一款运行于 Mac 上的快速且安全的网络浏览器。具备强大的标签页管理、扩展生态以及跨平台云同步能力。"),
                   S("https://www.google.com/chrome/"),
                   S("https://dl.google.com/chrome/mac/universal/stable/GGRO/googlechrome.dmg"));
    apps.last().iconUrl =
        S("https://raw.githubusercontent.com/Homebrew/homebrew-cask/master/Casks/g/google-chrome.rb");
    apps << preset(S("visual-studio-code"), S("Visual Studio Code"), S("VS Code 编辑器"), S("开发工具"),
                   AppSourceType::brew, S("visual-studio-code"), S("1.93.1"), PackageType::zip,
                   S("com.microsoft.VSCode"), S("Visual Studio Code.app"), S("微软推出的轻量且功能强大的现代代码编辑器"),
                   S("Visual Studio Code 是针对现代 Web 和云应用重新定义和优化的代码编辑器，拥有海量插件生态和智能补全支持。"),
                   S("https://code.visualstudio.com/"),
                   S("https://code.visualstudio.com/sha/download?build=stable&os=darwin-arm64"));
    apps << preset(S("iterm2"), S("iTerm2"), S("iTerm 终端神器"), S("开发工具"), AppSourceType::brew, S("iterm2"),
                   S("3.5.4"), PackageType::zip, S("com.googlecode.iterm2"), S("iTerm.app"),
                   S("macOS 必备的高级全能终端仿真器"),
                   S("iTerm2 是 macOS Terminal 的最佳替代者。支持分屏、搜索、自动补全、即时重播和高度可定制的主题。"),
                   S("https://iterm2.com/"), S("https://iterm2.com/downloads/stable/iTerm2-3_5_4.zip"));
    apps << preset(S("docker"), S("Docker Desktop"), S("Docker 容器工作台"), S("开发工具"), AppSourceType::brew,
                   S("docker"), S("4.34.2"), PackageType::dmg, S("com.docker.docker"), S("Docker.app"),
                   S("一站式容器化与 Kubernetes 开发者桌面环境"),
                   S("Docker Desktop 提供完整的容器开发套件，支持在 Mac 上轻松构建、共享和运行微服务及云原生应用。"),
                   S("https://www.docker.com/products/docker-desktop/"),
                   S("https://desktop.docker.com/mac/main/arm64/Docker.dmg"));
    apps << preset(S("wechat"), S("WeChat"), S("微信"), S("通讯社交"), AppSourceType::direct, std::nullopt, S("3.8.8"),
                   PackageType::dmg, S("com.tencent.xinWeChat"), S("WeChat.app"), S("跨平台的即时通讯与生活方式应用"),
                   S("微信 Mac 原生版，支持收发消息、音视频通话、文件传输、朋友圈浏览以及小程序快捷使用。"),
                   S("https://mac.weixin.qq.com/"), S("https://dldir1.qq.com/weixin/mac/WeChatMac.dmg"));
    apps << preset(S("obsidian"), S("Obsidian"), S("黑曜石知识库"), S("效率办公"), AppSourceType::direct, std::nullopt,
                   S("1.6.7"), PackageType::dmg, S("md.obsidian"), S("Obsidian.app"),
                   S("强大的本地双链 Markdown 个人知识管理系统"),
                   S("Obsidian 是基于本地 Markdown 文件的第二大脑，拥有丰富的图谱视图和社区插件生态，数据安全尽在本地掌控。"),
                   S("https://obsidian.md/"),
                   S("https://github.com/obsidianmd/obsidian-releases/releases/download/v1.6.7/Obsidian-1.6.7-arm64.dmg"));
    apps.last().versionPatternUrl =
        S("https://github.com/obsidianmd/obsidian-releases/releases/download/v{version}/Obsidian-{version}-arm64.dmg");
    return apps;
}

// Inserts or replaces by id: a known id keeps its position, a new one goes first.
void upsert(QList<AppItem> &apps, const AppItem &app)
{
    for (auto &existing : apps) {
        if (existing.id == app.id) {
            existing = app;
            return;
        }
    }
    apps.prepend(app);
}

} // namespace

AppStoreService::AppStoreService(QString libraryFolder, const InstalledDetector &detector, QObject *parent)
    : QObject(parent), m_folder(std::move(libraryFolder)), m_detector(detector)
{
    loadApps();
    m_installedAppMap = m_detector.scanInstalledApps();
    watchLibrary();
}

void AppStoreService::setConsole(ConsoleSink sink)
{
    console() = std::move(sink);
}

AppStoreService &AppStoreService::shared()
{
    static AppStoreService instance(Platform::libraryFolder(), InstalledDetector::shared());
    return instance;
}

const QList<AppItem> &AppStoreService::defaultPresetApps()
{
    static const QList<AppItem> presets = buildPresets();
    return presets;
}

QString AppStoreService::importFormatError()
{
    return QStringLiteral("JSON 格式既不是 AppItem 对象，也不是 AppItem 数组");
}

std::optional<AppItem> AppStoreService::app(const QString &id) const
{
    for (const auto &app : m_apps)
        if (app.id == id)
            return app;
    return std::nullopt;
}

void AppStoreService::setApps(QList<AppItem> apps)
{
    m_apps = std::move(apps);
    Q_EMIT appsChanged();
}

void AppStoreService::setInstalledAppMap(InstalledAppMap map)
{
    m_installedAppMap = std::move(map);
    Q_EMIT installedAppMapChanged();
}

QString AppStoreService::storageFilePath() const
{
    QDir().mkpath(m_folder);
    return QDir(m_folder).filePath(QStringLiteral("apps.json"));
}

QString AppStoreService::lockFilePath() const
{
    return storageFilePath() + QStringLiteral(".lock");
}

QString AppStoreService::lastGoodFilePath() const
{
    return storageFilePath() + QStringLiteral(".last-good");
}

void AppStoreService::rememberDiskBytes(const QByteArray &bytes)
{
    m_diskSize = bytes.size();
    m_diskHash = qHash(bytes);
}

void AppStoreService::tell(const QString &line)
{
    printLine(line);
    m_notice = line;
    Q_EMIT noticeChanged();
}

AppStoreService::DiskRead AppStoreService::readDisk()
{
    const auto file = BoundedRead::regularFile(storageFilePath(), maxLibraryBytes);
    switch (file.status) {
    case BoundedRead::Status::missing:
        return {DiskState::missing};
    case BoundedRead::Status::failed:
        return {DiskState::unreadable};
    case BoundedRead::Status::notRegularFile:
    case BoundedRead::Status::tooLarge:
        return {DiskState::unusable};
    case BoundedRead::Status::ok:
        break;
    }
    AppItemList decoded;
    try {
        decoded = AppItem::listFromJsonSkippingBad(file.bytes);
    } catch (const DecodingError &) {
        return {DiskState::unusable};
    }
    if (decoded.skipped > 0 && decoded.apps.isEmpty())
        return {DiskState::unusable};
    rememberDiskBytes(file.bytes);
    return {decoded.skipped > 0 ? DiskState::partial : DiskState::loaded, std::move(decoded.apps), decoded.skipped,
            file.bytes};
}

std::optional<QList<AppItem>> AppStoreService::readLastGood() const
{
    const auto file = BoundedRead::regularFile(lastGoodFilePath(), maxLibraryBytes);
    if (file.status != BoundedRead::Status::ok)
        return std::nullopt;
    try {
        return AppItem::listFromJson(file.bytes);
    } catch (const DecodingError &) {
        return std::nullopt;
    }
}

void AppStoreService::loadApps()
{
    // A save replaces the file whole by a rename, so a read without the lock
    // finds one complete library or the other. The lock, whose file costs a
    // flush to disk at every start, is taken only when the load must write:
    // to repair the file or to keep its first good copy.
    if (auto disk = readDisk(); disk.state == DiskState::loaded && QFileInfo::exists(lastGoodFilePath())) {
        setApps(std::move(disk.apps));
        return;
    }
    QLockFile lock(lockFilePath());
    const bool locked = lock.tryLock(lockTimeoutMs);
    auto disk = readDisk();
    if (disk.state == DiskState::loaded) {
        setApps(std::move(disk.apps));
        // Before the first save of this version there is no copy yet.
        if (locked && !QFileInfo::exists(lastGoodFilePath()))
            keepLastGood(disk.bytes);
        return;
    }
    const auto lastGood =
        disk.state == DiskState::missing || disk.state == DiskState::partial ? std::nullopt : readLastGood();
    setApps(disk.state == DiskState::partial ? disk.apps : lastGood.value_or(defaultPresetApps()));
    if (!locked) {
        // Another process may be writing the file right now: nothing on disk
        // is touched, the next change settles it.
        reportFailure(lockFailureText(lock));
        return;
    }
    if (disk.state != DiskState::missing && !moveAside(disk, lastGood.has_value()))
        return;
    writeUnlocked();
}

bool AppStoreService::moveAside(const DiskRead &disk, bool recovered)
{
    // A library the user edited by hand and broke is still theirs: keep it
    // beside what replaces it rather than overwrite it. If it cannot be
    // moved, leave it alone and run on what is in memory only.
    const auto backup = moveAsideUnusableFile(storageFilePath());
    if (!backup)
        return false;
    if (disk.state == DiskState::partial)
        tell(QStringLiteral("应用库中有 %1 条记录无法解析，已跳过，其余 %2 个应用照常可用；原文件已备份为: %3")
                 .arg(disk.skipped)
                 .arg(disk.apps.size())
                 .arg(*backup));
    else if (recovered)
        tell(QStringLiteral("应用库文件无法解析，已备份为: %1；已从上次完好的副本恢复 %2 个应用")
                 .arg(*backup)
                 .arg(m_apps.size()));
    else
        tell(QStringLiteral("应用库文件无法解析，已备份为: ") + *backup);
    return true;
}

std::optional<QString> AppStoreService::moveAsideUnusableFile(const QString &path)
{
    const QString stem = path + QStringLiteral(".corrupt-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString backup = stem;
    for (int counter = 1; QFileInfo::exists(backup) || QFileInfo(backup).isSymLink(); ++counter)
        backup = stem + QStringLiteral("-%1").arg(counter);
    if (!QFile::rename(path, backup)) {
        tell(unusableFileKeptText() + path);
        return std::nullopt;
    }
    return backup;
}

QString AppStoreService::unusableFileKeptText()
{
    return QStringLiteral("应用库文件无法解析，且无法备份，本次不会覆盖它: ");
}

SaveResult AppStoreService::reportFailure(const QString &error)
{
    printLine(QStringLiteral("保存应用数据失败: ") + error);
    return {false, error};
}

QString AppStoreService::lockFailureText(const QLockFile &lock) const
{
    if (lock.error() == QLockFile::LockFailedError)
        return lockBusyText();
    std::error_code code;
    std::filesystem::create_directories(QFile::encodeName(m_folder).toStdString(), code);
    if (code)
        return QStringLiteral("无法创建应用库文件夹 %1：%2").arg(m_folder, DurableFile::reasonText(code.value()));
    // QLockFile tells only that it failed; a file of its size written beside
    // it gives the system's reason (read-only folder, full disk).
    const QString probe = lockFilePath() + QStringLiteral(".probe");
    try {
        DurableFile::write(probe, QByteArray(64, '\n'));
        QFile::remove(probe);
    } catch (const FileWriteError &error) {
        return QStringLiteral("无法创建应用库锁文件 %1：%2")
            .arg(lockFilePath(), DurableFile::reasonText(error.systemError()));
    }
    return QStringLiteral("无法创建应用库锁文件 ") + lockFilePath();
}

void AppStoreService::keepLastGood(const QByteArray &bytes) const
{
    // Only a safety copy: when it cannot be written, the older copy stays
    // whole and the library itself is saved all the same.
    try {
        DurableFile::write(lastGoodFilePath(), bytes);
    } catch (const FileWriteError &) {
    }
}

SaveResult AppStoreService::writeUnlocked()
{
    const QByteArray bytes = AppItem::listToJson(m_apps);
    try {
        DurableFile::write(storageFilePath(), bytes);
    } catch (const FileWriteError &error) {
        return reportFailure(error.localizedDescription());
    }
    rememberDiskBytes(bytes);
    keepLastGood(bytes);
    return {};
}

SaveResult AppStoreService::saveApps()
{
    QLockFile lock(lockFilePath());
    if (!lock.tryLock(lockTimeoutMs))
        return reportFailure(lockFailureText(lock));
    return writeUnlocked();
}

SaveResult AppStoreService::modify(const std::function<void(QList<AppItem> &)> &change)
{
    QLockFile lock(lockFilePath());
    if (!lock.tryLock(lockTimeoutMs)) {
        auto apps = m_apps;
        change(apps);
        setApps(std::move(apps));
        return reportFailure(lockFailureText(lock));
    }
    // The change applies to what is on disk now, so a record another process
    // wrote since this store last looked is kept. Without a usable file the
    // records in memory are the best base there is.
    auto disk = readDisk();
    auto apps = disk.state == DiskState::loaded || disk.state == DiskState::partial ? disk.apps : m_apps;
    change(apps);
    setApps(std::move(apps));
    if ((disk.state == DiskState::unusable || disk.state == DiskState::partial) && !moveAside(disk, false))
        return {false, unusableFileKeptText() + storageFilePath()};
    return writeUnlocked();
}

SaveResult AppStoreService::saveAppItem(const AppItem &app)
{
    return modify([&](QList<AppItem> &apps) { upsert(apps, app); });
}

SaveResult AppStoreService::removeApp(const QString &id)
{
    return modify([&](QList<AppItem> &apps) { apps.removeIf([&](const AppItem &app) { return app.id == id; }); });
}

ImportResult AppStoreService::importFromJson(const QString &text)
{
    return importFromData(text.toUtf8());
}

ImportResult AppStoreService::importFromData(const QByteArray &data)
{
    QList<AppItem> incoming;
    try {
        incoming = AppItem::listFromJson(data);
    } catch (const DecodingError &) {
        const auto document = QJsonDocument::fromJson(data);
        if (!document.isObject())
            throw DecodingError(importFormatError());
        try {
            incoming = {AppItem::fromJson(document.object())};
        } catch (const DecodingError &) {
            throw DecodingError(importFormatError());
        }
    }
    const auto save = modify([&](QList<AppItem> &apps) {
        for (const auto &app : incoming)
            upsert(apps, app);
    });
    return {int(incoming.size()), save};
}

QString AppStoreService::exportToJson() const
{
    return QString::fromUtf8(AppItem::listToJson(m_apps));
}

AppInstallStatus AppStoreService::getInstallStatus(const AppItem &app) const
{
    return InstalledDetector::checkStatus(app, m_installedAppMap);
}

void AppStoreService::refreshInstalledStatus()
{
    setInstalledAppMap(m_detector.scanInstalledApps());
}

void AppStoreService::watchLibrary()
{
    m_watcher = new QFileSystemWatcher(this);
    m_reloadTimer = new QTimer(this);
    m_reloadTimer->setSingleShot(true);
    m_reloadTimer->setInterval(reloadDelayMs);
    connect(m_reloadTimer, &QTimer::timeout, this, &AppStoreService::reloadIfChangedOnDisk);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, m_reloadTimer, qOverload<>(&QTimer::start));
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_reloadTimer, qOverload<>(&QTimer::start));
    // The folder tells when a new file replaces the old one; the file tells
    // when it is rewritten in place (an editor that does not replace).
    if (QFileInfo(m_folder).isDir())
        m_watcher->addPath(m_folder);
    const QString path = storageFilePath();
    if (QFileInfo::exists(path))
        m_watcher->addPath(path);
}

void AppStoreService::reloadIfChangedOnDisk()
{
    const QString path = storageFilePath();
    // An atomic replace ends the watch on the old file.
    if (QFileInfo::exists(path) && !m_watcher->files().contains(path))
        m_watcher->addPath(path);
    const auto file = BoundedRead::regularFile(path, maxLibraryBytes);
    if (file.status != BoundedRead::Status::ok)
        return;
    const QByteArray &bytes = file.bytes;
    if (bytes.size() == m_diskSize && qHash(bytes) == m_diskHash)
        return; // this store's own write, or a rewrite with the same content
    QList<AppItem> apps;
    try {
        apps = AppItem::listFromJson(bytes);
    } catch (const DecodingError &) {
        // Possibly half-saved by an editor; the next change here moves it aside.
        return;
    }
    rememberDiskBytes(bytes);
    if (apps != m_apps)
        setApps(std::move(apps));
}
