#include "BrewService.h"

#include <algorithm>
#include <memory>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QProcessEnvironment>
#include <QPromise>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>

#include <signal.h>
#include <unistd.h>

#include "services/AskPass.h"
#include "services/BoundedBody.h"
#include "services/CaskRecord.h"
#include "services/UrlError.h"

namespace {

// Qt reads a whole reply into memory unless told otherwise.
constexpr qint64 replyReadBuffer = 256 * 1024;

const QString noBrewForLookup = QStringLiteral("未在系统中检测到可执行的 brew 工具，且网络查询不可用");
const QString noBrewForInstall = QStringLiteral("未找到 brew 命令路径");

// What a password question cut short was doing, for its message.
QString unfinishedStep(const QString &verb)
{
    if (verb == QLatin1String("upgrade"))
        return QStringLiteral("更新");
    if (verb == QLatin1String("uninstall"))
        return QStringLiteral("卸载");
    return QStringLiteral("安装");
}

template <typename T> std::shared_ptr<QPromise<T>> startedPromise()
{
    auto promise = std::make_shared<QPromise<T>>();
    promise->start();
    return promise;
}

template <typename T> void reject(QPromise<T> &promise, const QException &error)
{
    promise.setException(error);
    promise.finish();
}

// Passes a finished future's result, failure or cancellation on to promise.
template <typename T> void relay(QFuture<T> from, QPromise<T> &to)
{
    try {
        from.waitForFinished();
        if (from.resultCount() > 0)
            to.addResult(from.result());
        else
            to.future().cancel();
    } catch (...) {
        to.setException(std::current_exception());
    }
    to.finish();
}

template <typename T> QFuture<T> readyFuture(T value)
{
    QPromise<T> promise;
    promise.start();
    promise.addResult(std::move(value));
    promise.finish();
    return promise.future();
}

AppItem appFromApiReply(QNetworkReply *reply, const QByteArray &body, const QString &token)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && status.toInt() != 200)
        throw BrewError::packageNotFound(token);
    if (reply->error() != QNetworkReply::NoError)
        throw ZelvoError(UrlError::describe(*reply));
    if (!status.isValid())
        throw BrewError::packageNotFound(token);

    QJsonParseError parseError;
    const auto document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        throw ZelvoError(parseError.errorString());
    if (!document.isObject())
        throw BrewError::parseFailed(QStringLiteral("API 数据不是有效的 JSON 字典"));
    return BrewService::parseBrewJson(token, document.object());
}

AppItem appFromInfoOutput(const QByteArray &output, const QString &token)
{
    // Whatever is wrong with the output, to the user the cask is simply unknown.
    const auto document = QJsonDocument::fromJson(output);
    const auto casks = document.object().value(QLatin1String("casks"));
    if (!document.isObject() || !casks.isArray() || casks.toArray().isEmpty())
        throw BrewError::packageNotFound(token);
    const auto list = casks.toArray();
    if (!std::all_of(list.begin(), list.end(), [](const QJsonValue &element) { return element.isObject(); }))
        throw BrewError::packageNotFound(token);
    return BrewService::parseBrewJson(token, list.first().toObject());
}

QStringList candidatesFromSearchOutput(const QByteArray &output, const QString &query)
{
    QStringList candidates;
    for (const QByteArray &bytes : output.split('\n')) {
        // One undecodable line says nothing about the names around it.
        auto decoder = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString line = decoder.decode(bytes);
        if (decoder.hasError())
            continue;
        const auto trimmed = QStringView(line).trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u"==>") || trimmed.startsWith(u"Error:"))
            continue;
        // `brew search` prints several names per line when it writes to a terminal.
        for (const auto piece : trimmed.split(u' ', Qt::SkipEmptyParts)) {
            const QString name = piece.trimmed().toString();
            if (!name.isEmpty() && !candidates.contains(name))
                candidates.append(name);
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(), [&query](const QString &a, const QString &b) {
        const bool aPrefixed = a.startsWith(query);
        const bool bPrefixed = b.startsWith(query);
        if (aPrefixed != bPrefixed)
            return aPrefixed;
        return a < b;
    });
    return candidates;
}


