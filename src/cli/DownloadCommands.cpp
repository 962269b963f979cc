#include "DownloadCommands.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QLocale>

#include "cli/CliContext.h"
#include "cli/CliOutput.h"
#include "cli/CliParser.h"
#include "platform/InterruptWatcher.h"
#include "cli/ProgressPrinter.h"
#include "models/ByteFormat.h"
#include "services/AppStoreService.h"
#include "services/DownloadManager.h"
#include "services/InstallWorkflow.h"

namespace {

QJsonObject packageJson(const LocalPackage &package)
{
    QJsonObject object{{QStringLiteral("filePath"), package.filePath},
                       {QStringLiteral("fileName"), package.fileName},
                       {QStringLiteral("fileSize"), package.fileSize},
                       {QStringLiteral("formattedSize"), package.formattedSize},
                       {QStringLiteral("creationDate"), package.creationDate.toString(Qt::ISODate)},
                       {QStringLiteral("packageType"), rawValue(package.packageType)},
                       {QStringLiteral("unfinished"), package.unfinished}};
    if (package.appId)
        object.insert(QStringLiteral("appId"), *package.appId);
    if (package.appName)
        object.insert(QStringLiteral("appName"), *package.appName);
    if (package.version)
        object.insert(QStringLiteral("version"), *package.version);
    return object;
}

} // namespace

QList<CliCommand> DownloadCommands::commands()
{
    return {
        {QStringLiteral("download"), QStringLiteral("把应用的安装包下载到缓存"), &DownloadCommands::download},
        {QStringLiteral("cache"), QStringLiteral("列出或删除缓存的安装包"), &DownloadCommands::cache},
    };
}

std::optional<QString> DownloadCommands::fetch(CliContext &context, const AppItem &app, const QString &version,
                                               const QUrl &url, bool resume)
{
    CliOutput::err(QStringLiteral("正在下载 ") + app.displayName() + QStringLiteral(" (v") + version +
                   QStringLiteral(")：") + url.toString());
    context.downloads().startDownload(app.id, app.displayName(), version, url,
                                      InstallWorkflow::expectedSha256(app, version), resume);
    return follow(context, DownloadManager::taskKey(app.id, version));
}

std::optional<QString> DownloadCommands::follow(CliContext &context, const QString &key)
{
    auto &downloads = context.downloads();
    InterruptWatcher interrupt;
    ProgressPrinter progress(CliOutput::stderrIsTerminal());
    QEventLoop loop;
    std::optional<QString> path;
    QString failure;
    bool done = false;
    const auto check = [&] {
        const auto task = downloads.task(key);
        if (!task) {
            done = true; // cancelled
        } else if (task->status.kind == DownloadStatus::Kind::completed) {
            path = task->status.fileUrl;
            if (task->verified)
                CliOutput::err(QStringLiteral("SHA-256 校验通过"));
            done = true;
        } else if (task->status.kind == DownloadStatus::Kind::failed) {
            failure = task->status.reason;
            done = true;
        } else {
            progress.update(*task);
        }
        if (done)
            loop.quit();
    };
    QObject::connect(&downloads, &DownloadManager::taskChanged, &loop, [&](const QString &changed) {
        if (changed == key)
            check();
    });
    QObject::connect(&downloads, &DownloadManager::taskNotice, &loop, [&](const QString &changed, const QString &text) {
        if (changed != key)
            return;
        progress.finish();
        CliOutput::err(text);
    });
    QObject::connect(&interrupt, &InterruptWatcher::interrupted, &loop, [&] { downloads.cancelDownload(key); });
    check();
    if (!done)
        loop.exec();
    progress.finish();
    if (interrupt.wasInterrupted() && !path) {
        CliOutput::err(QStringLiteral("已取消下载"));
        return std::nullopt;
    }
    if (!path)
        CliOutput::err(QStringLiteral("下载失败: ") + failure);
    return path;
}

int DownloadCommands::download(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("把应用的安装包下载到缓存，完成后在标准输出打印其路径。网络中断时自动重试并断点续传；"
                                          "按 Ctrl-C 取消，不留下半截文件。"));
    parser.addPositional(QStringLiteral("ID"), QStringLiteral("应用 ID"));
    parser.addValueOption(QStringLiteral("version"), QStringLiteral("下载此版本（默认为当前版本）"), QStringLiteral("V"));
    parser.addFlag(QStringLiteral("no-resume"), QStringLiteral("丢弃上次未完成的部分，从头下载"));
    if (const auto done = parser.parse(arguments, 1, 1))
        return *done;

    const QString id = parser.positional().first();
    const auto app = context.libraryApp(id);
    if (!app)
        return exitFailure;
    const QString version = parser.isSet(QStringLiteral("version")) ? parser.value(QStringLiteral("version"))
                                                                      : app->currentVersion;
    const auto url = InstallWorkflow::ownDownloadUrl(*app, version);
    if (!url) {
        CliOutput::err(QStringLiteral("没有此版本的下载地址: ") + id + QStringLiteral(" v") + version);
        return exitFailure;
    }
    const auto cached = fetch(context, *app, version, *url, !parser.isSet(QStringLiteral("no-resume")));
    if (!cached)
        return exitFailure;
    CliOutput::out(*cached);
    return exitSuccess;
}

