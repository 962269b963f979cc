#include "services/SourceStore.h"

#include <memory>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPromise>
#include <QTimer>
#include <QUrl>
#include <QtConcurrent>

#include "models/WebAddress.h"
#include "platform/BoundedRead.h"
#include "platform/DurableFile.h"
#include "services/BoundedBody.h"
#include "services/CatalogDecoder.h"
#include "services/UrlError.h"

namespace {

constexpr qint64 replyReadBuffer = 1024 * 1024;
constexpr int idleTimeoutMs = 60000;

CatalogSource brewSource()
{
    CatalogSource source;
    source.id = SourceStore::brewSourceId();
    source.name = QStringLiteral("Homebrew Cask");
    source.kind = CatalogKind::brewCasks;
    return source;
}

template <typename T> QFuture<T> failed(const QString &reason)
{
    return QtFuture::makeExceptionalFuture<T>(ZelvoError(reason));
}

// A decoded document, and whether its copy reached the disk.
struct Decoded
{
    DecodedCatalog catalog;
    QString writeError;
};

} // namespace

struct SourceStore::Fetched
{
    int status = 0;
    QByteArray body;
    QString etag;
    QString lastModified;
    QString address;
};

const QList<BrewApiBase> &SourceStore::defaultApiBases()
{
    static const QList<BrewApiBase> bases{
        {QStringLiteral("Homebrew 官方"), QStringLiteral("https://formulae.brew.sh")},
        {QStringLiteral("清华大学 TUNA 镜像"), QStringLiteral("https://mirrors.tuna.tsinghua.edu.cn/homebrew-bottles")},
        {QStringLiteral("中国科学技术大学 USTC 镜像"), QStringLiteral("https://mirrors.ustc.edu.cn/homebrew-bottles")},
    };
    return bases;
}