// "60 秒", "10 分钟": how long a run stayed silent, as the user reads it.
QString durationText(std::chrono::milliseconds duration)
{
    const auto ms = duration.count();
    if (ms >= 60000 && ms % 60000 == 0)
        return QStringLiteral("%1 分钟").arg(ms / 60000);
    return QStringLiteral("%1 秒").arg(double(ms) / 1000.0, 0, 'g', 3);
}

QString silentText(std::chrono::milliseconds idle)
{
    return QStringLiteral("brew 已有 %1没有任何输出，可能在等待无法回答的提问，已停止").arg(durationText(idle));
}

// brew leads its own process group, so this reaches whatever it started
// (curl, sudo, installer scripts) as well.
void stopGroup(const QProcess &process)
{
    const qint64 pid = process.processId();
    if (pid > 0)
        ::kill(-pid_t(pid), SIGKILL);
}

QProcessEnvironment brewEnvironment()
{
    auto environment = QProcessEnvironment::systemEnvironment();
    // Nothing may update itself first, print hints or decorate the output we parse.
    for (const char *name : {"HOMEBREW_NO_AUTO_UPDATE", "HOMEBREW_NO_ENV_HINTS", "HOMEBREW_NO_COLOR",
                             "HOMEBREW_NO_EMOJI"})
        environment.insert(QString::fromLatin1(name), QStringLiteral("1"));
    environment.remove(QString::fromLatin1(AskPass::statusVariable));
    environment.remove(QStringLiteral("SUDO_ASKPASS"));
    return environment;
}

} // namespace

BrewError::BrewError(Kind kind, QString payload)
    : ZelvoError([&] {
          switch (kind) {
          case Kind::packageNotFound:
              return QStringLiteral("未找到 Homebrew Cask 包：") + payload;
          case Kind::parseFailed:
              return QStringLiteral("解析 Brew 数据失败：") + payload;
          case Kind::commandFailed:
              break;
          }
          return QStringLiteral("执行 Brew 失败：") + payload;
      }()),
      m_kind(kind), m_payload(std::move(payload))
{
}

BrewError BrewError::packageNotFound(const QString &name)
{
    return BrewError(Kind::packageNotFound, name);
}

BrewError BrewError::parseFailed(const QString &reason)
{
    return BrewError(Kind::parseFailed, reason);
}

BrewError BrewError::commandFailed(const QString &reason)
{
    return BrewError(Kind::commandFailed, reason);
}

QString BrewService::defaultApiBaseUrl()
{
    return QStringLiteral("https://formulae.brew.sh");
}

QStringList BrewService::defaultBrewPaths()
{
    return {QStringLiteral("/opt/homebrew/bin/brew"), QStringLiteral("/usr/local/bin/brew")};
}

struct BrewService::Run
{
    QString program;
    QStringList arguments;
    QProcess::ProcessChannelMode mode = QProcess::SeparateChannels;
    std::chrono::milliseconds idle{};
    qint64 outputCap = 0; // 0: output is passed on, not kept, so any amount is fine
    QProcessEnvironment environment;
};

struct BrewService::RunEnd
{
    enum class Reason { exited, failedToStart, silent, flooded };
    Reason reason = Reason::exited;
    int exitCode = 0;
    QProcess::ExitStatus status = QProcess::NormalExit;
    QString error;
};

BrewService::BrewService(QString apiBaseUrl, QStringList brewPaths, QNetworkAccessManager *network,
                         std::chrono::milliseconds idleTimeout, std::chrono::milliseconds installIdleTimeout,
                         QString askPassProgram, QObject *parent)
    : QObject(parent), m_brewPaths(std::move(brewPaths)),
      m_network(network ? network : new QNetworkAccessManager(this)), m_idleTimeout(idleTimeout),
      m_installIdleTimeout(installIdleTimeout), m_askPassProgram(std::move(askPassProgram))
{
    setApiBaseUrl(apiBaseUrl);
}

void BrewService::setApiBaseUrl(const QString &url)
{
    m_apiBaseUrl = url;
    while (m_apiBaseUrl.endsWith(QLatin1Char('/')))
        m_apiBaseUrl.chop(1);
}