int DownloadCommands::cache(CliContext &context, const QString &path, const QStringList &arguments)
{
    // Without a sub-command (or with only list's options) it lists.
    const QString first = arguments.value(0);
    if (first.isEmpty() || (first.startsWith(u'-') && first != QLatin1String("-h") && first != QLatin1String("--help")))
        return cacheList(context, path, arguments);
    const QList<CliCommand> commands{
        {QStringLiteral("list"), QStringLiteral("列出缓存的安装包（默认）"), &DownloadCommands::cacheList},
        {QStringLiteral("rm"), QStringLiteral("删除缓存中的安装包"), &DownloadCommands::cacheRemove},
        {QStringLiteral("clear"), QStringLiteral("清空全部缓存"), &DownloadCommands::cacheClear},
    };
    return CliCommand::dispatch(context, path,
                                QStringLiteral("安装包缓存: ") + QDir::toNativeSeparators(context.environment().cacheFolder),
                                commands, arguments);
}

int DownloadCommands::cacheList(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("列出缓存的安装包，最新的在前。"));
    parser.addJsonFlag();
    if (const auto done = parser.parse(arguments))
        return *done;

    const auto &packages = context.downloads().localPackages();
    if (parser.json()) {
        QJsonArray array;
        for (const auto &package : packages)
            array.append(packageJson(package));
        CliOutput::json(array);
        return exitSuccess;
    }
    qint64 total = 0;
    qsizetype unfinished = 0;
    QList<QStringList> rows{{QStringLiteral("文件"), QStringLiteral("大小"), QStringLiteral("日期"),
                             QStringLiteral("应用"), QStringLiteral("版本"), QStringLiteral("状态")}};
    for (const auto &package : packages) {
        total += package.fileSize;
        unfinished += package.unfinished ? 1 : 0;
        rows.append({package.filePath, package.formattedSize,
                     QLocale::system().toString(package.creationDate, QLocale::ShortFormat),
                     package.appId.value_or(QString()), package.version.value_or(QString()),
                     package.unfinished ? QStringLiteral("未完成的下载") : QString()});
    }
    if (packages.isEmpty())
        CliOutput::err(QStringLiteral("暂无本地缓存的安装包"));
    else
        CliOutput::write(CliOutput::table(rows));
    const QString unfinishedText =
        unfinished > 0 ? QStringLiteral("（其中 %1 个是未完成的下载，cache clear 可清除）").arg(unfinished) : QString();
    CliOutput::err(QStringLiteral("已缓存 %1 个文件").arg(packages.size()) + unfinishedText + QStringLiteral(" · 共占用 ") +
                   ByteFormat::fileSize(total));
    return exitSuccess;
}

int DownloadCommands::cacheRemove(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("删除缓存中的安装包；缓存目录以外的路径一概不碰。"));
    parser.addPositional(QStringLiteral("PATH"), QStringLiteral("缓存中的安装包路径（或文件名）"),
                         QStringLiteral("PATH..."));
    if (const auto done = parser.parse(arguments, 1, -1))
        return *done;

    auto &downloads = context.downloads();
    QStringList paths;
    QStringList refused;
    for (const auto &given : parser.positional()) {
        // A bare file name means the file of that name in the cache.
        const QString full = given.contains(u'/') ? QFileInfo(given).absoluteFilePath()
                                                  : QDir(downloads.cacheDirectory()).filePath(given);
        const bool known = std::any_of(downloads.localPackages().cbegin(), downloads.localPackages().cend(),
                                       [&](const LocalPackage &package) { return package.filePath == full; });
        (known ? paths : refused) << full;
    }
    downloads.deletePackages(paths);
    for (const auto &removed : paths)
        if (QFileInfo::exists(removed))
            refused << removed;
    for (const auto &entry : refused)
        CliOutput::err(QStringLiteral("不是缓存中的安装包，或无法删除: ") + entry);
    return refused.isEmpty() ? exitSuccess : exitFailure;
}

int DownloadCommands::cacheClear(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("删除缓存中的全部安装包（不询问）。"));
    if (const auto done = parser.parse(arguments))
        return *done;
    auto &downloads = context.downloads();
    downloads.clearAllPackages();
    if (!downloads.localPackages().isEmpty()) {
        for (const auto &package : downloads.localPackages())
            CliOutput::err(QStringLiteral("无法删除: ") + package.filePath);
        return exitFailure;
    }
    return exitSuccess;
}
