#include "BrewService.h"

#include <algorithm>
#include <memory>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPromise>
#include <QStringDecoder>
#include <QUrl>

#include "services/UrlError.h"

namespace {

// A cask object is a few kilobytes; anything far larger is not one, and is
// not worth holding in memory before falling back to the local brew.
constexpr qint64 maxApiBodySize = 8 * 1024 * 1024;

const QString noBrewForLookup = QStringLiteral("未在系统中检测到可执行的 brew 工具，且网络查询不可用");
const QString noBrewForInstall = QStringLiteral("未找到 brew 命令路径");

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

std::optional<QString> stringValue(const QJsonObject &json, const char *key)
{
    const auto value = json.value(QLatin1String(key));
    return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
}

// A non-empty array made only of strings, as its strings; anything else is absent.
std::optional<QStringList> stringList(const QJsonValue &value)
{
    if (!value.isArray() || value.toArray().isEmpty())
        return std::nullopt;
    QStringList strings;
    for (const auto element : value.toArray()) {
        if (!element.isString())
            return std::nullopt;
        strings.append(element.toString());
    }
    return strings;
}

std::optional<QString> appFilenameFromArtifacts(const QJsonValue &artifacts)
{
    if (!artifacts.isArray())
        return std::nullopt;
    const auto list = artifacts.toArray();
    // One element that is not an object spoils the whole list.
    if (!std::all_of(list.begin(), list.end(), [](const QJsonValue &element) { return element.isObject(); }))
        return std::nullopt;
    for (const auto element : list) {
        if (const auto apps = stringList(element.toObject().value(QLatin1String("app"))))
            return apps->first();
    }
    return std::nullopt;
}

AppItem appFromApiReply(QNetworkReply *reply, const QString &token)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && status.toInt() != 200)
        throw BrewError::packageNotFound(token);
    if (reply->error() != QNetworkReply::NoError)
        throw ZelvoError(UrlError::describe(*reply));
    if (!status.isValid())
        throw BrewError::packageNotFound(token);

    QJsonParseError parseError;
    const auto document = QJsonDocument::fromJson(reply->readAll(), &parseError);
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
    auto decoder = QStringDecoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(output);
    if (decoder.hasError())
        return {};

    QStringList candidates;
    for (const auto line : QStringView(text).split(u'\n')) {
        const auto trimmed = line.trimmed();
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

BrewService::BrewService(QString apiBaseUrl, QStringList brewPaths, QNetworkAccessManager *network,
                         std::chrono::milliseconds idleTimeout, QObject *parent)
    : QObject(parent), m_apiBaseUrl(std::move(apiBaseUrl)), m_brewPaths(std::move(brewPaths)),
      m_network(network ? network : new QNetworkAccessManager(this)), m_idleTimeout(idleTimeout)
{
    while (m_apiBaseUrl.endsWith(QLatin1Char('/')))
        m_apiBaseUrl.chop(1);
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
    AppItem app;
    app.id = token;
    if (const auto names = stringList(json.value(QLatin1String("name"))))
        app.name = names->first();
    else
        app.name = stringValue(json, "token").value_or(token);
    app.appFilename = appFilenameFromArtifacts(json.value(QLatin1String("artifacts")));
    app.category = QStringLiteral("开发与工具");
    app.summary = stringValue(json, "desc").value_or(QString());
    app.description = app.summary;
    app.homepage = stringValue(json, "homepage");
    app.sourceType = AppSourceType::brew;
    app.brewName = token;
    app.currentVersion = stringValue(json, "version").value_or(QStringLiteral("latest"));
    app.downloadUrl = stringValue(json, "url");
    app.packageType =
        app.downloadUrl ? packageTypeFromUrlEnding(*app.downloadUrl).value_or(PackageType::brew) : PackageType::brew;

    AppVersion version;
    version.version = app.currentVersion;
    version.downloadUrl = app.downloadUrl;
    version.changelog = QStringLiteral("当前稳定版");
    app.versions = QList<AppVersion>{version};
    return app;
}

QFuture<AppItem> BrewService::resolveCask(const QString &name)
{
    const QString token = name.trimmed().toLower();
    if (token.isEmpty())
        return QtFuture::makeExceptionalFuture<AppItem>(BrewError::packageNotFound(name));
    if (!isValidToken(token))
        return QtFuture::makeExceptionalFuture<AppItem>(BrewError::packageNotFound(token));

    auto promise = startedPromise<AppItem>();
    fetchFromOfficialApi(token).then(this, [this, promise, token](QFuture<AppItem> api) {
        bool succeeded = false;
        try {
            api.waitForFinished();
            succeeded = api.resultCount() > 0;
        } catch (...) {
            // Whatever went wrong with the API, the local brew gets its turn and
            // only its outcome reaches the caller.
        }
        if (succeeded) {
            relay(api, *promise);
            return;
        }
        fetchFromLocalCli(token).then(this, [promise](QFuture<AppItem> local) { relay(local, *promise); });
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

    auto promise = startedPromise<AppItem>();
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > maxApiBodySize)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, reply, [reply, promise, token] {
        reply->deleteLater();
        try {
            promise->addResult(appFromApiReply(reply, token));
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
    if (!isValidToken(normalized))
        return readyFuture(QStringList());
    const auto brew = brewExecutable();
    if (!brew)
        return readyFuture(QStringList());
    const QStringList arguments{QStringLiteral("search"), QStringLiteral("--casks"), normalized};
    return runCollectingOutput(*brew, arguments)
        .then([normalized](const QByteArray &output) { return candidatesFromSearchOutput(output, normalized); })
        .onFailed([] { return QStringList(); });
}

QFuture<void> BrewService::installViaBrew(const QString &token, OutputHandler onOutput)
{
    const auto brew = brewExecutable();
    if (!brew)
        return QtFuture::makeExceptionalFuture<void>(BrewError::commandFailed(noBrewForInstall));
    if (!isValidToken(token))
        return QtFuture::makeExceptionalFuture<void>(
            BrewError::commandFailed(QStringLiteral("无效的 Cask 名称「%1」").arg(token)));

    auto promise = startedPromise<void>();
    // Stateful, so a character split across two reads is passed on once, whole.
    auto decoder = std::make_shared<QStringDecoder>(QStringDecoder::Utf8);
    const QStringList arguments{QStringLiteral("install"), QStringLiteral("--cask"), token};
    startProcess(
        *brew, arguments, QProcess::MergedChannels,
        [decoder, onOutput = std::move(onOutput)](const QByteArray &chunk) {
            const QString text = decoder->decode(chunk);
            if (!text.isEmpty() && onOutput)
                onOutput(text);
        },
        [promise](int exitCode, QProcess::ExitStatus status) {
            if (status == QProcess::NormalExit && exitCode == 0) {
                promise->finish();
                return;
            }
            reject(*promise,
                   BrewError::commandFailed(QStringLiteral("brew install 执行失败，退出码: %1").arg(exitCode)));
        },
        [promise](const QString &error) { reject(*promise, ZelvoError(error)); });
    return promise->future();
}

QFuture<QByteArray> BrewService::runCollectingOutput(const QString &program, const QStringList &arguments)
{
    auto promise = startedPromise<QByteArray>();
    auto output = std::make_shared<QByteArray>();
    startProcess(
        program, arguments, QProcess::SeparateChannels, [output](const QByteArray &chunk) { output->append(chunk); },
        [promise, output](int, QProcess::ExitStatus) {
            promise->addResult(*output);
            promise->finish();
        },
        [promise](const QString &error) { reject(*promise, ZelvoError(error)); });
    return promise->future();
}

void BrewService::startProcess(const QString &program, const QStringList &arguments, QProcess::ProcessChannelMode mode,
                               std::function<void(const QByteArray &)> onData,
                               std::function<void(int, QProcess::ExitStatus)> onExit,
                               std::function<void(const QString &)> onLaunchError)
{
    auto *process = new QProcess(this);
    process->setProgram(program);
    process->setArguments(arguments);
    process->setProcessChannelMode(mode);
    // A question on the terminal must end the child's wait, not ours.
    process->setStandardInputFile(QProcess::nullDevice());

    connect(process, &QProcess::readyReadStandardOutput, process,
            [process, onData] { onData(process->readAllStandardOutput()); });
    connect(process, &QProcess::readyReadStandardError, process, [process] { process->readAllStandardError(); });
    connect(process, &QProcess::finished, process,
            [process, onData, onExit = std::move(onExit)](int exitCode, QProcess::ExitStatus status) {
                if (const auto rest = process->readAllStandardOutput(); !rest.isEmpty())
                    onData(rest);
                onExit(exitCode, status);
                process->deleteLater();
            });
    connect(process, &QProcess::errorOccurred, process,
            [process, onLaunchError = std::move(onLaunchError)](QProcess::ProcessError error) {
                if (error != QProcess::FailedToStart)
                    return;
                onLaunchError(process->errorString());
                process->deleteLater();
            });
    process->start();
}
