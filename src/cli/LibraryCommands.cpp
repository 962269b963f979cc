#include "LibraryCommands.h"

#include <QFile>
#include <QJsonArray>
#include <QMap>

#include "cli/CliContext.h"
#include "cli/CliOutput.h"
#include "cli/CliParser.h"
#include "models/ZelvoError.h"
#include "platform/BoundedRead.h"
#include "services/AppStoreService.h"
#include "services/CatalogFilter.h"
#include "services/InstalledDetector.h"

namespace {

QString sourceText(const AppItem &app)
{
    return app.sourceType == AppSourceType::brew ? QStringLiteral("Homebrew") : title(app.resolvedPackageType());
}

} // namespace

QJsonObject LibraryCommands::recordWithStatus(const AppItem &app, const AppInstallStatus &status)
{
    return {{QStringLiteral("app"), app.toJson()}, {QStringLiteral("status"), statusJson(status)}};
}

QList<CliCommand> LibraryCommands::commands()
{
    return {
        {QStringLiteral("list"), QStringLiteral("列出应用库及每个应用的安装状态"), &LibraryCommands::list},
        {QStringLiteral("show"), QStringLiteral("显示一个应用的完整信息"), &LibraryCommands::show},
        {QStringLiteral("scan"), QStringLiteral("列出在应用目录中找到的已安装应用"), &LibraryCommands::scan},
        {QStringLiteral("import"), QStringLiteral("从 JSON 文件或标准输入导入应用记录"), &LibraryCommands::importRecords},
        {QStringLiteral("export"), QStringLiteral("把应用库以 JSON 写到标准输出"), &LibraryCommands::exportRecords},
    };
}

QJsonObject LibraryCommands::statusJson(const AppInstallStatus &status)
{
    using Kind = AppInstallStatus::Kind;
    switch (status.kind) {
    case Kind::installed:
        return {{QStringLiteral("kind"), QStringLiteral("installed")},
                {QStringLiteral("version"), status.version},
                {QStringLiteral("path"), status.path}};
    case Kind::updateAvailable:
        return {{QStringLiteral("kind"), QStringLiteral("updateAvailable")},
                {QStringLiteral("installedVersion"), status.installedVersion},
                {QStringLiteral("latestVersion"), status.latestVersion},
                {QStringLiteral("path"), status.path}};
    case Kind::downloading:
        return {{QStringLiteral("kind"), QStringLiteral("downloading")},
                {QStringLiteral("progress"), status.progress},
                {QStringLiteral("speed"), status.speedText}};
    case Kind::failed:
        return {{QStringLiteral("kind"), QStringLiteral("failed")}, {QStringLiteral("error"), status.error}};
    case Kind::installing:
        return {{QStringLiteral("kind"), QStringLiteral("installing")}};
    case Kind::notInstalled:
        break;
    }
    return {{QStringLiteral("kind"), QStringLiteral("notInstalled")}};
}

QString LibraryCommands::statusText(const AppInstallStatus &status)
{
    using Kind = AppInstallStatus::Kind;
    const auto v = [](const QString &version) { return QStringLiteral("v") + AppItem::displayVersionFor(version); };
    switch (status.kind) {
    case Kind::installed:
        return QStringLiteral("已安装 ") + v(status.version);
    case Kind::updateAvailable:
        return QStringLiteral("可更新 ") + v(status.installedVersion) + QStringLiteral(" → ") + v(status.latestVersion);
    case Kind::downloading:
        return QStringLiteral("下载中 %1%").arg(int(status.progress * 100));
    case Kind::failed:
        return QStringLiteral("失败: ") + status.error;
    case Kind::installing:
        return QStringLiteral("安装中...");
    case Kind::notInstalled:
        break;
    }
    return QStringLiteral("未安装");
}