QString SourceStore::normalizedApiBase(const QString &address)
{
    QString base = address.trimmed();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    if (base.endsWith(QLatin1String("/api")))
        base.chop(4);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

QString SourceStore::apiBaseLabel(const QString &url) const
{
    for (const auto &base : m_bases)
        if (base.url == url)
            return base.label;
    return url;
}

SourceStore::SourceStore(QString folder, QNetworkAccessManager *network, QList<BrewApiBase> bases, QObject *parent)
    : QObject(parent), m_folder(std::move(folder)), m_network(network ? network : new QNetworkAccessManager(this)),
      m_bases(std::move(bases)), m_brewApiBase(m_bases.first().url)
{
    readSettings();
}

SourceStore::~SourceStore() = default;

QString SourceStore::settingsPath() const
{
    return m_folder + QStringLiteral("/sources.json");
}

QString SourceStore::copyPath(const QString &sourceId) const
{
    return m_folder + QStringLiteral("/Sources/") + sourceId + QStringLiteral(".json");
}

void SourceStore::readSettings()
{
    const auto file = BoundedRead::regularFile(settingsPath(), 4 << 20);
    const QJsonObject object = QJsonDocument::fromJson(file.bytes).object();
    if (file.status != BoundedRead::Status::ok || object.isEmpty()) {
        m_sources = {brewSource()};
        return;
    }
    const QString base = normalizedApiBase(object.value(QLatin1String("brewApiBase")).toString());
    if (isWebAddress(base))
        m_brewApiBase = base;
    for (const auto entry : object.value(QLatin1String("sources")).toArray()) {
        const auto source = CatalogSource::fromJson(entry.toObject());
        if (source && !this->source(source->id))
            m_sources.append(*source);
    }
}

void SourceStore::writeSettings()
{
    QJsonArray sources;
    for (const auto &source : m_sources)
        sources.append(source.toJson());
    const QJsonObject object{{QStringLiteral("brewApiBase"), m_brewApiBase}, {QStringLiteral("sources"), sources}};
    try {
        QDir().mkpath(m_folder);
        DurableFile::write(settingsPath(), QJsonDocument(object).toJson());
    } catch (const ZelvoError &error) {
        qWarning("%s", qPrintable(error.localizedDescription()));
    }
}

std::optional<CatalogSource> SourceStore::source(const QString &id) const
{
    for (const auto &source : m_sources)
        if (source.id == id)
            return source;
    return std::nullopt;
}

QString SourceStore::sourceOfRecord(int index) const
{
    QString found;
    for (const auto &[start, id] : m_starts) {
        if (start > index)
            break;
        found = id;
    }
    return found;
}

bool SourceStore::hasBrewCatalog() const
{
    for (const auto &source : m_sources)
        if (source.kind == CatalogKind::brewCasks && !m_bySource.value(source.id).isEmpty())
            return true;
    return false;
}

void SourceStore::setBrewApiBase(const QString &address)
{
    const QString base = normalizedApiBase(address);
    if (base == m_brewApiBase || !isWebAddress(base))
        return;
    m_brewApiBase = base;
    m_suggested.reset();
    writeSettings();
    Q_EMIT brewApiBaseChanged();
}

void SourceStore::setSource(const CatalogSource &source)
{
    bool found = false;
    for (auto &existing : m_sources) {
        if (existing.id == source.id) {
            existing = source;
            found = true;
        }
    }
    if (!found)
        m_sources.append(source);
    writeSettings();
    Q_EMIT sourcesChanged();
}

void SourceStore::setRecords(const QString &sourceId, QList<AppItem> apps)
{
    m_bySource.insert(sourceId, std::move(apps));
    rebuildRecords();
}

void SourceStore::rebuildRecords()
{
    m_records.clear();
    m_starts.clear();
    for (const auto &source : m_sources) {
        m_starts.append({int(m_records.size()), source.id});
        m_records.append(m_bySource.value(source.id));
    }
    Q_EMIT recordsChanged();
}

QFuture<void> SourceStore::loadCopies()
{
    QList<QPair<QString, QPair<CatalogKind, QString>>> copies;
    for (const auto &source : m_sources)
        copies.append({source.id, {source.kind, copyPath(source.id)}});
    using Loaded = QHash<QString, DecodedCatalog>;
    return QtConcurrent::run([copies] {
               Loaded loaded;
               for (const auto &[id, copy] : copies) {
                   const auto file = BoundedRead::regularFile(copy.second, CatalogDecoder::maxCatalogBytes);
                   if (file.status != BoundedRead::Status::ok)
                       continue;
                   try {
                       loaded.insert(id, CatalogDecoder::decode(copy.first, file.bytes));
                   } catch (const ZelvoError &) {
                       // A damaged copy is as good as none; the next refresh replaces it.
                   }
               }
               return loaded;
           })
        .then(this, [this](const Loaded &loaded) {
            for (auto it = loaded.cbegin(); it != loaded.cend(); ++it)
                m_bySource.insert(it.key(), it->apps);
            rebuildRecords();
        });
}

QStringList SourceStore::addressesOf(const CatalogSource &source) const
{
    if (source.kind == CatalogKind::library)
        return {source.url};
    // A mirror may carry only the signed form of the list.
    return {brewApiBase() + QStringLiteral("/api/cask.json"), brewApiBase() + QStringLiteral("/api/cask.jws.json")};
}

QFuture<SourceStore::Fetched> SourceStore::fetch(const QStringList &addresses, const CatalogSource &source,
                                                 bool conditional)
{
    if (addresses.isEmpty())
        return failed<Fetched>(QStringLiteral("地址无效"));
    const QString address = addresses.first();
    const QUrl url(address, QUrl::StrictMode);
    if (!isWebAddress(address) || !url.isValid())
        return failed<Fetched>(UrlError::badUrl(address).localizedDescription());

    QNetworkRequest request(url);
    request.setTransferTimeout(idleTimeoutMs);
    if (conditional && source.fetchedFrom == address) {
        if (!source.etag.isEmpty())
            request.setRawHeader("If-None-Match", source.etag.toUtf8());
        if (!source.lastModified.isEmpty())
            request.setRawHeader("If-Modified-Since", source.lastModified.toUtf8());
    }
    QNetworkReply *reply = m_network->get(request);
    reply->setReadBufferSize(replyReadBuffer);

    auto promise = std::make_shared<QPromise<Fetched>>();
    promise->start();
    auto body = BoundedBody::attach(reply, CatalogDecoder::maxCatalogBytes);
    QPointer<SourceStore> self(this);
    connect(reply, &QNetworkReply::finished, this,
            [self, reply, promise, body, addresses, source, conditional] {
                reply->deleteLater();
                const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                const auto fail = [&promise](const QString &reason) {
                    promise->setException(ZelvoError(reason));
                    promise->finish();
                };
                if (body->tooLarge())
                    return fail(QStringLiteral("内容超过 %1 MB，不像应用目录").arg(CatalogDecoder::maxCatalogBytes >> 20));
                if (status == 404 && addresses.size() > 1 && self) {
                    self->fetch(addresses.mid(1), source, conditional)
                        .then([promise](const Fetched &next) {
                            promise->addResult(next);
                            promise->finish();
                        })
                        .onFailed([promise](const ZelvoError &error) {
                            promise->setException(error);
                            promise->finish();
                        });
                    return;
                }
                if (status != 200 && status != 304) {
                    if (status > 0)
                        return fail(UrlError::badServerResponse(status).localizedDescription());
                    return fail(UrlError::describe(*reply));
                }
                if (reply->error() != QNetworkReply::NoError)
                    return fail(UrlError::describe(*reply));
                body->take();
                const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
                if (status == 200 && announced.isValid() && announced.toLongLong() != body->bytes().size())
                    return fail(QStringLiteral("内容不完整，下载被中断"));
                Fetched fetched{status, body->bytes(), QString::fromUtf8(reply->rawHeader("ETag")),
                                QString::fromUtf8(reply->rawHeader("Last-Modified")), addresses.first()};
                promise->addResult(std::move(fetched));
                promise->finish();
            });
    return promise->future();
}

QFuture<void> SourceStore::refresh(const QString &sourceId)
{
    const auto found = source(sourceId);
    if (!found)
        return failed<void>(QStringLiteral("没有这个软件源：%1").arg(sourceId));
    if (m_refreshing.contains(sourceId))
        return failed<void>(QStringLiteral("正在刷新「%1」").arg(found->name));
    m_refreshing.insert(sourceId);
    Q_EMIT sourcesChanged();

    const QString path = copyPath(sourceId);
    const CatalogKind kind = found->kind;
    const bool haveCopy = QFile::exists(path);
    auto finishWith = [this, sourceId](const std::function<void(CatalogSource &)> &change) {
        m_refreshing.remove(sourceId);
        if (auto current = source(sourceId)) {
            change(*current);
            setSource(*current);
        } else {
            Q_EMIT sourcesChanged();
        }
    };
    return fetch(addressesOf(*found), *found, haveCopy)
        .then(this,
              [this, sourceId, path, kind, finishWith](const Fetched &fetched) -> QFuture<void> {
                  if (sourceId == brewSourceId())
                      m_suggested.reset();
                  if (fetched.status == 304) {
                      finishWith([](CatalogSource &source) {
                          source.checkedAt = QDateTime::currentDateTimeUtc();
                          source.error.clear();
                      });
                      return QtFuture::makeReadyFuture();
                  }
                  return QtConcurrent::run([kind, path, bytes = fetched.body] {
                             Decoded decoded{CatalogDecoder::decode(kind, bytes), {}};
                             try {
                                 QDir().mkpath(QFileInfo(path).absolutePath());
                                 DurableFile::write(path, bytes);
                             } catch (const ZelvoError &error) {
                                 decoded.writeError = error.localizedDescription();
                             }
                             return decoded;
                         })
                      .then(this, [this, sourceId, fetched, finishWith](const Decoded &decoded) {
                          setRecords(sourceId, decoded.catalog.apps);
                          finishWith([&](CatalogSource &source) {
                              source.checkedAt = QDateTime::currentDateTimeUtc();
                              // Validators of a copy that never reached the disk would
                              // make the next refresh keep what is not there.
                              source.etag = decoded.writeError.isEmpty() ? fetched.etag : QString();
                              source.lastModified = decoded.writeError.isEmpty() ? fetched.lastModified : QString();
                              source.fetchedFrom = fetched.address;
                              source.recordCount = int(decoded.catalog.apps.size());
                              source.skipped = decoded.catalog.skipped;
                              source.error = decoded.writeError.isEmpty()
                                                 ? QString()
                                                 : QStringLiteral("无法保存本地副本：") + decoded.writeError;
                              if (decoded.catalog.homepage)
                                  source.homepage = decoded.catalog.homepage;
                          });
                      });
              })
        .unwrap()
        .onFailed(this, [this, kind, finishWith](const ZelvoError &error) {
            finishWith([&](CatalogSource &source) { source.error = error.localizedDescription(); });
            if (kind == CatalogKind::brewCasks)
                suggestAnsweringBase();
            error.raise();
        });
}

void SourceStore::startBackgroundRefresh()
{
    if (!m_timer) {
        m_timer = new QTimer(this);
        m_timer->setInterval(std::chrono::hours(1));
        connect(m_timer, &QTimer::timeout, this, &SourceStore::refreshStale);
        m_timer->start();
    }
    refreshStale();
}

void SourceStore::refreshStale()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const auto &source : m_sources) {
        if (source.checkedAt && source.checkedAt->secsTo(now) < std::chrono::seconds(refreshInterval).count())
            continue;
        // The failure is on the source for the screens; nobody waits for this one.
        refresh(source.id).onFailed([](const ZelvoError &) {});
    }
}

