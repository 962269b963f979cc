#include "services/BrewLookup.h"

#include <algorithm>

#include <QCoreApplication>
#include <QPointer>

#include "models/TextTrim.h"
#include "services/AppStoreService.h"
#include "services/BrewService.h"
#include "services/SourceStore.h"

namespace {

QStringList candidatesOf(QFuture<QStringList> future)
{
    try {
        future.waitForFinished();
        if (future.resultCount() > 0)
            return future.result();
    } catch (...) {
        // A failed search only means there is nothing to fall back on.
    }
    return {};
}

} // namespace

BrewLookup::BrewLookup(BrewService &brew, SourceStore &sources, AppStoreService &store, QObject *parent)
    : QObject(parent), m_brew(brew), m_sources(sources), m_store(store)
{
}

QStringList BrewLookup::ranked(const QList<AppItem> &casks, const QString &query, int limit)
{
    const QString text = query.trimmed().toLower();
    if (text.isEmpty())
        return {};
    QString token = text;
    token.replace(QLatin1Char(' '), QLatin1Char('-'));
    QList<QPair<int, QString>> found;
    for (const AppItem &cask : casks) {
        const QString id = cask.id.toLower();
        int rank = -1;
        if (id == token)
            rank = 0;
        else if (id.startsWith(token))
            rank = 1;
        else if (id.contains(token))
            rank = 2;
        else if (cask.name.contains(text, Qt::CaseInsensitive) || cask.summary.contains(text, Qt::CaseInsensitive))
            rank = 3;
        if (rank >= 0)
            found.append({rank, cask.id});
    }
    std::sort(found.begin(), found.end());
    QStringList tokens;
    for (const auto &[rank, id] : found) {
        if (tokens.size() >= limit)
            break;
        if (!tokens.contains(id))
            tokens << id;
    }
    return tokens;
}

QList<AppItem> BrewLookup::catalogCasks() const
{
    QList<AppItem> casks;
    for (const auto &source : m_sources.sources())
        if (source.kind == CatalogKind::brewCasks)
            casks += m_sources.recordsOf(source.id);
    return casks;
}

std::optional<AppItem> BrewLookup::catalogRecord(const QString &token) const
{
    for (const auto &source : m_sources.sources()) {
        if (source.kind != CatalogKind::brewCasks)
            continue;
        for (const AppItem &cask : m_sources.recordsOf(source.id))
            if (cask.id == token)
                return cask;
    }
    return std::nullopt;
}

template <typename Then> void BrewLookup::candidatesFor(const QString &name, Then then)
{
    const QStringList fromCatalog = ranked(catalogCasks(), name);
    if (!m_brew.brewExecutable()) {
        then(fromCatalog);
        return;
    }
    QPointer<BrewLookup> guard(this);
    m_brew.searchCasks(name).then(qApp, [guard, fromCatalog, then](QFuture<QStringList> search) {
        if (!guard)
            return;
        const QStringList found = candidatesOf(search);
        then(found.isEmpty() ? fromCatalog : found);
    });
}

template <typename Then> void BrewLookup::lookUp(const QString &name, Then then)
{
    const QString token = name.trimmed().toLower();
    // A free-text query names no cask; its candidates are all there is.
    if (!BrewService::isValidToken(token)) {
        then(Outcome{std::nullopt, {}, false});
        return;
    }
    // Continued on the application, which outlives every lookup: this
    // object may be gone (the user left the screen) before brew answers.
    QPointer<BrewLookup> guard(this);
    m_brew.resolveCask(token).then(qApp, [this, guard, token, then](QFuture<AppItem> future) {
        if (!guard)
            return;
        Outcome outcome;
        try {
            future.waitForFinished();
            if (future.resultCount() > 0)
                outcome.app = future.result();
            else
                outcome.error = QStringLiteral("查询已取消");
        } catch (const BrewError &error) {
            outcome.error = error.localizedDescription();
            outcome.nobodyAsked = error.kind() == BrewError::Kind::commandFailed;
        } catch (...) {
            outcome.error = errorText(std::current_exception());
        }
        if (!outcome.app) {
            if (auto record = catalogRecord(token))
                outcome = Outcome{std::move(record), {}, false};
        }
        then(outcome);
    });
}

