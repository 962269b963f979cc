#include "BenchServices.h"

#include <QDir>
#include <QFile>

namespace Bench {

QList<AppItem> makeLibrary(int count)
{
    static const char *const words[] = {"Chrome", "Studio", "Player", "Notes", "Terminal", "Mail", "Docker", "Code"};
    static const char *const categories[] = {"网络浏览器", "开发工具", "通讯社交", "效率办公", "影音视听", "系统工具"};
    static const char *const packages[] = {"dmg", "pkg", "zip"};
    QList<AppItem> apps;
    apps.reserve(count);
    for (int i = 0; i < count; ++i) {
        AppItem app;
        app.id = QStringLiteral("app-%1").arg(i, 5, 10, QLatin1Char('0'));
        app.name = QStringLiteral("%1 %2").arg(QLatin1String(words[i % 8])).arg(i);
        if (i % 3 != 0)
            app.chineseName = QStringLiteral("应用%1号").arg(i);
        app.bundleId = QStringLiteral("com.example.") + app.id;
        app.category = QString::fromUtf8(categories[i % 6]);
        app.summary = QStringLiteral("第 %1 个示例应用，用于衡量列表的速度与内存").arg(i);
        app.description = QStringLiteral("一段较长的描述文字，说明这个应用做什么、适合谁、有哪些特点。").repeated(4);
        app.sourceType = i % 4 == 0 ? AppSourceType::brew : AppSourceType::direct;
        app.currentVersion = QStringLiteral("%1.%2.%3").arg(i % 20).arg(i % 7).arg(i % 11);
        app.packageType = *packageTypeFromRaw(QLatin1String(packages[i % 3]));
        app.downloadUrl = QStringLiteral("https://example.invalid/%1.%2").arg(app.id, QLatin1String(packages[i % 3]));
        apps.append(app);
    }
    return apps;
}

void writeLibrary(const QString &libraryFolder, const QList<AppItem> &apps)
{
    QDir().mkpath(libraryFolder);
    QFile library(QDir(libraryFolder).filePath(QStringLiteral("apps.json")));
    if (!library.open(QIODevice::WriteOnly) || library.write(AppItem::listToJson(apps)) < 0)
        qFatal("cannot write the library");
}

Services::Services(const QString &home)
    : settings(QDir(home).filePath(QStringLiteral("settings.ini")), QSettings::IniFormat),
      detector({QDir(home).filePath(QStringLiteral("Applications"))}),
      store(QDir(home).filePath(QStringLiteral("library")), detector),
      downloads(QDir(home).filePath(QStringLiteral("cache"))),
      installer(QDir(home).filePath(QStringLiteral("Applications")), QDir(home).filePath(QStringLiteral("tmp"))),
      brew(QStringLiteral("http://127.0.0.1:9"), {QDir(home).filePath(QStringLiteral("no-brew"))}),
      icons(QDir(home).filePath(QStringLiteral("icons"))), sources(QDir(home).filePath(QStringLiteral("library")))
{
}

} // namespace Bench
