// Installed scan of 1,000 bundles (half XML, half binary Info.plist of about
// 40 keys), beside a bare libplist parse loop over the same files.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <plist/plist.h>

#include <cstdlib>
#include <unistd.h>

#include "BenchUtil.h"
#include "services/InstalledDetector.h"

namespace {

QByteArray infoPlist(int index, bool binary)
{
    plist_t dict = plist_new_dict();
    auto set = [&](const char *key, const QString &value) {
        plist_dict_set_item(dict, key, plist_new_string(value.toUtf8().constData()));
    };
    set("CFBundleIdentifier", QStringLiteral("com.example.app%1").arg(index));
    set("CFBundleName", QStringLiteral("App %1").arg(index));
    set("CFBundleDisplayName", QStringLiteral("应用 %1").arg(index));
    set("CFBundleShortVersionString", QStringLiteral("1.%1.0").arg(index % 50));
    set("CFBundleVersion", QString::number(1000 + index));
    set("CFBundleExecutable", QStringLiteral("App%1").arg(index));
    set("CFBundleIconFile", QStringLiteral("AppIcon"));
    set("CFBundlePackageType", QStringLiteral("APPL"));
    set("LSMinimumSystemVersion", QStringLiteral("13.0"));
    set("NSHumanReadableCopyright", QStringLiteral("Copyright © 2026 Example Inc. All rights reserved."));
    for (int k = 0; k < 26; ++k)
        set(qPrintable(QStringLiteral("NSExampleUsageDescription%1").arg(k)),
            QStringLiteral("This application needs access to perform feature number %1.").arg(k));
    plist_t types = plist_new_array();
    for (int k = 0; k < 3; ++k) {
        plist_t entry = plist_new_dict();
        plist_dict_set_item(entry, "CFBundleTypeName", plist_new_string("Document"));
        plist_dict_set_item(entry, "CFBundleTypeRole", plist_new_string("Editor"));
        plist_array_append_item(types, entry);
    }
    plist_dict_set_item(dict, "CFBundleDocumentTypes", types);
    plist_dict_set_item(dict, "LSRequiresNativeExecution", plist_new_bool(1));
    plist_dict_set_item(dict, "NSHighResolutionCapable", plist_new_bool(1));
    plist_dict_set_item(dict, "NSSupportsAutomaticTermination", plist_new_bool(1));
    char *data = nullptr;
    uint32_t length = 0;
    binary ? plist_to_bin(dict, &data, &length) : plist_to_xml(dict, &data, &length);
    QByteArray bytes(data, length);
    std::free(data);
    plist_free(dict);
    return bytes;
}

bool dropCaches()
{
    ::sync();
    QFile drop(QStringLiteral("/proc/sys/vm/drop_caches"));
    return drop.open(QIODevice::WriteOnly) && drop.write("3\n") == 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QStringList plists;
    for (int i = 0; i < 1000; ++i) {
        const QString contents = dir.filePath(QStringLiteral("App%1.app/Contents").arg(i));
        QDir().mkpath(contents);
        QFile file(contents + QStringLiteral("/Info.plist"));
        file.open(QIODevice::WriteOnly);
        file.write(infoPlist(i, i % 2 == 1));
        plists << file.fileName();
    }
    InstalledDetector detector({dir.path()});
    const auto rawLoop = [&] {
        for (const auto &path : plists) {
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            const auto bytes = file.readAll();
            plist_t root = nullptr;
            plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &root);
            plist_free(root);
        }
    };
    const auto scan = [&] {
        if (detector.scanInstalledApps().size() != 2000)
            qFatal("scan found the wrong number of bundles");
    };

    const double rawWarm = Bench::medianMs(7, rawLoop);
    const double scanWarm = Bench::medianMs(7, scan);
    Bench::reportRatio(QStringLiteral("installed scan, 1,000 bundles, warm"), scanWarm, rawWarm,
                       QStringLiteral("bare libplist parse loop"), QStringLiteral("≤ 60 ms"));
    if (dropCaches()) {
        const double rawCold = Bench::medianMs(1, rawLoop);
        dropCaches();
        const double scanCold = Bench::medianMs(1, scan);
        Bench::reportRatio(QStringLiteral("installed scan, 1,000 bundles, cold"), scanCold, rawCold,
                           QStringLiteral("bare libplist parse loop, cold"), QStringLiteral("≤ 300 ms"));
    } else {
        Bench::report(QStringLiteral("installed scan, cold"), 0, "-", QStringLiteral("skipped: cannot drop the page cache here"));
    }
    return 0;
}
