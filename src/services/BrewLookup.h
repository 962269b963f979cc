#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

#include "models/AppItem.h"

class AppStoreService;
class BrewService;
class SourceStore;

// The Homebrew quick entry without its widgets: a typed name becomes
// candidate casks and one previewed record, which can be saved into the
// library.
//
// Candidates come from `brew search` when a brew is installed, else from
// the kept Homebrew catalog, ranked by ranked(). The record comes from the
// cask lookup (API, then local brew), else from the catalog; when no cask
// has the typed name, the best candidate's record is shown instead. A
// lookup that could ask nobody (no brew, no API, no catalog) says so rather
// than blaming the spelling.
//
// Lookups are never cancelled. When two overlap each writes its outcome
// when it ends, so the last to finish is what stays.
class BrewLookup final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BrewLookup)

public:
    // At most this many candidates are offered.
    static constexpr int maxCandidates = 30;

    BrewLookup(BrewService &brew, SourceStore &sources, AppStoreService &store, QObject *parent = nullptr);

    // Catalog tokens for a query: the exact token first, then tokens that
    // start with it, tokens that contain it, then records whose name or
    // description contains it; alphabetical within each group. Spaces in the
    // query stand for the hyphens of a token ("visual studio").
    static QStringList ranked(const QList<AppItem> &casks, const QString &query, int limit = maxCandidates);

    // Looks up the name trimmed of spaces and tabs; nothing when that is empty.
    void start(const QString &name);
    // Shows another candidate's record; the current one stays until it arrives.
    void resolveCandidate(const QString &token);
    // Saves the previewed record into the library.
    void saveResolvedApp();

    // Whether the latest lookup step still runs; the first of two
    // overlapping lookups to end clears it.
    bool isResolving() const { return m_resolving; }
    const std::optional<AppItem> &resolvedApp() const { return m_resolvedApp; }
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    const std::optional<QString> &successTip() const { return m_successTip; }
    const QStringList &candidateTokens() const { return m_candidateTokens; }
    const std::optional<QString> &selectedCandidate() const { return m_selectedCandidate; }

Q_SIGNALS:
    void resolvingChanged();
    void resolvedAppChanged();
    void messagesChanged();
    void candidatesChanged();

private:
    struct Outcome
    {
        std::optional<AppItem> app;
        QString error;
        // Neither the API nor a local brew could be asked.
        bool nobodyAsked = false;
    };

    template <typename Then> void lookUp(const QString &token, Then then);
    template <typename Then> void candidatesFor(const QString &name, Then then);
    std::optional<AppItem> catalogRecord(const QString &token) const;
    QList<AppItem> catalogCasks() const;
    void finishLookup(const QString &name, const QStringList &candidates, const Outcome &exact);

    void setResolving(bool resolving);
    void setResolvedApp(std::optional<AppItem> app);
    void setCandidates(QStringList tokens, std::optional<QString> selected);
    void setMessages(std::optional<QString> error, std::optional<QString> success);

    BrewService &m_brew;
    SourceStore &m_sources;
    AppStoreService &m_store;
    bool m_resolving = false;
    std::optional<AppItem> m_resolvedApp;
    std::optional<QString> m_errorMessage;
    std::optional<QString> m_successTip;
    QStringList m_candidateTokens;
    std::optional<QString> m_selectedCandidate;
};