void LibraryCommands::printRecord(const AppItem &app, const AppInstallStatus &status)
{
    QStringList lines{app.displayName()};
    if (app.chineseName)
        lines << app.name;
    lines << app.summary << QString();
    QList<QStringList> facts{{QStringLiteral("ID"), app.id}, {QStringLiteral("状态"), statusText(status)},
                             {QStringLiteral("类别"), app.category}};
    const QString version = QStringLiteral("v") + app.displayVersion();
    if (status.kind == AppInstallStatus::Kind::updateAvailable) {
        facts.append({QStringLiteral("最新版本"), version});
        facts.append({QStringLiteral("本地已装"), QStringLiteral("v") + AppItem::displayVersionFor(status.installedVersion)});
    } else {
        facts.append({QStringLiteral("当前版本"), version});
    }
    facts.append({QStringLiteral("来源介质"), sourceText(app)});
    if (app.bundleId && !app.bundleId->isEmpty())
        facts.append({QStringLiteral("包标识"), *app.bundleId});
    if (app.brewName)
        facts.append({QStringLiteral("Brew 包名"), *app.brewName});
    if (app.homepage)
        facts.append({QStringLiteral("官方网站"), *app.homepage});
    if (const auto url = app.resolveDownloadUrl())
        facts.append({QStringLiteral("下载地址"), *url});
    if (!status.path.isEmpty())
        facts.append({QStringLiteral("安装位置"), status.path});
    for (auto &fact : facts)
        fact.first() += QStringLiteral(":");
    CliOutput::write(lines.join(QLatin1Char('\n')) + QLatin1Char('\n') + CliOutput::table(facts));
    CliOutput::out(QStringLiteral("\n关于此应用\n") + app.description);
    if (app.versions && !app.versions->isEmpty()) {
        CliOutput::out(QStringLiteral("\n版本历史与切换"));
        for (const auto &entry : *app.versions) {
            const QString display = AppItem::displayVersionFor(entry.version);
            CliOutput::out(QStringLiteral("  v") + display +
                           (entry.version == app.currentVersion ? QStringLiteral("  最新推荐") : QString()));
            if (display != entry.version)
                CliOutput::out(QStringLiteral("    构建标识: ") + entry.version);
            if (entry.changelog)
                CliOutput::out(QStringLiteral("    ") + *entry.changelog);
        }
    }
}

int LibraryCommands::list(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("列出应用库中的应用，与“发现应用”和“已安装”页面使用相同的筛选规则。"));
    parser.addFlag(QStringLiteral("installed"), QStringLiteral("只列出已安装或可更新的应用"));
    parser.addValueOption(QStringLiteral("category"), QStringLiteral("只列出此类别的应用（“全部”表示所有类别）"),
                          QStringLiteral("CATEGORY"));
    parser.addValueOption(QStringLiteral("search"), QStringLiteral("按名称、中文名、ID 或简介搜索（不区分大小写）"),
                          QStringLiteral("TEXT"));
    parser.addJsonFlag();
    if (const auto done = parser.parse(arguments))
        return *done;

    auto &store = context.store();
    CatalogFilter filter;
    filter.onlyInstalled = parser.isSet(QStringLiteral("installed"));
    if (parser.isSet(QStringLiteral("category")))
        filter.category = parser.value(QStringLiteral("category"));
    filter.searchText = parser.value(QStringLiteral("search"));
    const auto apps = filter.apply(store.apps(), store.installedAppMap());

    if (parser.json()) {
        QJsonArray array;
        for (const auto &app : apps)
            array.append(recordWithStatus(app, store.getInstallStatus(app)));
        CliOutput::json(array);
        return exitSuccess;
    }
    QList<QStringList> rows{{QStringLiteral("ID"), QStringLiteral("名称"), QStringLiteral("版本"),
                             QStringLiteral("类别"), QStringLiteral("状态")}};
    for (const auto &app : apps)
        rows.append({app.id, app.displayName(), app.displayVersion(), app.category,
                     statusText(store.getInstallStatus(app))});
    CliOutput::write(CliOutput::table(rows));
    return exitSuccess;
}

int LibraryCommands::show(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("显示一个应用的完整信息及其安装状态。"));
    parser.addPositional(QStringLiteral("ID"), QStringLiteral("应用 ID"));
    parser.addJsonFlag();
    if (const auto done = parser.parse(arguments, 1, 1))
        return *done;

    auto &store = context.store();
    const QString id = parser.positional().first();
    const auto app = context.libraryApp(id);
    if (!app)
        return exitFailure;
    const auto status = store.getInstallStatus(*app);
    if (parser.json()) {
        CliOutput::json(recordWithStatus(*app, status));
        return exitSuccess;
    }

    printRecord(*app, status);
    return exitSuccess;
}