BrewService::~BrewService()
{
    // A QProcess going away kills brew alone; what brew started would live on.
    for (const auto *process : findChildren<QProcess *>(Qt::FindDirectChildrenOnly))
        stopGroup(*process);
}

BrewService &BrewService::shared()
{
    // Deliberately never destroyed: the instance lives until the process ends,
    // and tearing down a network manager after the application object is gone
    // buys nothing.
    static auto *instance = new BrewService();
    return *instance;
}

std::optional<QString> BrewService::brewExecutable() const
{
    for (const auto &path : m_brewPaths) {
        const QFileInfo info(path);
        if (info.isFile() && info.isExecutable())
            return path;
    }
    return std::nullopt;
}

bool BrewService::isValidToken(const QString &token)
{
    if (token.isEmpty() || token.startsWith(QLatin1Char('-')))
        return false;
    const bool charactersAllowed = std::all_of(token.begin(), token.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'-' ||
               u == u'_' || u == u'.' || u == u'@' || u == u'+' || u == u'/';
    });
    if (!charactersAllowed)
        return false;
    const auto segments = QStringView(token).split(u'/');
    return std::none_of(segments.begin(), segments.end(),
                        [](QStringView segment) { return segment.isEmpty() || segment == u"." || segment == u".."; });
}

AppItem BrewService::parseBrewJson(const QString &token, const QJsonObject &json)
{
    return CaskRecord::toApp(token, CaskFields::of(json));
}

QFuture<AppItem> BrewService::resolveCask(const QString &name)
{
    const QString token = name.trimmed().toLower();
    if (token.isEmpty())
        return QtFuture::makeExceptionalFuture<AppItem>(BrewError::packageNotFound(name));
    if (!isValidToken(token))
        return QtFuture::makeExceptionalFuture<AppItem>(BrewError::packageNotFound(token));

    auto promise = startedPromise<AppItem>();
    // The application outlives every request; the service may not (a command
    // or a test ends), and then the lookup simply ends cancelled.
    QPointer<BrewService> self(this);
    fetchFromOfficialApi(token).then(QCoreApplication::instance(), [self, promise, token](QFuture<AppItem> api) {
        bool succeeded = false;
        bool apiSaysUnknown = false;
        try {
            api.waitForFinished();
            succeeded = api.resultCount() > 0;
        } catch (const BrewError &error) {
            apiSaysUnknown = error.kind() == BrewError::Kind::packageNotFound;
        } catch (...) {
            // Whatever else went wrong with the API, the local brew gets its
            // turn and only its outcome reaches the caller.
        }
        // Without a brew to ask, the API's "no such cask" is the answer; only
        // when neither could be asked does the caller hear that.
        if (succeeded || !self || (apiSaysUnknown && !self->brewExecutable())) {
            relay(api, *promise);
            return;
        }
        self->fetchFromLocalCli(token).then(QCoreApplication::instance(),
                                            [promise](QFuture<AppItem> local) { relay(local, *promise); });
    });
    return promise->future();
}

