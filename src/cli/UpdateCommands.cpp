#include "UpdateCommands.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>

#include "cli/CliContext.h"
#include "cli/CliOutput.h"
#include "cli/CliParser.h"
#include "models/SafeText.h"
#include "platform/InterruptWatcher.h"
#include "services/AppStoreService.h"
#include "services/BrewService.h"
#include "services/InstallWorkflowRegistry.h"
#include "services/InstalledDetector.h"
#include "services/InstallerService.h"
#include "services/SourceStore.h"
#include "services/UpdateCenter.h"
#include "services/UpdateFinder.h"

namespace {

// The window's update center over the command's services, checked once.
struct Updates
{
    explicit Updates(CliContext &context)
        : registry(context.store(), context.downloads(), context.installer(), context.brew()),
          center(context.store(), registry, context.brew(), Caskroom(Caskroom::besideBrew(context.brew().brewPaths())))
    {
        const auto console = [](const QString &line) {
            static const QString brewPrefix = QStringLiteral("Brew output: ");
            if (line.startsWith(brewPrefix))
                CliOutput::write(line.mid(brewPrefix.size())); // chunks, not lines
            else
                CliOutput::err(line);
        };
        registry.setConsole(console);
        center.queue().setConsole(console);
        center.uninstaller().setConsole(console);
        // As in the window: the library first, then the kept copies of the sources.
        center.setCandidates([&context] {
            return QList<QList<AppItem>>{context.store().apps(), context.sources().records()};
        });
        QEventLoop loop;
        QObject::connect(&center, &UpdateCenter::checkingChanged, &loop, &QEventLoop::quit);
        center.check();
        if (center.isChecking())
            loop.exec();
    }

    InstallWorkflowRegistry registry;
    UpdateCenter center;
};

QString kindName(OutdatedApp::Kind kind)
{
    switch (kind) {
    case OutdatedApp::Kind::selfUpdates:
        return QStringLiteral("selfUpdates");
    case OutdatedApp::Kind::unversioned:
        return QStringLiteral("unversioned");
    case OutdatedApp::Kind::outdated:
        break;
    }
    return QStringLiteral("outdated");
}

} // namespace

QList<CliCommand> UpdateCommands::commands()
{
    return {{QStringLiteral("outdated"), QStringLiteral("列出有新版本可用的已安装应用"), &UpdateCommands::outdated},
            {QStringLiteral("update"), QStringLiteral("更新一个或全部已安装应用"), &UpdateCommands::update},
            {QStringLiteral("uninstall"), QStringLiteral("卸载已安装的应用（移到废纸篓）"), &UpdateCommands::uninstall}};
}

int UpdateCommands::outdated(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("列出应用库中有新版本的已安装应用（按包标识或应用文件名匹配）。"
                                          "自行更新的应用与版本为 latest 的应用也列出，但不计入可更新数量。"));
    parser.addJsonFlag();
    if (const auto done = parser.parse(arguments))
        return *done;
    Updates updates(context);
    const QList<OutdatedApp> &rows = updates.center.outdated();
    if (parser.json()) {
        QJsonArray array;
        for (const OutdatedApp &row : rows)
            array.append(QJsonObject{{"id", row.app.id},
                                     {"name", row.app.displayName()},
                                     {"bundlePath", row.installed.bundlePath},
                                     {"installedVersion", row.installedVersion},
                                     {"availableVersion", row.availableVersion()},
                                     {"kind", kindName(row.kind)},
                                     {"counted", row.counted()},
                                     {"cask", row.caskToken ? QJsonValue(*row.caskToken) : QJsonValue()}});
        CliOutput::json(array);
        return exitSuccess;
    }
    for (const OutdatedApp &row : rows)
        CliOutput::out(neutralizeControls(QStringLiteral("%1\t%2\t%3 → %4%5")
                                              .arg(row.app.id, row.app.displayName(), row.installedVersion,
                                                   row.availableVersion(),
                                                   row.note().isEmpty() ? QString() : QStringLiteral("（%1）").arg(row.note()))));
    CliOutput::err(QStringLiteral("%1 个应用可更新").arg(updates.center.count()));
    return exitSuccess;
}

