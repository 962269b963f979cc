#include "CliContext.h"

#include <QNetworkAccessManager>

#include "cli/CliOutput.h"
#include "services/AppStoreService.h"
#include "services/BrewService.h"
#include "services/DownloadManager.h"
#include "services/InstalledDetector.h"
#include "services/InstallerService.h"
#include "services/NginxIndexParser.h"
#include "services/SourceStore.h"

CliContext::CliContext(CliEnvironment environment) : m_environment(std::move(environment)) {}

// Members are destroyed in reverse order: services before the network they use.
CliContext::~CliContext() = default;

QNetworkAccessManager &CliContext::network()
{
    if (!m_network)
        m_network = std::make_unique<QNetworkAccessManager>();
    return *m_network;
}

const InstalledDetector &CliContext::detector()
{
    if (!m_detector)
        m_detector = std::make_unique<InstalledDetector>(m_environment.applicationFolders);
    return *m_detector;
}

AppStoreService &CliContext::store()
{
    if (!m_store)
        m_store = std::make_unique<AppStoreService>(m_environment.libraryFolder, detector());
    return *m_store;
}

std::optional<AppItem> CliContext::libraryApp(const QString &id)
{
    std::optional<AppItem> app = store().app(id);
    if (!app)
        CliOutput::err(QStringLiteral("应用库中没有此应用: ") + id);
    return app;
}

BrewService &CliContext::brew()
{
    if (!m_brew)
        m_brew = std::make_unique<BrewService>(
            // The window's choice of API base (a mirror) holds here too, unless the environment says otherwise.
            m_environment.brewApi.isEmpty() ? SourceStore(m_environment.libraryFolder).brewApiBase()
                                            : m_environment.brewApi,
            m_environment.brewPaths.isEmpty() ? BrewService::defaultBrewPaths() : m_environment.brewPaths, &network());
    return *m_brew;
}

DownloadManager &CliContext::downloads()
{
    if (!m_downloads)
        m_downloads = std::make_unique<DownloadManager>(m_environment.cacheFolder);
    return *m_downloads;
}

NginxIndexParser &CliContext::scraper()
{
    if (!m_scraper)
        m_scraper = std::make_unique<NginxIndexParser>(&network());
    return *m_scraper;
}

InstallerService &CliContext::installer()
{
    if (!m_installer)
        m_installer = std::make_unique<InstallerService>(m_environment.installTarget);
    return *m_installer;
}

SourceStore &CliContext::sources()
{
    if (!m_sources) {
        m_sources = std::make_unique<SourceStore>(m_environment.libraryFolder, &network());
        if (!m_environment.brewApi.isEmpty())
            m_sources->overrideBrewApiBase(m_environment.brewApi);
        wait(m_sources->loadCopies());
    }
    return *m_sources;
}

bool CliContext::succeeded(QFuture<void> future, QString &error)
{
    wait(future);
    try {
        future.waitForFinished();
        return true;
    } catch (...) {
        error = errorText(std::current_exception());
        return false;
    }
}
