#include <QtTest>

#include "services/CatalogFilter.h"
#include "support/TestRecords.h"

namespace {

AppItem app(const QString &id, const QString &name, std::optional<QString> chinese, const QString &category,
            const QString &summary, const QString &description = "描述")
{
    return {.id = id, .name = name, .chineseName = std::move(chinese), .category = category, .summary = summary,
            .description = description, .currentVersion = "2.0"};
}

QList<AppItem> library()
{
    return {app("google-chrome", "Google Chrome", "谷歌浏览器", "网络浏览器", "快速浏览器", "Unique words here"),
            app("vscode", "Code", std::nullopt, "开发工具", "editor for code"),
            app("iterm2", "iTerm2", QString(), "开发工具", "终端")};
}

using TestRecords::ids;

} // namespace

class TestCatalogFilter final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void categories()
    {
        QCOMPARE(CatalogFilter::allCategories(library()), QStringList({"全部", "开发工具", "网络浏览器"}));
        QCOMPARE(CatalogFilter::allCategories({}), QStringList({"全部"}));
        // Plain code-point order: "Z" (U+005A) before "a", and a supplementary
        // character after everything in the basic plane.
        auto apps = library();
        apps << app(QStringLiteral("1"), QStringLiteral("n"), {}, QStringLiteral("a"), {})
             << app(QStringLiteral("2"), QStringLiteral("n"), {}, QStringLiteral("Z"), {})
             << app(QStringLiteral("3"), QStringLiteral("n"), {}, QString::fromUcs4(U"\U0002000B"), {})
             << app(QStringLiteral("4"), QStringLiteral("n"), {}, QString::fromUcs4(U"\uFF21"), {})
             << app(QStringLiteral("5"), QStringLiteral("n"), {}, QStringLiteral("全部"), {});
        QCOMPARE(CatalogFilter::allCategories(apps),
                 QStringList({"全部", "Z", "a", "开发工具", "网络浏览器", QString::fromUcs4(U"\uFF21"),
                              QString::fromUcs4(U"\U0002000B")}));
    }

    void filtering_data()
    {
        QTest::addColumn<bool>("onlyInstalled");
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("everything") << false << "全部" << "" << QStringList({"google-chrome", "vscode", "iterm2"});
        QTest::newRow("category") << false << "开发工具" << "" << QStringList({"vscode", "iterm2"});
        QTest::newRow("upper-case id search") << false << "全部" << "CHROME" << QStringList({"google-chrome"});
        QTest::newRow("chinese name") << false << "全部" << "谷歌" << QStringList({"google-chrome"});
        QTest::newRow("summary") << false << "全部" << "EDITOR" << QStringList({"vscode"});
        QTest::newRow("description not searched") << false << "全部" << "unique" << QStringList();
        QTest::newRow("category not searched") << false << "全部" << "开发" << QStringList();
        QTest::newRow("one space is a search") << false << "全部" << " " << QStringList({"google-chrome", "vscode"});
        QTest::newRow("category and search") << false << "网络浏览器" << "code" << QStringList();
        QTest::newRow("installed only") << true << "全部" << "" << QStringList({"google-chrome", "iterm2"});
        QTest::newRow("installed and category") << true << "开发工具" << "" << QStringList({"iterm2"});
    }

    void filtering()
    {
        QFETCH(bool, onlyInstalled);
        QFETCH(QString, category);
        QFETCH(QString, search);
        QFETCH(QStringList, expected);
        InstalledAppMap installed;
        installed.insert(QStringLiteral("google chrome"), {QStringLiteral("Chrome"), {}, QStringLiteral("2.0"), QStringLiteral("/A/Google Chrome.app")});
        installed.insert(QStringLiteral("iterm2"), {QStringLiteral("iTerm"), {}, QStringLiteral("1.0"), QStringLiteral("/A/iTerm2.app")}); // outdated still counts
        const CatalogFilter filter{onlyInstalled, category, search};
        QCOMPARE(ids(filter.apply(library(), installed)), expected);
    }
};

QTEST_GUILESS_MAIN(TestCatalogFilter)
#include "tst_CatalogFilter.moc"