int UpdateCommands::update(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("更新应用：与窗口中的“更新”相同，逐个下载并安装新版本（Homebrew 安装的应用用 "
                                          "brew upgrade）。一个失败不影响其余；有任何失败时退出状态为 1。"));
    parser.addFlag(QStringLiteral("all"), QStringLiteral("更新全部可更新的应用（不含自行更新和版本为 latest 的应用）"));
    parser.addPositional(QStringLiteral("ID"), QStringLiteral("应用 ID"), QStringLiteral("[ID]"));
    if (const auto done = parser.parse(arguments, 0, 1))
        return *done;
    const bool all = parser.isSet(QStringLiteral("all"));
    if (all == !parser.positional().isEmpty())
        return parser.usageError(QStringLiteral("请给出一个应用 ID，或使用 --all"));

    Updates updates(context);
    QList<OutdatedApp> chosen;
    for (const OutdatedApp &row : updates.center.outdated())
        if (all ? row.counted() : row.app.id == parser.positional().first())
            chosen << row;
    if (chosen.isEmpty()) {
        if (all) {
            CliOutput::err(QStringLiteral("所有应用均已是最新版本"));
            return exitSuccess;
        }
        CliOutput::err(QStringLiteral("没有此应用的可用更新: ") + parser.positional().first());
        return exitFailure;
    }

    InterruptWatcher interrupt;
    QObject::connect(&interrupt, &InterruptWatcher::interrupted, &interrupt, [&] { context.installer().stopAll(); });
    UpdateQueue &queue = updates.center.queue();
    QObject::connect(&queue, &UpdateQueue::rowChanged, &queue, [&](const QString &bundle) {
        for (const OutdatedApp &row : std::as_const(chosen)) {
            if (row.installed.bundlePath != bundle)
                continue;
            const UpdateQueue::RowState state = queue.state(bundle);
            const QString name = neutralizeControls(row.app.displayName());
            if (state.phase == UpdateQueue::Phase::running)
                CliOutput::err(QStringLiteral("正在更新 %1 (%2 → %3)…").arg(name, row.installedVersion,
                                                                             row.availableVersion()));
            else if (state.phase == UpdateQueue::Phase::succeeded)
                CliOutput::out(QStringLiteral("已更新 %1 到 %2").arg(name, row.availableVersion()));
            else if (state.phase == UpdateQueue::Phase::failed)
                CliOutput::err(QStringLiteral("更新失败 %1: %2").arg(name, neutralizeControls(state.reason)));
        }
    });
    QEventLoop loop;
    QObject::connect(&queue, &UpdateQueue::batchFinished, &loop, &QEventLoop::quit);
    QObject::connect(&interrupt, &InterruptWatcher::interrupted, &loop, &QEventLoop::quit);
    queue.enqueueAll(chosen);
    if (queue.isBusy())
        loop.exec();
    if (interrupt.wasInterrupted())
        return 128 + interrupt.signalNumber();
    CliOutput::err(queue.summary());
    return queue.failedCount() > 0 ? exitFailure : exitSuccess;
}

int UpdateCommands::uninstall(CliContext &context, const QString &path, const QStringList &arguments)
{
    CliParser parser(path, QStringLiteral("卸载应用：应用移到废纸篓（Homebrew 安装的应用用 brew uninstall）。"
                                          "正在运行的应用不会被卸载。"));
    parser.addFlag(QStringLiteral("zap"),
                   QStringLiteral("同时把 Homebrew Cask 的 zap 所列、位于用户目录或安装目录中的残留文件移到废纸篓"));
    parser.addPositional(QStringLiteral("ID"), QStringLiteral("应用 ID"));
    if (const auto done = parser.parse(arguments, 1, 1))
        return *done;
    const QString id = parser.positional().first();
    const auto app = context.libraryApp(id);
    if (!app)
        return exitFailure;
    Updates updates(context);
    const AppInstallStatus status = InstalledDetector::checkStatus(*app, context.store().installedAppMap());
    if (!status.isInstalledOrUpdatable()) {
        CliOutput::err(QStringLiteral("此应用未安装: ") + id);
        return exitFailure;
    }
    Uninstaller &uninstaller = updates.center.uninstaller();
    QStringList leftovers;
    QString error;
    if (parser.isSet(QStringLiteral("zap"))) {
        const QString token = UpdateFinder::caskTokenOf(*app);
        if (!token.isEmpty())
            leftovers = context.result(uninstaller.findLeftovers(token), error).value_or(QStringList());
    }
    const auto failures =
        context.result(uninstaller.uninstall(status.path, updates.center.installedCask(*app), leftovers), error);
    if (!failures) {
        CliOutput::err(QStringLiteral("卸载失败: ") + error);
        return exitFailure;
    }
    CliOutput::out(QStringLiteral("已卸载 ") + neutralizeControls(app->displayName()));
    for (const QString &leftover : leftovers)
        if (!failures->join(QLatin1Char('\n')).contains(leftover))
            CliOutput::out(QStringLiteral("已移到废纸篓: ") + neutralizeControls(leftover));
    for (const QString &failure : *failures)
        CliOutput::err(neutralizeControls(failure));
    return failures->isEmpty() ? exitSuccess : exitFailure;
}
