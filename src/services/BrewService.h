#pragma once

#include <QFuture>
#include <QJsonObject>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

#include "models/AppItem.h"
#include "models/ZelvoError.h"

class QNetworkAccessManager;

// A Homebrew lookup, search or installation that went wrong. The text a
// screen shows is a fixed Chinese prefix followed by the payload.
class BrewError final : public ZelvoError
{
public:
    enum class Kind { packageNotFound, parseFailed, commandFailed };

    // "未找到 Homebrew Cask 包：" + the cask name concerned.
    static BrewError packageNotFound(const QString &name);
    // "解析 Brew 数据失败：" + a reason.
    static BrewError parseFailed(const QString &reason);
    // "执行 Brew 失败：" + a reason.
    static BrewError commandFailed(const QString &reason);

    Kind kind() const { return m_kind; }
    const QString &payload() const { return m_payload; }

    void raise() const override { throw *this; }
    BrewError *clone() const override { return new BrewError(*this); }

private:
    BrewError(Kind kind, QString payload);

    Kind m_kind;
    QString m_payload;
};

// The app's only contact with Homebrew: turns a cask name into an AppItem
// (the cask JSON API first, the local `brew info` second), lists candidate
// cask names for a query and installs a cask.
//
// Call it on the thread it lives in (the main thread): requests go through
// QNetworkAccessManager and `brew` runs as an asynchronous QProcess, so
// nothing here blocks that thread and no pool thread waits for minutes on an
// installation. Results and failures arrive in the returned futures; errors
// are BrewError or, for network, JSON and launch failures, ZelvoError
// carrying the platform's own text. Continue on an object that outlives the
// work (the application) and check the caller is still there: Qt asserts
// when a continuation's context dies first.
//
// The brew executable is looked up afresh on every call: the first of the
// configured paths that is an executable file wins. No shell is used; brew
// runs in a session of its own, without a terminal, with standard input
// closed and without auto-update, and both output pipes are drained, so a
// prompt or a flood of output can never stall it. A password sudo needs
// during an installation is asked for by the askpass program (see AskPass.h).
// A run that prints nothing for its idle limit is stopped with everything it
// started.
class BrewService final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BrewService)

public:
    using OutputHandler = std::function<void(const QString &)>;

    static QString defaultApiBaseUrl();
    // "/opt/homebrew/bin/brew", then "/usr/local/bin/brew".
    static QStringList defaultBrewPaths();
    // An API request that receives nothing for this long is dropped and the
    // local brew takes over; `brew info` and `brew search` are stopped.
    static constexpr std::chrono::milliseconds defaultIdleTimeout{60000};
    // Downloads and installer scripts can stay quiet for a long while.
    static constexpr std::chrono::milliseconds defaultInstallIdleTimeout{600000};
    // A cask object is a few kilobytes and a search lists a few thousand
    // names; an answer or output beyond this is refused while it is read.
    static constexpr qint64 maxReplySize = 8 * 1024 * 1024;

    // network: nullptr makes the service own one. askPassProgram: empty means
    // the running executable, which answers in its askpass mode.
    explicit BrewService(QString apiBaseUrl = defaultApiBaseUrl(), QStringList brewPaths = defaultBrewPaths(),
                         QNetworkAccessManager *network = nullptr,
                         std::chrono::milliseconds idleTimeout = defaultIdleTimeout,
                         std::chrono::milliseconds installIdleTimeout = defaultInstallIdleTimeout,
                         QString askPassProgram = {}, QObject *parent = nullptr);
    ~BrewService() override;

    static BrewService &shared();

    // Trims and lower-cases name into a cask token and resolves it. A blank
    // name fails with packageNotFound(name as given); a name that is not a
    // cask token with packageNotFound(token), before any request or process.
    // Any API failure (unreachable, idle time-out, status other than 200, not
    // a JSON object) falls back to `brew info --cask <token> --json=v2`; only
    // that fallback's error reaches the caller, except that with no brew
    // installed the API's "not found" (a status other than 200) is passed on.
    // commandFailed thus means nobody could be asked.
    QFuture<AppItem> resolveCask(const QString &name);

    // Candidate tokens from `brew search --casks <query>` for any text not
    // starting with "-" (it may hold spaces): those starting with
    // the trimmed lower-case query first, each group in ascending order; a
    // line that is not UTF-8 is skipped. Never fails: every failure yields an
    // empty list.
    QFuture<QStringList> searchCasks(const QString &query);

    // Runs `brew install --cask <token>` (token as given). Output of both
    // streams reaches onOutput on this object's thread in chunks as it
    // arrives, decoded as UTF-8 across chunk boundaries. Fails with
    // commandFailed when no brew is found, the token is not a cask token or
    // brew exits with a status other than 0 (saying so when the user cancelled
    // the password or had nowhere to type it) or stays silent too long.
    QFuture<void> installViaBrew(const QString &token, OutputHandler onOutput);

    // Builds a record from one cask object of Homebrew's cask JSON. Never fails:
    // a missing key, one of another JSON type or an address that is not a web
    // address counts as absent.
    static AppItem parseBrewJson(const QString &token, const QJsonObject &json);

    // ASCII letters, digits and "-_.@+/"; not starting with "-"; "/" only
    // between non-empty segments other than "." and "..". Keeps a token from
    // being taken for an option by brew or from walking the API's path.
    static bool isValidToken(const QString &token);

    // The first configured path that is an executable file right now.
    std::optional<QString> brewExecutable() const;

    const QString &apiBaseUrl() const { return m_apiBaseUrl; }
    // Lookups started from now on ask this base (the user chose a mirror).
    void setApiBaseUrl(const QString &url);
    const QStringList &brewPaths() const { return m_brewPaths; }

    // `brew upgrade --cask <token>` and `brew uninstall --cask <token>`, run
    // and reported exactly as installViaBrew.
    QFuture<void> upgradeViaBrew(const QString &token, OutputHandler onOutput);
    QFuture<void> uninstallViaBrew(const QString &token, OutputHandler onOutput);

private:
    struct Run;
    struct RunEnd;

    QFuture<AppItem> fetchFromOfficialApi(const QString &token);
    QFuture<AppItem> fetchFromLocalCli(const QString &token);
    // Runs brew's program and yields its standard output, at most
    // maxReplySize bytes; standard error is read and dropped. The exit status
    // is not examined.
    QFuture<QByteArray> runCollectingOutput(const QString &program, const QStringList &arguments);
    // Starts a run; onData receives each chunk of standard output (standard
    // error too under MergedChannels), then onEnd is called exactly once.
    void startProcess(const Run &run, std::function<void(const QByteArray &)> onData,
                      std::function<void(const RunEnd &)> onEnd);
    QString askPassProgram() const;
    // `brew <verb> --cask <token>` with the installation's safeguards and time limit.
    QFuture<void> runCaskCommand(const QString &verb, const QString &token, OutputHandler onOutput);

    QString m_apiBaseUrl;
    QStringList m_brewPaths;
    QNetworkAccessManager *m_network;
    std::chrono::milliseconds m_idleTimeout;
    std::chrono::milliseconds m_installIdleTimeout;
    QString m_askPassProgram;
};
