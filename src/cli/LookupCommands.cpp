#include "LookupCommands.h"

#include <QJsonArray>

#include "cli/CliContext.h"
#include "cli/CliOutput.h"
#include "cli/CliParser.h"
#include "cli/LibraryCommands.h"
#include "services/AppStoreService.h"
#include "services/BrewLookup.h"
#include "services/BrewService.h"
#include "services/InstalledDetector.h"
#include "services/NginxIndexParser.h"
#include "services/SourceStore.h"

QList<CliCommand> LookupCommands::commands()
{
    return {
        {QStringLiteral("versions"), QStringLiteral("从目录索引网页（Nginx / autoindex）抓取版本列表"), &LookupCommands::versions},
        {QStringLiteral("brew"), QStringLiteral("通过 Homebrew 解析或搜索 Cask 包"), &LookupCommands::brew},
    };
}

int LookupCommands::versions(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("抓取目录索引网页中的版本，最新的在前。"));
    parser.addPositional(QStringLiteral("URL"), QStringLiteral("版本列表 URL（Nginx / autoindex 网页）"));
    parser.addValueOption(QStringLiteral("template"),
                          QStringLiteral("版本下载地址模板（支持 {version} 占位符），代替网页中的链接"),
                          QStringLiteral("T"));
    parser.addJsonFlag();
    if (const auto done = parser.parse(arguments, 1, 1))
        return *done;

    std::optional<QString> pattern;
    if (parser.isSet(QStringLiteral("template")))
        pattern = parser.value(QStringLiteral("template"));
    QString error;
    const auto found = context.result(context.scraper().parseVersions(parser.positional().first(), pattern), error);
    if (!found) {
        CliOutput::err(QStringLiteral("抓取版本失败: ") + error);
        return exitFailure;
    }
    if (parser.json()) {
        QJsonArray array;
        for (const auto &version : *found)
            array.append(version.toJson());
        CliOutput::json(array);
        return exitSuccess;
    }
    QList<QStringList> rows{{QStringLiteral("版本"), QStringLiteral("下载地址")}};
    for (const auto &version : *found)
        rows.append({version.version, version.downloadUrl.value_or(QString())});
    CliOutput::write(CliOutput::table(rows));
    CliOutput::err(QStringLiteral("成功解析出 %1 个版本！").arg(found->size()));
    return exitSuccess;
}

int LookupCommands::brew(CliContext &context, const QString &path, const QStringList &arguments)
{
    const QList<CliCommand> commands{
        {QStringLiteral("resolve"), QStringLiteral("把 Cask 包名解析为应用记录"), &LookupCommands::brewResolve},
        {QStringLiteral("search"), QStringLiteral("搜索相关的 Cask 包名"), &LookupCommands::brewSearch},
    };
    return CliCommand::dispatch(context, path, QStringLiteral("通过 Homebrew 解析或搜索 Cask 包。"), commands,
                                arguments);
}

int LookupCommands::brewResolve(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("先查 Homebrew Cask JSON API，失败时改用本机的 brew info。"));
    parser.addPositional(QStringLiteral("NAME"), QStringLiteral("Cask 包名，如 visual-studio-code"));
    parser.addFlag(QStringLiteral("save"), QStringLiteral("把解析结果保存至应用库（相同 ID 的记录被替换）"));
    parser.addJsonFlag();
    if (const auto done = parser.parse(arguments, 1, 1))
        return *done;

    QString error;
    const auto app = context.result(context.brew().resolveCask(parser.positional().first()), error);
    if (!app) {
        CliOutput::err(error);
        return exitFailure;
    }
    if (parser.isSet(QStringLiteral("save"))) {
        if (!context.store().saveAppItem(*app).ok)
            return exitFailure; // the store has said why
        CliOutput::err(QStringLiteral("已成功将「") + app->name + QStringLiteral("」保存到本地应用库并缓存为 JSON！"));
    }
    if (parser.json()) {
        CliOutput::json(app->toJson());
        return exitSuccess;
    }
    const auto status = InstalledDetector::checkStatus(*app, context.detector().scanInstalledApps());
    LibraryCommands::printRecord(*app, status);
    return exitSuccess;
}

int LookupCommands::brewSearch(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("用本机的 brew search --casks 搜索，以查询词开头的包名在前；"
                                          "没有 brew 时在 Homebrew 应用目录的本地副本中搜索。"));
    parser.addPositional(QStringLiteral("QUERY"), QStringLiteral("搜索词"));
    if (const auto done = parser.parse(arguments, 1, 1))
        return *done;

    const QString query = parser.positional().first();
    QString error;
    auto candidates = context.result(context.brew().searchCasks(query), error).value_or(QStringList());
    if (candidates.isEmpty()) {
        auto &sources = context.sources();
        candidates = BrewLookup::ranked(sources.recordsOf(SourceStore::brewSourceId()), query);
        if (candidates.isEmpty() && !context.brew().brewExecutable() && !sources.hasBrewCatalog()) {
            CliOutput::err(QStringLiteral("无法搜索：未检测到 brew，本机也没有 Homebrew 应用目录的副本"
                                          "（可运行 zelvo source refresh %1 下载）")
                               .arg(SourceStore::brewSourceId()));
            return exitFailure;
        }
    }
    if (candidates.isEmpty()) {
        CliOutput::err(QStringLiteral("未找到与「") + query + QStringLiteral("」相关的 Homebrew Cask 包，请检查拼写。"));
        return exitFailure;
    }
    for (const auto &token : candidates)
        CliOutput::out(token);
    return exitSuccess;
}
