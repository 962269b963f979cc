#pragma once

#include <QFuture>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "services/Caskroom.h"
#include "services/UninstallService.h"

class AppStoreService;
class BrewService;

// Removes one installed app: a bundle Homebrew installed through
// `brew uninstall --cask`, any other to the Trash, then the leftovers the
// user chose, then a fresh scan for the store. The running check comes
// first, so a running app is never half removed. Main thread only; the file
// work runs on the pool.
class Uninstaller final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Uninstaller)

public:
    using ConsoleSink = std::function<void(const QString &line)>;

    Uninstaller(AppStoreService &store, BrewService &brew, Caskroom caskroom, UninstallService service,
                QObject *parent = nullptr);

    // The leftovers the cask's zap stanza names that exist and may go, read
    // from the cask definition Homebrew kept (none without one).
    QFuture<QStringList> findLeftovers(const QString &caskToken) const;

    // Finishes with the texts of leftovers that could not be moved (the app
    // itself is gone by then); fails with a ZelvoError or BrewError when the
    // app stays.
    QFuture<QStringList> uninstall(const QString &bundlePath, const std::optional<QString> &caskToken,
                                   const QStringList &leftovers);

    void setConsole(ConsoleSink sink) { m_console = std::move(sink); }
    const UninstallService &service() const { return m_service; }

private:
    AppStoreService &m_store;
    BrewService &m_brew;
    Caskroom m_caskroom;
    UninstallService m_service;
    ConsoleSink m_console;
};
