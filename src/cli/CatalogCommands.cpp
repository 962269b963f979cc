#include "cli/CatalogCommands.h"

#include <QJsonArray>
#include <QJsonObject>

#include "cli/CliContext.h"
#include "cli/CliOutput.h"
#include "cli/CliParser.h"
#include "services/AppStoreService.h"
#include "services/CatalogFilter.h"
#include "services/SourceStore.h"
#include "services/SourceTexts.h"

QList<CliCommand> CatalogCommands::commands()
{
    return {
        {QStringLiteral("source"), QStringLiteral("管理软件源（Homebrew 应用目录与订阅的应用目录）"), &CatalogCommands::source},
        {QStringLiteral("search"), QStringLiteral("在应用库和全部软件源中搜索应用"), &CatalogCommands::search},
    };
}

int CatalogCommands::source(CliContext &context, const QString &path, const QStringList &arguments)
{
    const QList<CliCommand> commands{
        {QStringLiteral("list"), QStringLiteral("列出软件源及其状态"), &CatalogCommands::list},
        {QStringLiteral("add"), QStringLiteral("订阅一个应用目录地址（先下载并检查一次）"), &CatalogCommands::add},
        {QStringLiteral("remove"), QStringLiteral("移除软件源及其本地副本"), &CatalogCommands::remove},
        {QStringLiteral("refresh"), QStringLiteral("刷新一个或全部软件源"), &CatalogCommands::refresh},
    };
    return CliCommand::dispatch(context, path, QStringLiteral("管理软件源。"), commands, arguments);
}

int CatalogCommands::list(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("列出软件源：名称、类型、应用数、上次刷新与状态。"));
    parser.addJsonFlag();
    if (const auto done = parser.parse(arguments))
        return *done;
    auto &store = context.sources();
    if (parser.json()) {
        QJsonArray array;
        for (const auto &source : store.sources())
            array.append(source.toJson());
        CliOutput::json(array);
        return exitSuccess;
    }
    QList<QStringList> rows{{QStringLiteral("ID"), QStringLiteral("名称"), QStringLiteral("类型"),
                             QStringLiteral("应用数"), QStringLiteral("更新于"), QStringLiteral("状态")}};
    for (const auto &source : store.sources())
        rows.append({source.id, source.name, source.kindText(), QString::number(source.recordCount),
                     SourceTexts::age(source.checkedAt), SourceTexts::state(source, false)});
    CliOutput::write(CliOutput::table(rows));
    CliOutput::err(QStringLiteral("Homebrew API 地址：") + store.apiBaseLabel(store.brewApiBase()));
    return exitSuccess;
}

int CatalogCommands::add(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("订阅应用库格式的应用目录：记录数组，或带 apps 数组的对象。"));
    parser.addPositional(QStringLiteral("URL"), QStringLiteral("目录的 https 地址"));
    if (const auto done = parser.parse(arguments, 1, 1))
        return *done;
    QString error;
    const auto source = context.result(context.sources().subscribe(parser.positional().first()), error);
    if (!source) {
        CliOutput::err(QStringLiteral("未能订阅：") + error);
        return exitFailure;
    }
    CliOutput::out(source->id);
    CliOutput::err(QStringLiteral("已订阅「%1」：%2").arg(source->name, SourceTexts::count(*source)));
    return exitSuccess;
}

int CatalogCommands::remove(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("移除软件源及其本地副本。"));
    parser.addPositional(QStringLiteral("ID"), QStringLiteral("软件源 ID（见 source list）"));
    if (const auto done = parser.parse(arguments, 1, 1))
        return *done;
    if (!context.sources().remove(parser.positional().first())) {
        CliOutput::err(QStringLiteral("没有这个软件源：") + parser.positional().first());
        return exitFailure;
    }
    return exitSuccess;
}

int CatalogCommands::refresh(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("刷新软件源；不给 ID 时刷新全部。失败时保留上次的副本。"));
    parser.addPositional(QStringLiteral("ID"), QStringLiteral("软件源 ID（可省略）"), QStringLiteral("[ID]"));
    if (const auto done = parser.parse(arguments, 0, 1))
        return *done;
    auto &store = context.sources();
    QStringList ids = parser.positional();
    if (ids.isEmpty())
        for (const auto &source : store.sources())
            ids << source.id;
    int status = exitSuccess;
    for (const QString &id : ids) {
        QString error;
        const bool ok = context.succeeded(store.refresh(id), error);
        const auto source = store.source(id);
        const QString name = source ? source->name : id;
        if (ok) {
            CliOutput::err(QStringLiteral("「%1」已是最新：%2").arg(name, SourceTexts::count(*source)));
        } else {
            CliOutput::err(QStringLiteral("「%1」刷新失败：%2").arg(name, error));
            status = exitFailure;
        }
    }
    return status;
}

int CatalogCommands::search(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("按名称、ID 或简介在应用库和全部软件源中搜索（不区分大小写）。"));
    parser.addPositional(QStringLiteral("TEXT"), QStringLiteral("搜索词"));
    parser.addJsonFlag();
    if (const auto done = parser.parse(arguments, 1, 1))
        return *done;
    CatalogFilter filter;
    filter.searchText = parser.positional().first();
    auto &library = context.store();
    auto &sources = context.sources();
    QList<QPair<QString, AppItem>> found;
    for (const AppItem &app : library.apps())
        if (filter.matches(app, {}))
            found.append({QStringLiteral("应用库"), app});
    for (int i = 0; i < sources.records().size(); ++i) {
        const AppItem &app = sources.records().at(i);
        if (filter.matches(app, {}))
            found.append({sources.source(sources.sourceOfRecord(i))->name, app});
    }
    if (parser.json()) {
        QJsonArray array;
        for (const auto &[where, app] : found)
            array.append(QJsonObject{{QStringLiteral("source"), where}, {QStringLiteral("app"), app.toJson()}});
        CliOutput::json(array);
        return exitSuccess;
    }
    if (found.isEmpty()) {
        CliOutput::err(QStringLiteral("应用库和软件源中都没有与「%1」匹配的应用").arg(filter.searchText));
        return exitFailure;
    }
    QList<QStringList> rows{{QStringLiteral("来源"), QStringLiteral("ID"), QStringLiteral("名称"), QStringLiteral("版本")}};
    for (const auto &[where, app] : found)
        rows.append({where, app.id, app.displayName(), app.displayVersion()});
    CliOutput::write(CliOutput::table(rows));
    return exitSuccess;
}
