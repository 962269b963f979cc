#include <QAbstractItemModelTester>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "services/AppStoreService.h"
#include "services/BrewService.h"
#include "services/DownloadManager.h"
#include "services/InstalledDetector.h"
#include "services/InstallerService.h"
#include "services/NginxIndexParser.h"
#include "support/TestFolders.h"
#include "views/AppContext.h"
#include "views/AppListFilterProxy.h"
#include "views/AppListModel.h"
#include "views/AppListView.h"
#include "views/components/AppCardDelegate.h"
#include "views/components/ChipButton.h"
#include "views/components/SymbolButton.h"
#include "views/components/ThemeFont.h"

namespace {

AppItem record(const QString &id, const QString &name, std::optional<QString> chinese, const QString &category,
               const QString &summary = QStringLiteral("摘要"), const QString &description = QStringLiteral("描述"))
{
    AppItem app;
    app.id = id;
    app.name = name;
    app.chineseName = std::move(chinese);
    app.bundleId = QStringLiteral("com.example.") + id;
    app.category = category;
    app.summary = summary;
    app.description = description;
    app.currentVersion = QStringLiteral("2.0");
    app.packageType = PackageType::dmg;
    app.downloadUrl = QStringLiteral("http://127.0.0.1:9/%1.dmg").arg(id);
    return app;
}

QStringList ids(const QList<AppItem> &apps)
{
    QStringList list;
    for (const auto &app : apps)
        list << app.id;
    return list;
}

QStringList visibleTexts(const QWidget *widget)
{
    QStringList texts;
    for (const QLabel *label : widget->findChildren<QLabel *>())
        if (label->isVisibleTo(widget->window()) && !label->text().isEmpty())
            texts << label->text();
    return texts;
}

// The real services over one temporary home.
struct Services
{
    QTemporaryDir root;
    QSettings settings{root.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    InstalledDetector detector{{root.filePath(QStringLiteral("Applications"))}};
    AppStoreService store{root.filePath(QStringLiteral("library")), detector};
    DownloadManager downloads{root.filePath(QStringLiteral("cache"))};
    InstallerService installer{root.filePath(QStringLiteral("Applications"))};
    BrewService brew{QStringLiteral("http://127.0.0.1:9"), {root.filePath(QStringLiteral("bin/brew"))}};
    NginxIndexParser scraper;
    AppContext context{store, downloads, installer, brew, scraper, FontScaleManager::shared()};

    QString apps() const { return root.filePath(QStringLiteral("Applications")); }
    void setLibrary(const QList<AppItem> &apps)
    {
        for (const auto &app : store.apps())
            store.removeApp(app.id);
        for (const auto &app : apps)
            store.saveAppItem(app);
    }
    // A bundle of the record's id and this version, then a fresh scan.
    void install(const QString &id, const QString &version)
    {
        TestFolders::makeBundle(this->apps(), id, QStringLiteral("com.example.") + id, version);
        store.refreshInstalledStatus();
    }
};

QList<AppItem> library()
{
    return {record(QStringLiteral("google-chrome"), QStringLiteral("Google Chrome"), QStringLiteral("谷歌浏览器"),
                   QStringLiteral("网络浏览器"), QStringLiteral("快速浏览器"), QStringLiteral("rarewordonlyhere")),
            record(QStringLiteral("vscode"), QStringLiteral("Code"), std::nullopt, QStringLiteral("开发工具"),
                   QStringLiteral("editor")),
            record(QStringLiteral("iterm2"), QStringLiteral("iTerm2"), QStringLiteral("终端"),
                   QStringLiteral("开发工具"), QStringLiteral("a terminal")),
            record(QStringLiteral("wechat"), QStringLiteral("WeChat"), QStringLiteral("微信"),
                   QStringLiteral("通讯社交"), QStringLiteral("聊天"))};
}

} // namespace

class TestAppListView final : public QObject
{
    Q_OBJECT

    std::unique_ptr<Services> m_services;

    std::unique_ptr<AppListView> makeView(bool installedOnly)
    {
        auto view = std::make_unique<AppListView>(m_services->context, installedOnly);
        view->resize(900, 640);
        view->show();
        return view;
    }

private Q_SLOTS:
    void init()
    {
        m_services = std::make_unique<Services>();
        m_services->setLibrary(library());
    }
    void cleanup() { m_services.reset(); }
};

QTEST_MAIN(TestAppListView)
#include "tst_AppListView.moc"
