// Compiled into every test executable. CTest already points the library,
// the package cache and the settings file into the test's own folder; a test
// started by hand gets a folder of its own too, so no run ever reaches the
// developer's real data, whatever the platform's standard folders are.
#include <QDir>
#include <QTemporaryDir>

namespace {

struct UserDataGuard
{
    QTemporaryDir home;

    UserDataGuard()
    {
        const std::pair<const char *, const char *> variables[] = {
            {"ZELVO_LIBRARY_DIR", "library"}, {"ZELVO_CACHE_DIR", "cache"}, {"ZELVO_SETTINGS_FILE", "settings.ini"}};
        for (const auto &[variable, name] : variables) {
            if (qEnvironmentVariableIsEmpty(variable))
                qputenv(variable, QDir(home.path()).filePath(QLatin1String(name)).toLocal8Bit());
        }
        // What a test moves to the Trash lands in a Trash of its own.
        const QString share = QDir(home.path()).filePath(QLatin1String("share"));
        QDir().mkpath(share);
        qputenv("XDG_DATA_HOME", share.toLocal8Bit());
    }
};

const UserDataGuard guard;

} // namespace
