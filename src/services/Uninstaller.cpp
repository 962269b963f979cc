#include "Uninstaller.h"

#include <QCoreApplication>
#include <QPointer>
#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>

#include "models/ZelvoError.h"
#include "services/AppStoreService.h"
#include "services/BrewService.h"
#include "services/ConsoleLine.h"
#include "services/InstalledDetector.h"

namespace {

struct Removed
{
    QStringList failures;
    InstalledAppMap installed;
};

using Promise = std::shared_ptr<QPromise<QStringList>>;

// The error's own text reaches the caller, whatever its type.
auto failWith(Promise promise)
{
    return [promise](const std::exception &error) {
        promise->setException(ZelvoError(errorText(error)));
        promise->finish();
    };
}

} // namespace

Uninstaller::Uninstaller(AppStoreService &store, BrewService &brew, Caskroom caskroom, UninstallService service,
                         QObject *parent)
    : QObject(parent), m_store(store), m_brew(brew), m_caskroom(std::move(caskroom)), m_service(std::move(service)),
      m_console(printConsoleLine)
{
}

QFuture<QStringList> Uninstaller::findLeftovers(const QString &caskToken) const
{
    return QtConcurrent::run([caskroom = m_caskroom, service = m_service, caskToken] {
        const auto cask = caskroom.installedCask(caskToken);
        return cask ? service.leftovers(*cask) : QStringList();
    });
}

QFuture<QStringList> Uninstaller::uninstall(const QString &bundlePath, const std::optional<QString> &caskToken,
                                            const QStringList &leftovers)
{
    auto promise = std::make_shared<QPromise<QStringList>>();
    promise->start();
    const InstalledDetector &detector = m_store.detector();
    const UninstallService service = m_service;
    // The leftovers go and the scan runs once the app itself is gone.
    const auto finish = [promise, service, leftovers, &detector](bool trashBundle, const QString &bundle) {
        return QtConcurrent::run([=, &detector] {
            if (trashBundle)
                service.trashBundle(bundle);
            return Removed{service.trashLeftovers(leftovers), detector.scanInstalledApps()};
        });
    };
    QPointer<Uninstaller> self(this);
    const auto publish = [self, promise](QFuture<Removed> removed) {
        removed.then(QCoreApplication::instance(), [self, promise](Removed result) {
                   if (self)
                       self->m_store.setInstalledAppMap(std::move(result.installed));
                   promise->addResult(result.failures);
                   promise->finish();
               })
            .onFailed(QCoreApplication::instance(), failWith(promise));
    };
    if (!caskToken) {
        publish(finish(true, bundlePath));
        return promise->future();
    }
    // brew would remove a running app's bundle from under it: the check comes first.
    QtConcurrent::run([service, bundlePath] { service.checkRemovable(bundlePath); })
        .then(QCoreApplication::instance(),
              [self, promise, token = *caskToken, finish, publish, bundlePath] {
                  if (!self) {
                      promise->finish();
                      return;
                  }
                  self->m_brew
                      .uninstallViaBrew(token,
                                        [self](const QString &chunk) {
                                            if (self)
                                                self->m_console(QStringLiteral("Brew output: ") + chunk);
                                        })
                      .then(QCoreApplication::instance(),
                            [finish, publish, bundlePath] { publish(finish(false, bundlePath)); })
                      .onFailed(QCoreApplication::instance(), failWith(promise));
              })
        .onFailed(QCoreApplication::instance(), failWith(promise));
    return promise->future();
}
