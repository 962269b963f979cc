#include <QComboBox>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QtTest>

#include "services/AppStoreService.h"
#include "support/TestFolders.h"
#include "support/TestServices.h"
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

    std::unique_ptr<TestServices> m_rig;
    std::unique_ptr<CustomFormImportSection> m_form;

    QLineEdit *field(const QString &name) const { return m_form->findChild<QLineEdit *>(name); }
    QPushButton *button(const QString &name) const { return m_form->findChild<QPushButton *>(name); }
    // As an input method commits text: also characters no key produces.
    void type(const QString &name, const QString &text)
    {
        field(name)->clear();
        field(name)->insert(text);
    }
    void click(const QString &name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    void save()
    {
        type("idField", "myapp");
        type("nameField", "MyApp");
        click("saveButton");
    }
    QStringList chipTexts() const
    {
        QStringList texts;
        for (const auto *c : m_form->findChild<QScrollArea *>("versionChips")->findChildren<ChipButton *>())
            if (c->isVisibleTo(m_form.get()) && c->objectName() != "moreVersionsChip")
                texts << c->text();
        return texts;
    }
    void clickChip(const QString &text) const
    {
        for (auto *chip : m_form->findChildren<ChipButton *>())
            if (chip->text() == text)
                QTest::mouseClick(chip, Qt::LeftButton);
    }
    QString tipText() const
    {
        const auto *line = m_form->findChild<MessageLine *>("tipLine");
        return line->isVisible() ? line->text() : QString();
    }
    void fetch(const QString &path)
    {
        field("versionListField")->setText(m_rig->server.url(path).toString());
        button("fetchButton")->setFocus();
        QVERIFY(button("fetchButton")->hasFocus());
        click("fetchButton");
        QVERIFY(m_form->isParsingNginx());
        QVERIFY(!button("fetchButton")->isEnabled());
        // Not into the version field with its text selected, where the next key would replace it.
        QCOMPARE(QApplication::focusWidget(), field("versionListField"));
        QTRY_VERIFY_WITH_TIMEOUT(!m_form->isParsingNginx() && button("fetchButton")->isEnabled(), 20000);
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        m_rig = std::make_unique<TestServices>();
        m_form = std::make_unique<CustomFormImportSection>(*m_rig->store, *m_rig->scraper);
        m_form->resize(720, 1000);
        m_form->show();
        QApplication::setActiveWindow(m_form.get());
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }

    void cleanup()
    {
        m_form.reset();
        m_rig.reset();
    }

    // Saving needs an id and a name, fetching an address; blanks do not count, but padding does.
    void buttonsNeedText()
    {
        const QList<std::tuple<QString, QString, QString, bool, bool>> cases{
            {"   ", "N", "", false, false}, {"a", " \t ", " ", false, true}, {"a", "N", "", true, false},
            {" a ", "\tN", "x", true, true}};
        for (const auto &[id, name, listing, canSave, canFetch] : cases) {
            field("idField")->setText(id);
            field("nameField")->setText(name);
            field("versionListField")->setText(listing);
            QCOMPARE(button("saveButton")->isEnabled(), canSave);
            QCOMPARE(button("fetchButton")->isEnabled(), canFetch);
            const auto before = m_rig->store->apps();
            m_form->saveCustomApp();
            QCOMPARE(m_rig->store->apps() == before, !canSave);
        }
    }

    void fieldsMapOntoTheRecord_data()
    {
        QTest::addColumn<QStringList>("typed"); // "objectName=text"
        QTest::addColumn<AppItem>("expected");
        QTest::addColumn<QString>("shownName");
        const AppItem plain{.id = "myapp", .name = "MyApp", .category = "开发工具", .currentVersion = "1.0.0"};
        QTest::newRow("only id and name: a direct record") << QStringList{} << plain << "MyApp";
        AppItem spaces = plain;
        spaces.chineseName = "   ";
        QTest::newRow("Chinese name of spaces kept") << QStringList{"chineseNameField=   "} << spaces << "   ";
        AppItem zip = plain;
        zip.downloadUrl = "https://dl.example.com/MyApp.ZIP";
        zip.packageType = PackageType::zip;
        QTest::newRow("package kind from the address") << QStringList{"directDownloadField=" + *zip.downloadUrl} << zip
                                                       << "MyApp";
        // A listing address alone makes the record a version-list one.
        const AppItem full{.id = "myapp", .name = "MyApp", .chineseName = "效率神器", .category = "图形设计",
                           .summary = " 简述 ", .description = "介绍", .sourceType = AppSourceType::customList,
                           .versionPatternUrl = "https://dl.example.com/v{version}/MyApp.zip",
                           .versionListUrl = "https://mirror.example.org/myapp/releases/", .currentVersion = " 2.0 ",
                           .downloadUrl = "https://dl.example.com/MyApp.pkg", .packageType = PackageType::zip};
        // The template is what the record fetches, so it names the kind.
        QTest::newRow("every field, id and name trimmed")
            << QStringList{"idField=myapp \t", "nameField=  MyApp ", "chineseNameField=效率神器",
                           "categoryPicker=图形设计", "versionPatternField=" + *full.versionPatternUrl,
                           "versionListField=" + *full.versionListUrl, "currentVersionField= 2.0 ",
                           "directDownloadField=" + *full.downloadUrl, "summaryField= 简述 ", "descriptionField=介绍"}
            << full << "效率神器";
    }
    void fieldsMapOntoTheRecord()
    {
        QFETCH(QStringList, typed);
        QFETCH(AppItem, expected);
        QFETCH(QString, shownName);
        for (const QString &entry : QStringList{"idField=myapp", "nameField=MyApp"} + typed) {
            const QString name = entry.section(u'=', 0, 0), text = entry.section(u'=', 1);
            if (name == "categoryPicker")
                m_form->findChild<QComboBox *>(name)->setCurrentText(text);
            else
                type(name, text);
        }
        const QRect buttonPlace = button("saveButton")->geometry();
        click("saveButton");
        QCOMPARE(m_rig->store->apps().first(), expected);
        m_form->layout()->activate();
        QCOMPARE(button("saveButton")->geometry(), buttonPlace);
        QCOMPARE(AppItem::listFromJson(TestFolders::readFile(m_rig->store->storageFilePath())).first(), expected);
        QCOMPARE(tipText(), QStringLiteral("应用「%1」已成功录入应用库！").arg(shownName));

        // The form stays filled, and saving again replaces the record in place.
        type("descriptionField", "更正");
        click("saveButton");
        QCOMPARE(m_rig->store->apps().first().description, "更正");
        QCOMPARE(std::count_if(m_rig->store->apps().cbegin(), m_rig->store->apps().cend(),
                               [](const AppItem &a) { return a.id == "myapp"; }), 1);
    }

    void fetchFillsTheForm_data()
    {
        QTest::addColumn<QStringList>("hrefs");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("directUrl"); // a path on the test server, an address, or empty
        QTest::addColumn<QStringList>("chips");
        QTest::newRow("package files") << QStringList{"MyApp-1.9.0.dmg", "MyApp-1.10.0.dmg"} << "" << "1.10.0"
                                       << "/releases/MyApp-1.10.0.dmg" << QStringList{"v1.10.0", "v1.9.0"};
        QTest::newRow("folders and a template")
            << QStringList{"2.0.0/", "2.0.1/"} << "https://dl.example.com/download/v{version}/MyApp-{version}.dmg"
            << "2.0.1" << "https://dl.example.com/download/v2.0.1/MyApp-2.0.1.dmg" << QStringList{"v2.0.1", "v2.0.0"};
        QTest::newRow("nothing usable") << QStringList{"readme.txt"} << "" << "1.0.0" << "" << QStringList{};
    }
    void fetchFillsTheForm()
    {
        QFETCH(QStringList, hrefs);
        QFETCH(QString, pattern);
        QFETCH(QString, version);
        QFETCH(QString, directUrl);
        QFETCH(QStringList, chips);
        if (directUrl.startsWith(u'/'))
            directUrl = m_rig->server.url(directUrl).toString();
        m_rig->server.routeBody("/releases/", listing(hrefs), "text/html");
        type("versionPatternField", pattern);
        fetch("/releases/");

        QCOMPARE(field("currentVersionField")->text(), version);
        QCOMPARE(field("directDownloadField")->text(), directUrl);
        if (chips.isEmpty()) {
            QVERIFY2(tipText().startsWith("抓取版本失败: "), qPrintable(tipText()));
        } else {
            QCOMPARE(tipText(), QString("成功解析出 %1 个版本！已自动选取最新版本 %2。").arg(chips.size()).arg(version));
        }
        QCOMPARE(chipTexts(), chips);
        QCOMPARE(m_form->findChild<QWidget *>("versionsBlock")->isVisible(), !chips.isEmpty());

        save();
        const AppItem app = m_rig->store->apps().first();
        QCOMPARE(app.sourceType, AppSourceType::customList);
        QCOMPARE(app.versionPatternUrl.value_or(QString()), pattern);
        QCOMPARE(app.versions.value_or(QList<AppVersion>()).size(), chips.size());
        if (app.versions) {
            QCOMPARE(app.versions->first().version, version);
            if (!pattern.isEmpty())
                QCOMPARE(app.versions->first().downloadUrl, std::optional<QString>(directUrl));
        }
    }

    // A failed fetch (an error page, or an address that is no URL) keeps what the form holds.
    void failedFetchKeepsTheChips()
    {
        m_rig->server.routeBody("/releases/", listing({"MyApp-1.2.0.dmg", "MyApp-1.3.0.dmg"}), "text/html");
        fetch("/releases/");
        const QStringList chips = chipTexts();
        QCOMPARE(chips.size(), 2);
        type("currentVersionField", "9.9");
        for (const QString &address : {m_rig->server.url("/missing/").toString(), QStringLiteral("not a url")}) {
            field("versionListField")->setText(address);
            click("fetchButton");
            QTRY_VERIFY_WITH_TIMEOUT(!m_form->isParsingNginx() && button("fetchButton")->isEnabled(), 20000);
            QVERIFY2(tipText().startsWith("抓取版本失败: ") && tipText().size() > 8, qPrintable(tipText()));
            QCOMPARE(chipTexts(), chips);
            QCOMPARE(m_form->parsedVersions().size(), 2);
            QCOMPARE(field("currentVersionField")->text(), "9.9");
        }
    }

    void chipsChooseAVersion()
    {
        m_rig->server.routeBody("/mixed/", listing({"MyApp-4.0.0.dmg", "3.0.0/"}), "text/html");
        fetch("/mixed/");
        type("directDownloadField", "https://dl.example.com/keep.dmg");
        clickChip("v3.0.0");
        QCOMPARE(field("currentVersionField")->text(), "3.0.0");
        QCOMPARE(field("directDownloadField")->text(), "https://dl.example.com/keep.dmg");
        clickChip("v4.0.0");
        QCOMPARE(field("currentVersionField")->text(), "4.0.0");
        QCOMPARE(field("directDownloadField")->text(), m_rig->server.url("/mixed/MyApp-4.0.0.dmg").toString());
        // 4.0.0's package is not 3.0.0's.
        clickChip("v3.0.0");
        QCOMPARE(field("directDownloadField")->text(), QString());
    }

    // A mirror listing thousands of versions gets its chips a page at a time, newest first.
    void longListingShowsAPageAtATime()
    {
        const int page = CustomFormImportSection::chipPageSize, total = 2 * page + 5;
        QStringList hrefs;
        for (int i = 1; i <= total; ++i)
            hrefs << QString("MyApp-1.%1.dmg").arg(i);
        m_rig->server.routeBody("/many/", listing(hrefs), "text/html");
        fetch("/many/");
        auto *more = m_form->findChild<ChipButton *>("moreVersionsChip");
        for (const int shown : {page, 2 * page, total}) {
            QCOMPARE(chipTexts().last(), QString("v1.%1").arg(total - shown + 1));
            QCOMPARE(chipTexts().size(), shown);
            if (more->isVisibleTo(m_form.get()))
                QTest::mouseClick(more, Qt::LeftButton);
        }
        QVERIFY(!more->isVisibleTo(m_form.get()));
    }

    void failedWriteIsReported()
    {
        QVERIFY(QDir(m_rig->root.filePath("library")).removeRecursively());
        TestFolders::writeFile(m_rig->root.path(), "library", "not a folder");
        save();
        QVERIFY2(tipText().startsWith("保存失败: ") && tipText().size() > 6, qPrintable(tipText()));
    }
};

QTEST_MAIN(TestCustomFormImportSection)
#include "tst_CustomFormImportSection.moc"
