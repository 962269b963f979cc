#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QtTest>

#include "services/AppStoreService.h"
#include "services/InstalledDetector.h"
#include "services/NginxIndexParser.h"
#include "support/TestFolders.h"
#include "support/TestHttpServer.h"
#include "views/CustomFormImportSection.h"
#include "views/components/ChipButton.h"
#include "views/components/MessageLine.h"

namespace {

QByteArray listing(const QStringList &hrefs)
{
    QByteArray page = "<html><head><title>Index of /releases/</title></head><body><pre><a href=\"../\">../</a>\n";
    for (const auto &href : hrefs)
        page += "<a href=\"" + href.toUtf8() + "\">" + href.toUtf8() + "</a>  06-Dec-2026 10:00  1234\n";
    return page + "</pre></body></html>\n";
}

} // namespace

class TestCustomFormImportSection final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    InstalledDetector m_detector{QStringList{}};
    TestHttpServer m_server;
    std::unique_ptr<NginxIndexParser> m_scraper;
    std::unique_ptr<AppStoreService> m_store;
    std::unique_ptr<CustomFormImportSection> m_form;

    QString libraryFolder() const { return m_dir.filePath(QStringLiteral("lib")); }
    QLineEdit *field(const char *name) const { return m_form->findChild<QLineEdit *>(QString::fromLatin1(name)); }
    QPushButton *button(const char *name) const { return m_form->findChild<QPushButton *>(QString::fromLatin1(name)); }
    void type(const char *name, const QString &text)
    {
        field(name)->clear();
        // Key clicks carry Latin-1 only; other text arrives as an input-method commit would.
        const bool latin1 = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
        if (latin1)
            QTest::keyClicks(field(name), text);
        else
            field(name)->insert(text);
    }
    void click(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    QStringList chipTexts() const
    {
        QStringList texts;
        const auto *strip = m_form->findChild<QScrollArea *>(QStringLiteral("versionChips"));
        for (const auto *chip : strip->widget()->findChildren<ChipButton *>())
            texts << chip->text();
        return texts;
    }
    ChipButton *chip(const QString &text) const
    {
        for (auto *chip : m_form->findChildren<ChipButton *>()) {
            if (chip->text() == text)
                return chip;
        }
        return nullptr;
    }
    QString tipText() const
    {
        const auto *line = m_form->findChild<MessageLine *>(QStringLiteral("tipLine"));
        return line->isVisible() ? line->text() : QString();
    }

    void fetch(const QString &listingUrl)
    {
        field("versionListField")->setText(listingUrl);
        click("fetchButton");
        QVERIFY(m_form->isParsingNginx());
        QVERIFY(!button("fetchButton")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!m_form->isParsingNginx(), 20000);
        QVERIFY(button("fetchButton")->isEnabled());
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(libraryFolder());
        m_scraper = std::make_unique<NginxIndexParser>(nullptr, 5000);
        m_store = std::make_unique<AppStoreService>(libraryFolder(), m_detector);
        m_form = std::make_unique<CustomFormImportSection>(*m_store, *m_scraper);
        m_form->resize(720, 1000);
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }

    void cleanup()
    {
        m_form.reset();
        m_store.reset();
        m_scraper.reset();
    }

    void onlyIdAndNameMakeADirectRecord()
    {
        type("idField", QStringLiteral("myapp"));
        type("nameField", QStringLiteral("MyApp"));
        click("saveButton");

        AppItem expected;
        expected.id = QStringLiteral("myapp");
        expected.name = QStringLiteral("MyApp");
        expected.category = QStringLiteral("开发工具");
        expected.sourceType = AppSourceType::direct;
        expected.currentVersion = QStringLiteral("1.0.0");
        expected.packageType = PackageType::dmg;
        QCOMPARE(m_store->apps().first(), expected);
        QCOMPARE(AppItem::listFromJson(TestFolders::readFile(m_store->storageFilePath())).first(), expected);
        QCOMPARE(tipText(), QStringLiteral("应用「MyApp」已成功录入应用库！"));
        // The form stays filled for a correction.
        QCOMPARE(field("idField")->text(), QStringLiteral("myapp"));
        QCOMPARE(field("nameField")->text(), QStringLiteral("MyApp"));
    }

    void saveNeedsIdAndName_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("id of spaces") << QStringLiteral("   ") << QStringLiteral("N") << false;
        QTest::newRow("name of spaces and tabs") << QStringLiteral("a") << QStringLiteral(" \t ") << false;
        QTest::newRow("both filled") << QStringLiteral("a") << QStringLiteral("N") << true;
        QTest::newRow("padded") << QStringLiteral(" a ") << QStringLiteral("\tN") << true;
    }
    void saveNeedsIdAndName()
    {
        QFETCH(QString, id);
        QFETCH(QString, name);
        QFETCH(bool, enabled);
        field("idField")->setText(id);
        field("nameField")->setText(name);
        QCOMPARE(button("saveButton")->isEnabled(), enabled);
        const auto before = m_store->apps();
        m_form->saveCustomApp();
        QCOMPARE(m_store->apps() == before, !enabled);
    }

    void fieldsMapOntoTheRecord()
    {
        type("idField", QStringLiteral("myapp \t"));
        type("nameField", QStringLiteral("  MyApp "));
        type("chineseNameField", QStringLiteral("效率神器"));
        m_form->findChild<QComboBox *>(QStringLiteral("categoryPicker"))->setCurrentIndex(6);
        type("versionPatternField", QStringLiteral("https://dl.example.com/v{version}/MyApp.zip"));
        type("versionListField", QStringLiteral("https://mirror.example.org/myapp/releases/"));
        type("currentVersionField", QStringLiteral(" 2.0 "));
        type("directDownloadField", QStringLiteral("https://dl.example.com/MyApp.pkg"));
        type("summaryField", QStringLiteral(" 简述 "));
        type("descriptionField", QStringLiteral("介绍"));
        click("saveButton");

        const AppItem app = m_store->apps().first();
        QCOMPARE(app.id, QStringLiteral("myapp"));
        QCOMPARE(app.name, QStringLiteral("MyApp"));
        QCOMPARE(app.chineseName, std::optional<QString>(QStringLiteral("效率神器")));
        QCOMPARE(app.category, QStringLiteral("图形设计"));
        // A listing address alone makes the record a version-list one.
        QCOMPARE(app.sourceType, AppSourceType::customList);
        QCOMPARE(app.versionListUrl, std::optional<QString>(QStringLiteral("https://mirror.example.org/myapp/releases/")));
        QCOMPARE(app.versionPatternUrl, std::optional<QString>(QStringLiteral("https://dl.example.com/v{version}/MyApp.zip")));
        QCOMPARE(app.currentVersion, QStringLiteral(" 2.0 "));
        QCOMPARE(app.downloadUrl, std::optional<QString>(QStringLiteral("https://dl.example.com/MyApp.pkg")));
        QCOMPARE(app.packageType, PackageType::dmg);
        QCOMPARE(app.summary, QStringLiteral(" 简述 "));
        QCOMPARE(app.description, QStringLiteral("介绍"));
        QVERIFY(!app.versions);
        QCOMPARE(tipText(), QStringLiteral("应用「效率神器」已成功录入应用库！"));

        // Saving again replaces the record in place.
        type("descriptionField", QStringLiteral("更正"));
        click("saveButton");
        QCOMPARE(m_store->apps().first().description, QStringLiteral("更正"));
        QCOMPARE(std::count_if(m_store->apps().cbegin(), m_store->apps().cend(),
                               [](const AppItem &a) { return a.id == QLatin1String("myapp"); }),
                 1);
    }

    void chineseNameOfSpacesIsKept()
    {
        type("idField", QStringLiteral("x"));
        type("nameField", QStringLiteral("X"));
        type("chineseNameField", QStringLiteral("   "));
        click("saveButton");
        QCOMPARE(m_store->apps().first().chineseName, std::optional<QString>(QStringLiteral("   ")));
        QCOMPARE(tipText(), QStringLiteral("应用「   」已成功录入应用库！"));
    }

    void fetchFillsTheForm_data()
    {
        QTest::addColumn<QStringList>("hrefs");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("directUrlPath"); // a path on the test server, an address, or empty
        QTest::addColumn<QStringList>("chips");

        QTest::newRow("package files") << QStringList{QStringLiteral("MyApp-1.9.0.dmg"), QStringLiteral("MyApp-1.10.0.dmg")}
                                       << QString() << QStringLiteral("1.10.0")
                                       << QStringLiteral("/releases/MyApp-1.10.0.dmg")
                                       << QStringList{QStringLiteral("v1.10.0"), QStringLiteral("v1.9.0")};
        QTest::newRow("folders and a template")
            << QStringList{QStringLiteral("2.0.0/"), QStringLiteral("2.0.1/")}
            << QStringLiteral("https://dl.example.com/download/v{version}/MyApp-{version}.dmg") << QStringLiteral("2.0.1")
            << QStringLiteral("https://dl.example.com/download/v2.0.1/MyApp-2.0.1.dmg")
            << QStringList{QStringLiteral("v2.0.1"), QStringLiteral("v2.0.0")};
        QTest::newRow("folders without addresses")
            << QStringList{QStringLiteral("3.1/")} << QString() << QStringLiteral("3.1") << QString()
            << QStringList{QStringLiteral("v3.1")};
        QTest::newRow("nothing usable") << QStringList{QStringLiteral("readme.txt")} << QString()
                                        << QStringLiteral("1.0.0") << QString() << QStringList{};
    }
    void fetchFillsTheForm()
    {
        QFETCH(QStringList, hrefs);
        QFETCH(QString, pattern);
        QFETCH(QString, version);
        QFETCH(QString, directUrlPath);
        QFETCH(QStringList, chips);
        m_server.routeBody(QStringLiteral("/releases/"), listing(hrefs), "text/html");
        type("versionPatternField", pattern);
        fetch(m_server.url(QStringLiteral("/releases/")).toString());

        const QString directUrl = directUrlPath.startsWith(u'/') ? m_server.url(directUrlPath).toString() : directUrlPath;
        QCOMPARE(field("currentVersionField")->text(), version);
        QCOMPARE(field("directDownloadField")->text(), directUrl);
        QCOMPARE(tipText(), QStringLiteral("成功解析出 %1 个版本！已自动选取最新版本 %2。").arg(chips.size()).arg(version));
        QCOMPARE(chipTexts(), chips);
        const auto *block = m_form->findChild<QWidget *>(QStringLiteral("versionsBlock"));
        QCOMPARE(block->isVisible(), !chips.isEmpty());
        if (!chips.isEmpty()) {
            QVERIFY(block->findChild<QLabel *>()->text() == QStringLiteral("抓取到的版本列表 (%1 个)：").arg(chips.size()));
        }

        type("idField", QStringLiteral("myapp"));
        type("nameField", QStringLiteral("MyApp"));
        click("saveButton");
        const AppItem app = m_store->apps().first();
        QCOMPARE(app.sourceType, AppSourceType::customList);
        QCOMPARE(app.versions.has_value(), !chips.isEmpty());
        if (app.versions) {
            QCOMPARE(app.versions->size(), chips.size());
            QCOMPARE(app.versions->first().version, version);
            if (!pattern.isEmpty())
                QCOMPARE(app.versions->first().downloadUrl, std::optional<QString>(directUrl));
        }
        QCOMPARE(app.versionPatternUrl.value_or(QString()), pattern);
    }

    void failedFetchKeepsTheChips()
    {
        m_server.routeBody(QStringLiteral("/releases/"),
                           listing({QStringLiteral("MyApp-1.2.0.dmg"), QStringLiteral("MyApp-1.3.0.dmg")}), "text/html");
        fetch(m_server.url(QStringLiteral("/releases/")).toString());
        const QStringList chips = chipTexts();
        QCOMPARE(chips.size(), 2);
        type("currentVersionField", QStringLiteral("9.9"));

        fetch(m_server.url(QStringLiteral("/missing/")).toString());
        QVERIFY2(tipText().startsWith(QStringLiteral("抓取版本失败: ")), qPrintable(tipText()));
        QVERIFY(tipText().size() > QStringLiteral("抓取版本失败: ").size());
        QCOMPARE(chipTexts(), chips);
        QCOMPARE(m_form->parsedVersions().size(), 2);
        QCOMPARE(field("currentVersionField")->text(), QStringLiteral("9.9"));

        // An address that is no URL fails too, and the form stays usable.
        field("versionListField")->setText(QStringLiteral("not a url"));
        click("fetchButton");
        QTRY_VERIFY(!m_form->isParsingNginx());
        QVERIFY(tipText().startsWith(QStringLiteral("抓取版本失败: ")));
        QCOMPARE(chipTexts(), chips);
    }

    void chipsChooseAVersion()
    {
        m_server.routeBody(QStringLiteral("/mixed/"),
                           listing({QStringLiteral("MyApp-4.0.0.dmg"), QStringLiteral("3.0.0/")}), "text/html");
        fetch(m_server.url(QStringLiteral("/mixed/")).toString());
        type("directDownloadField", QStringLiteral("https://dl.example.com/keep.dmg"));

        QTest::mouseClick(chip(QStringLiteral("v3.0.0")), Qt::LeftButton);
        QCOMPARE(field("currentVersionField")->text(), QStringLiteral("3.0.0"));
        QCOMPARE(field("directDownloadField")->text(), QStringLiteral("https://dl.example.com/keep.dmg"));

        QTest::mouseClick(chip(QStringLiteral("v4.0.0")), Qt::LeftButton);
        QCOMPARE(field("currentVersionField")->text(), QStringLiteral("4.0.0"));
        QCOMPARE(field("directDownloadField")->text(), m_server.url(QStringLiteral("/mixed/MyApp-4.0.0.dmg")).toString());
    }

    void fetchButtonNeedsAnAddress()
    {
        QVERIFY(!button("fetchButton")->isEnabled());
        type("versionListField", QStringLiteral(" "));
        QVERIFY(button("fetchButton")->isEnabled());
    }

    void failedWriteIsReported()
    {
        QVERIFY(QDir(libraryFolder()).removeRecursively());
        TestFolders::writeFile(m_dir.path(), QStringLiteral("lib"), "not a folder");
        type("idField", QStringLiteral("myapp"));
        type("nameField", QStringLiteral("MyApp"));
        click("saveButton");
        QVERIFY2(tipText().startsWith(QStringLiteral("保存失败: ")), qPrintable(tipText()));
        QVERIFY(tipText().size() > QStringLiteral("保存失败: ").size());
    }
};

QTEST_MAIN(TestCustomFormImportSection)
#include "tst_CustomFormImportSection.moc"