int LibraryCommands::scan(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("扫描应用目录，列出找到的应用（不读写应用库）。"));
    parser.addJsonFlag();
    if (const auto done = parser.parse(arguments))
        return *done;

    // The map holds each bundle under two keys; list each bundle once, by path.
    QMap<QString, InstalledAppInfo> byPath;
    for (const auto &info : context.detector().scanInstalledApps())
        byPath.insert(info.bundlePath, info);
    const QList<InstalledAppInfo> bundles = byPath.values();

    if (parser.json()) {
        QJsonArray array;
        for (const auto &info : bundles) {
            QJsonObject object{{QStringLiteral("name"), info.name}, {QStringLiteral("bundlePath"), info.bundlePath}};
            if (info.bundleId)
                object.insert(QStringLiteral("bundleId"), *info.bundleId);
            if (info.version)
                object.insert(QStringLiteral("version"), *info.version);
            array.append(object);
        }
        CliOutput::json(array);
        return exitSuccess;
    }
    QList<QStringList> rows{{QStringLiteral("名称"), QStringLiteral("版本"), QStringLiteral("包标识"),
                             QStringLiteral("位置")}};
    for (const auto &info : bundles)
        rows.append({info.name, info.version.value_or(QString()), info.bundleId.value_or(QString()), info.bundlePath});
    CliOutput::write(CliOutput::table(rows));
    return exitSuccess;
}

int LibraryCommands::importRecords(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("导入单条应用记录或记录数组（JSON），相同 ID 的记录被更新，新记录排在最前。"));
    parser.addPositional(QStringLiteral("FILE"), QStringLiteral("JSON 文件；'-' 表示从标准输入读取"),
                         QStringLiteral("FILE|-"));
    if (const auto done = parser.parse(arguments, 1, 1))
        return *done;

    // Standard input plays the window's paste editor, a file its file
    // picker: each reports with that way's own texts.
    const QString source = parser.positional().first();
    const bool fromFile = source != QLatin1String("-");
    QFile file;
    const bool opened = fromFile ? (file.setFileName(source), file.open(QIODevice::ReadOnly))
                                 : file.open(stdin, QIODevice::ReadOnly);
    // Read with the cap in force: a device such as /dev/zero never ends.
    const auto read = opened ? BoundedRead::device(file, AppStoreService::maxLibraryBytes)
                             : BoundedRead::Result{BoundedRead::Status::failed, {}, file.errorString()};
    if (read.status == BoundedRead::Status::tooLarge) {
        CliOutput::err(QStringLiteral("无法读取 %1: 内容超过 %2 MB，不是应用记录")
                           .arg(source)
                           .arg(AppStoreService::maxLibraryBytes >> 20));
        return exitFailure;
    }
    if (read.status != BoundedRead::Status::ok) {
        CliOutput::err(QStringLiteral("无法读取 ") + source + QStringLiteral(": ") + read.error);
        return exitFailure;
    }
    const QByteArray &data = read.bytes;
    ImportResult result;
    try {
        result = context.store().importFromData(data);
    } catch (const ZelvoError &error) {
        CliOutput::err((fromFile ? QStringLiteral("文件导入失败: ") : QStringLiteral("导入失败: ")) +
                       error.localizedDescription());
        return exitFailure;
    }
    if (!result.save.ok)
        return exitFailure; // the store has said why, on standard error
    CliOutput::out(fromFile ? QStringLiteral("从文件成功导入 / 更新了 %1 个应用！").arg(result.count)
                            : QStringLiteral("成功导入 / 更新了 %1 个应用！已同步保存到本地应用库。").arg(result.count));
    return exitSuccess;
}

int LibraryCommands::exportRecords(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("把整个应用库以 JSON 数组写到标准输出（与 apps.json 相同，可再导入）。"));
    if (const auto done = parser.parse(arguments))
        return *done;
    CliOutput::raw(context.store().exportToJson());
    return exitSuccess;
}