QFuture<CatalogSource> SourceStore::subscribe(const QString &address)
{
    const QString url = address.trimmed();
    if (!isWebAddress(url))
        return failed<CatalogSource>(QStringLiteral("请输入以 https:// 开头的目录地址"));
    const QString id = QStringLiteral("catalog-") +
                       QString::fromLatin1(QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha1).toHex().left(10));
    if (const auto existing = source(id))
        return failed<CatalogSource>(QStringLiteral("已订阅过这个地址：%1").arg(existing->name));
    CatalogSource draft;
    draft.id = id;
    draft.url = url;
    draft.name = QUrl(url).host();
    const QString path = copyPath(id);
    return fetch({url}, draft, false)
        .then(this,
              [this, draft, path](const Fetched &fetched) {
                  return QtConcurrent::run([path, bytes = fetched.body] {
                             auto catalog = CatalogDecoder::decode(CatalogKind::library, bytes);
                             QDir().mkpath(QFileInfo(path).absolutePath());
                             DurableFile::write(path, bytes);
                             return catalog;
                         })
                      .then(this, [this, draft, fetched](const DecodedCatalog &catalog) {
                          CatalogSource source = draft;
                          source.name = catalog.name.value_or(draft.name);
                          source.homepage = catalog.homepage;
                          source.etag = fetched.etag;
                          source.lastModified = fetched.lastModified;
                          source.fetchedFrom = fetched.address;
                          source.checkedAt = QDateTime::currentDateTimeUtc();
                          source.recordCount = int(catalog.apps.size());
                          source.skipped = catalog.skipped;
                          m_bySource.insert(source.id, catalog.apps);
                          setSource(source);
                          rebuildRecords();
                          return source;
                      });
              })
        .unwrap();
}

