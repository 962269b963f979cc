#pragma once

#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <chrono>
#include <optional>

#include "models/AppItem.h"
#include "models/CatalogSource.h"

class QNetworkAccessManager;
class QTimer;

// One Homebrew API base the user can choose.
struct BrewApiBase
{
    QString label;
    QString url;
};

// The catalog sources and their records: the whole Homebrew cask list and
// the catalogs the user subscribed to. Each source's last good document is
// kept in the library folder ("Sources/<id>.json") and the list of sources,
// with what each last refresh found and the Homebrew API base, in
// "sources.json" beside the library; both are replaced whole or not at all.
//
// A refresh asks conditionally (ETag / Last-Modified); a "not modified"
// answer parses nothing. An answer that cannot be used keeps the copy and
// records of before and is written on the source as its error. Documents
// are decoded and written on the thread pool; the published state lives on
// the thread the store lives in.
class SourceStore final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SourceStore)

public:
    static constexpr std::chrono::hours refreshInterval{24};

    // The official service first, then the mainland mirrors of its JSON API.
    static const QList<BrewApiBase> &defaultApiBases();
    static QString brewSourceId() { return QStringLiteral("homebrew-casks"); }
    // An address as the user typed it, as a base: trailing slashes and a
    // final "/api" dropped, since mirrors are often given with it.
    static QString normalizedApiBase(const QString &address);
    // network: nullptr makes the store own one. bases: the choices offered,
    // the first being the base until the user picks another.
    explicit SourceStore(QString folder, QNetworkAccessManager *network = nullptr,
                         QList<BrewApiBase> bases = defaultApiBases(), QObject *parent = nullptr);

    const QList<BrewApiBase> &apiBases() const { return m_bases; }
    // The base's label, or the address itself for a custom one.
    QString apiBaseLabel(const QString &url) const;
    ~SourceStore() override;

    const QList<CatalogSource> &sources() const { return m_sources; }
    std::optional<CatalogSource> source(const QString &id) const;
    // Every source's records, in source order.
    const QList<AppItem> &records() const { return m_records; }
    // The id of the source the record at this index of records() came from.
    QString sourceOfRecord(int index) const;
    // Whether the store holds a Homebrew catalog with records right now.
    bool hasBrewCatalog() const;
    // The records of one source.
    QList<AppItem> recordsOf(const QString &sourceId) const { return m_bySource.value(sourceId); }

    // The base in use: the override if there is one, else the saved choice.
    const QString &brewApiBase() const { return m_override.isEmpty() ? m_brewApiBase : m_override; }
    void setBrewApiBase(const QString &address);
    // A base for this run only (a script's environment); the saved choice stays.
    void overrideBrewApiBase(const QString &address) { m_override = normalizedApiBase(address); }

    QString settingsPath() const;
    QString copyPath(const QString &sourceId) const;
    bool isRefreshing(const QString &sourceId) const { return m_refreshing.contains(sourceId); }

    // Reads every kept copy into records, off this thread.
    QFuture<void> loadCopies();
    // Fails with the reason also written on the source.
    QFuture<void> refresh(const QString &sourceId);
    // Refreshes each source not refreshed within refreshInterval, now and
    // then hourly for as long as the store lives.
    void startBackgroundRefresh();
    // Validates the address, fetches and decodes it once, and only then
    // keeps it as a source. Fails without adding anything.
    QFuture<CatalogSource> subscribe(const QString &address);
    bool remove(const QString &sourceId);

    // After a failed Homebrew refresh, the first other base whose catalog
    // answered; cleared by a refresh that works or a change of base.
    const std::optional<BrewApiBase> &suggestedBase() const { return m_suggested; }

Q_SIGNALS:
    void sourcesChanged();
    void recordsChanged();
    void brewApiBaseChanged();

private:
    struct Fetched;

    void readSettings();
    void writeSettings();
    void setSource(const CatalogSource &source);
    void setRecords(const QString &sourceId, QList<AppItem> apps);
    void rebuildRecords();
    QStringList addressesOf(const CatalogSource &source) const;
    QFuture<Fetched> fetch(const QStringList &addresses, const CatalogSource &source, bool conditional);
    void refreshStale();
    void suggestAnsweringBase();

    QString m_folder;
    QNetworkAccessManager *m_network;
    QList<BrewApiBase> m_bases;
    QString m_brewApiBase;
    QString m_override;
    QList<CatalogSource> m_sources;
    QHash<QString, QList<AppItem>> m_bySource;
    QList<AppItem> m_records;
    // Where each source's records start in m_records, in source order.
    QList<QPair<int, QString>> m_starts;
    QSet<QString> m_refreshing;
    std::optional<BrewApiBase> m_suggested;
    QTimer *m_timer = nullptr;
};