void BrewLookup::start(const QString &typed)
{
    const QString name = trimSpacesAndTabs(typed);
    if (name.isEmpty())
        return;
    setResolving(true);
    setMessages(std::nullopt, std::nullopt);
    setResolvedApp(std::nullopt);
    setCandidates({}, std::nullopt);
    candidatesFor(name, [this, name](const QStringList &candidates) {
        lookUp(name, [this, name, candidates](const Outcome &exact) { finishLookup(name, candidates, exact); });
    });
}

void BrewLookup::finishLookup(const QString &name, const QStringList &candidates, const Outcome &exact)
{
    if (exact.app) {
        setResolvedApp(exact.app);
        setCandidates(candidates, exact.app->id);
        setResolving(false);
        return;
    }
    if (candidates.isEmpty()) {
        if (exact.nobodyAsked)
            setMessages(QStringLiteral("无法查询「%1」：%2。本机没有 Homebrew 应用目录的副本，请检查网络，"
                                       "或在「软件源」中改用镜像后刷新。")
                            .arg(name, exact.error),
                        m_successTip);
        else
            setMessages(QStringLiteral("未找到与「%1」相关的 Homebrew Cask 包，请检查拼写。").arg(name), m_successTip);
        setResolving(false);
        return;
    }
    lookUp(candidates.first(), [this, name, candidates](const Outcome &first) {
        if (first.app) {
            setResolvedApp(first.app);
            setCandidates(candidates, candidates.first());
            setMessages(m_errorMessage, QStringLiteral("已为您自动模糊匹配到「%1」，点击上方胶囊可切换其他候选。")
                                            .arg(candidates.first()));
        } else {
            setCandidates(candidates, m_selectedCandidate);
            setMessages(QStringLiteral("未找到精确匹配包「%1」，且解析候选包失败。").arg(name), m_successTip);
        }
        setResolving(false);
    });
}

void BrewLookup::resolveCandidate(const QString &token)
{
    if (m_selectedCandidate == token)
        return;
    setResolving(true);
    setMessages(std::nullopt, m_successTip);
    setCandidates(m_candidateTokens, token);
    lookUp(token, [this, token](const Outcome &outcome) {
        if (outcome.app)
            setResolvedApp(outcome.app);
        else
            setMessages(QStringLiteral("解析候选包「%1」失败: %2").arg(token, outcome.error), m_successTip);
        setResolving(false);
    });
}

void BrewLookup::saveResolvedApp()
{
    if (!m_resolvedApp)
        return;
    const AppItem app = *m_resolvedApp;
    const SaveResult result = m_store.saveAppItem(app);
    if (result.ok)
        setMessages(m_errorMessage, QStringLiteral("已成功将「%1」保存到本地应用库并缓存为 JSON！").arg(app.name));
    else
        setMessages(QStringLiteral("保存失败: ") + result.error, m_successTip);
}

void BrewLookup::setResolving(bool resolving)
{
    if (m_resolving == resolving)
        return;
    m_resolving = resolving;
    Q_EMIT resolvingChanged();
}

void BrewLookup::setResolvedApp(std::optional<AppItem> app)
{
    m_resolvedApp = std::move(app);
    Q_EMIT resolvedAppChanged();
}

void BrewLookup::setCandidates(QStringList tokens, std::optional<QString> selected)
{
    m_candidateTokens = std::move(tokens);
    m_selectedCandidate = std::move(selected);
    Q_EMIT candidatesChanged();
}

void BrewLookup::setMessages(std::optional<QString> error, std::optional<QString> success)
{
    m_errorMessage = std::move(error);
    m_successTip = std::move(success);
    Q_EMIT messagesChanged();
}