bool SourceStore::remove(const QString &sourceId)
{
    const auto before = m_sources.size();
    m_sources.removeIf([&sourceId](const CatalogSource &source) { return source.id == sourceId; });
    if (m_sources.size() == before)
        return false;
    QFile::remove(copyPath(sourceId));
    m_bySource.remove(sourceId);
    writeSettings();
    Q_EMIT sourcesChanged();
    rebuildRecords();
    return true;
}

void SourceStore::suggestAnsweringBase()
{
    QList<BrewApiBase> others;
    for (const auto &base : m_bases)
        if (base.url != brewApiBase())
            others.append(base);
    // Asked all at once; the first in list order that answers is offered.
    auto answers = std::make_shared<QList<bool>>(others.size(), false);
    auto remaining = std::make_shared<int>(int(others.size()));
    const QString failedBase = brewApiBase();
    for (int i = 0; i < others.size(); ++i) {
        QNetworkRequest request(QUrl(others.at(i).url + QStringLiteral("/api/cask.jws.json")));
        request.setTransferTimeout(15000);
        QNetworkReply *reply = m_network->head(request);
        connect(reply, &QNetworkReply::finished, this, [this, reply, i, others, answers, remaining, failedBase] {
            reply->deleteLater();
            (*answers)[i] = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
            if (--*remaining > 0 || brewApiBase() != failedBase)
                return;
            for (int j = 0; j < others.size(); ++j) {
                if (answers->at(j)) {
                    m_suggested = others.at(j);
                    Q_EMIT sourcesChanged();
                    return;
                }
            }
        });
    }
}
