#include "CliContext.h"

#include <QNetworkAccessManager>

#include "services/AppStoreService.h"
#include "services/InstalledDetector.h"

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