QFuture<AppItem> BrewService::fetchFromOfficialApi(const QString &token)
{
    const QUrl url(m_apiBaseUrl + QLatin1String("/api/cask/") + token + QLatin1String(".json"), QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        return QtFuture::makeExceptionalFuture<AppItem>(BrewError::packageNotFound(token));

    QNetworkRequest request(url);
    // Qt's transfer time-out restarts whenever data moves, so it is an idle limit.
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    request.setTransferTimeout(m_idleTimeout);
#else
    request.setTransferTimeout(int(m_idleTimeout.count()));
#endif
    QNetworkReply *reply = m_network->get(request);
    reply->setReadBufferSize(replyReadBuffer);

    auto promise = startedPromise<AppItem>();
    auto body = BoundedBody::attach(reply, maxReplySize);
    connect(reply, &QNetworkReply::finished, reply, [reply, promise, token, body] {
        reply->deleteLater();
        try {
            if (!body->tooLarge() && reply->error() == QNetworkReply::NoError)
                body->take();
            if (body->tooLarge())
                throw BrewError::parseFailed(QStringLiteral("API 数据超过 %1 MB").arg(maxReplySize >> 20));
            promise->addResult(appFromApiReply(reply, body->bytes(), token));
            promise->finish();
        } catch (const QException &error) {
            reject(*promise, error);
        }
    });
    return promise->future();
}

QFuture<AppItem> BrewService::fetchFromLocalCli(const QString &token)
{
    const auto brew = brewExecutable();
    if (!brew)
        return QtFuture::makeExceptionalFuture<AppItem>(BrewError::commandFailed(noBrewForLookup));
    const QStringList arguments{QStringLiteral("info"), QStringLiteral("--cask"), token, QStringLiteral("--json=v2")};
    return runCollectingOutput(*brew, arguments).then([token](const QByteArray &output) {
        return appFromInfoOutput(output, token);
    });
}

QFuture<QStringList> BrewService::searchCasks(const QString &query)
{
    const QString normalized = query.trimmed().toLower();
    // The query is one argument of a process started without a shell, so any
    // text is safe to pass; only a leading "-" would be read as an option.
    if (normalized.isEmpty() || normalized.startsWith(QLatin1Char('-')))
        return readyFuture(QStringList());
    const auto brew = brewExecutable();
    if (!brew)
        return readyFuture(QStringList());
    const QStringList arguments{QStringLiteral("search"), QStringLiteral("--casks"), normalized};
    return runCollectingOutput(*brew, arguments)
        .then([normalized](const QByteArray &output) { return candidatesFromSearchOutput(output, normalized); })
        .onFailed([] { return QStringList(); });
}

QString BrewService::askPassProgram() const
{
    return m_askPassProgram.isEmpty() ? QCoreApplication::applicationFilePath() : m_askPassProgram;
}

QFuture<void> BrewService::installViaBrew(const QString &token, OutputHandler onOutput)
{
    return runCaskCommand(QStringLiteral("install"), token, std::move(onOutput));
}

QFuture<QByteArray> BrewService::runCollectingOutput(const QString &program, const QStringList &arguments)
{
    auto promise = startedPromise<QByteArray>();
    auto output = std::make_shared<QByteArray>();
    startProcess(
        Run{program, arguments, QProcess::SeparateChannels, m_idleTimeout, maxReplySize, brewEnvironment()},
        [output](const QByteArray &chunk) { output->append(chunk); },
        [promise, output, idle = m_idleTimeout](const RunEnd &end) {
            switch (end.reason) {
            case RunEnd::Reason::failedToStart:
                return reject(*promise, ZelvoError(end.error));
            case RunEnd::Reason::silent:
                return reject(*promise, BrewError::commandFailed(silentText(idle)));
            case RunEnd::Reason::flooded:
                return reject(*promise, BrewError::parseFailed(
                                            QStringLiteral("brew 的输出超过 %1 MB，已停止").arg(maxReplySize >> 20)));
            case RunEnd::Reason::exited:
                break;
            }
            promise->addResult(*output);
            promise->finish();
        });
    return promise->future();
}

void BrewService::startProcess(const Run &run, std::function<void(const QByteArray &)> onData,
                               std::function<void(const RunEnd &)> onEnd)
{
    auto *process = new QProcess(this);
    process->setProgram(run.program);
    process->setArguments(run.arguments);
    process->setProcessChannelMode(run.mode);
    process->setProcessEnvironment(run.environment);
    // A question on the terminal must end the child's wait, not ours.
    process->setStandardInputFile(QProcess::nullDevice());
    // A session of its own has no controlling terminal, so sudo cannot read
    // the terminal that started us and turns to the askpass program instead.
    process->setChildProcessModifier([] { ::setsid(); });

    using Reason = RunEnd::Reason;
    auto reason = std::make_shared<Reason>(Reason::exited);
    auto received = std::make_shared<qint64>(0);
    auto *idle = new QTimer(process);
    idle->setSingleShot(true);
    idle->setInterval(run.idle);
    const auto stop = [process, reason](Reason why) {
        if (*reason == Reason::exited)
            *reason = why;
        stopGroup(*process);
    };
    connect(idle, &QTimer::timeout, process, [stop] { stop(Reason::silent); });
    const auto take = [idle, reason, received, cap = run.outputCap, stop, onData](const QByteArray &chunk) {
        idle->start();
        if (*reason != Reason::exited || chunk.isEmpty())
            return;
        *received += chunk.size();
        if (cap > 0 && *received > cap)
            stop(Reason::flooded);
        else
            onData(chunk);
    };

    connect(process, &QProcess::readyReadStandardOutput, process,
            [process, take] { take(process->readAllStandardOutput()); });
    connect(process, &QProcess::readyReadStandardError, process, [process, idle] {
        idle->start();
        process->readAllStandardError();
    });
    connect(process, &QProcess::finished, process,
            [process, idle, reason, take, onEnd](int exitCode, QProcess::ExitStatus status) {
                take(process->readAllStandardOutput());
                idle->stop();
                onEnd(RunEnd{*reason, exitCode, status, {}});
                process->deleteLater();
            });
    connect(process, &QProcess::errorOccurred, process, [process, onEnd](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        onEnd(RunEnd{Reason::failedToStart, 0, QProcess::NormalExit, process->errorString()});
        process->deleteLater();
    });
    process->start();
    idle->start();
}

QFuture<void> BrewService::upgradeViaBrew(const QString &token, OutputHandler onOutput)
{
    return runCaskCommand(QStringLiteral("upgrade"), token, std::move(onOutput));
}

QFuture<void> BrewService::uninstallViaBrew(const QString &token, OutputHandler onOutput)
{
    return runCaskCommand(QStringLiteral("uninstall"), token, std::move(onOutput));
}

QFuture<void> BrewService::runCaskCommand(const QString &verb, const QString &token, OutputHandler onOutput)
{
    const auto brew = brewExecutable();
    if (!brew)
        return QtFuture::makeExceptionalFuture<void>(BrewError::commandFailed(noBrewForInstall));
    if (!isValidToken(token))
        return QtFuture::makeExceptionalFuture<void>(
            BrewError::commandFailed(QStringLiteral("无效的 Cask 名称「%1」").arg(token)));

    // Where the askpass program leaves what the user did with the password question.
    auto status = std::make_shared<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/zelvo-askpass-XXXXXX"));
    if (!status->open())
        return QtFuture::makeExceptionalFuture<void>(ZelvoError(status->errorString()));
    status->close();

    Run run{*brew, {verb, QStringLiteral("--cask"), token}, QProcess::MergedChannels,
            m_installIdleTimeout, 0, brewEnvironment()};
    run.environment.insert(QStringLiteral("SUDO_ASKPASS"), askPassProgram());
    run.environment.insert(QString::fromLatin1(AskPass::statusVariable), status->fileName());

    auto promise = startedPromise<void>();
    // Stateful, so a character split across two reads is passed on once, whole.
    auto decoder = std::make_shared<QStringDecoder>(QStringDecoder::Utf8);
    startProcess(
        run,
        [decoder, onOutput = std::move(onOutput)](const QByteArray &chunk) {
            const QString text = decoder->decode(chunk);
            if (!text.isEmpty() && onOutput)
                onOutput(text);
        },
        [promise, status, verb, idle = m_installIdleTimeout](const RunEnd &end) {
            using Reason = RunEnd::Reason;
            if (end.reason == Reason::failedToStart)
                return reject(*promise, ZelvoError(end.error));
            if (end.reason == Reason::silent)
                return reject(*promise, BrewError::commandFailed(silentText(idle)));
            if (end.status == QProcess::NormalExit && end.exitCode == 0) {
                promise->finish();
                return;
            }
            switch (AskPass::recorded(status->fileName()).value_or(AskPass::Outcome::answered)) {
            case AskPass::Outcome::cancelled:
                return reject(*promise, BrewError::commandFailed(QStringLiteral("已取消输入管理员密码，%1未完成").arg(unfinishedStep(verb))));
            case AskPass::Outcome::noTerminal:
                return reject(*promise, BrewError::commandFailed(
                                            QStringLiteral("%1需要管理员密码，但没有可以输入密码的终端或窗口").arg(unfinishedStep(verb))));
            case AskPass::Outcome::answered:
                break;
            }
            reject(*promise,
                   BrewError::commandFailed(QStringLiteral("brew %1 执行失败，退出码: %2").arg(verb).arg(end.exitCode)));
        });
    return promise->future();
}
