#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "services/AppStoreService.h"
#include "services/InstalledDetector.h"
#include "support/TestFolders.h"
#include "views/JsonTemplateImportSection.h"
#include "views/components/MessageLine.h"
#include "views/components/ThemeColor.h"

namespace {

QByteArray record(const QString &id)
{
    return QStringLiteral(R"({"id":"%1","name":"N%1","category":"c","summary":"s","description":"d",
        "sourceType":"direct","currentVersion":"1.0","packageType":"dmg"})")
        .arg(id)
        .toUtf8();
}

QString successText(int count)
{
    return QStringLiteral("成功导入 / 更新了 %1 个应用！已同步保存到本地应用库。").arg(count);
}

} // namespace

class TestJsonTemplateImportSection final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    InstalledDetector m_detector{QStringList{}};
    std::unique_ptr<AppStoreService> m_store;
    std::unique_ptr<JsonTemplateImportSection> m_section;

    QString libraryFolder() const { return m_dir.filePath(QStringLiteral("lib")); }
    QPlainTextEdit *editor() const { return m_section->findChild<QPlainTextEdit *>(QStringLiteral("jsonEditor")); }
    QPushButton *button(const char *name) const
    {
        return m_section->findChild<QPushButton *>(QString::fromLatin1(name));
    }
    MessageLine *resultLine() const { return m_section->findChild<MessageLine *>(QStringLiteral("resultLine")); }
    void click(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }

    // The library folder becomes a plain file, so every later write fails.
    void breakLibraryFolder()
    {
        QVERIFY(QDir(libraryFolder()).removeRecursively());
        TestFolders::writeFile(m_dir.path(), QStringLiteral("lib"), "not a folder");
    }

    void verifyResult(const QString &text, bool isError)
    {
        QCOMPARE(m_section->importResult(), std::optional<QString>(text));
        QCOMPARE(m_section->isError(), isError);
        QVERIFY(resultLine()->isVisible());
        QCOMPARE(resultLine()->text(), text);
        QCOMPARE(resultLine()->symbol(),
                 isError ? QStringLiteral("xmark.circle.fill") : QStringLiteral("checkmark.circle.fill"));
        const QPalette palette = m_section->palette();
        QCOMPARE(resultLine()->color(), isError ? ThemeColor::red(palette) : ThemeColor::green(palette));
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(libraryFolder());
        m_store = std::make_unique<AppStoreService>(libraryFolder(), m_detector);
        m_section = std::make_unique<JsonTemplateImportSection>(*m_store);
        m_section->setFileChooser([](QWidget *) -> QString {
            qFatal("the file panel was opened without a test answer");
            return {};
        });
        m_section->resize(720, 900);
        m_section->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_section.get()));
    }

    void cleanup()
    {
        m_section.reset();
        m_store.reset();
    }

    void templateIsOneValidRecordOnSixteenLines()
    {
        const QString text = JsonTemplateImportSection::jsonTemplateString();
        QCOMPARE(text.split(u'\n').size(), 16);
        const auto apps = AppItem::listFromJson(text.toUtf8());
        QCOMPARE(apps.size(), 1);
        QCOMPARE(apps.first().id, QStringLiteral("com.example.app"));
        QCOMPARE(apps.first().resolveDownloadUrl(QStringLiteral("2.0")),
                 std::optional<QString>(QStringLiteral("https://example.com/dl/v2.0/SampleApp-2.0.dmg")));
        QVERIFY(!resultLine()->isVisible());
    }

    void importButtonNeedsText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("newlines and tabs") << QStringLiteral("\n \t\n") << false;
        QTest::newRow("text") << QStringLiteral(" [") << true;
    }
    void importButtonNeedsText()
    {
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        editor()->setPlainText(QStringLiteral("x"));
        editor()->setPlainText(text);
        QCOMPARE(button("importButton")->isEnabled(), enabled);
    }

    void templateImportedTwiceCountsOneRecord()
    {
        editor()->setPlainText(QStringLiteral("typed text is discarded"));
        const auto before = m_store->apps().size();
        for (int round = 0; round < 2; ++round) {
            click("fillTemplateButton");
            QCOMPARE(m_section->jsonInputText(), JsonTemplateImportSection::jsonTemplateString());
            click("importButton");
            verifyResult(successText(1), false);
            QCOMPARE(m_store->apps().size(), before + 1);
        }
        QCOMPARE(m_store->apps().first().name, QStringLiteral("SampleApp"));
        // The import reached the disk.
        const auto onDisk = AppItem::listFromJson(TestFolders::readFile(m_store->storageFilePath()));
        QCOMPARE(onDisk.first().id, QStringLiteral("com.example.app"));
    }

    void pastedTextResults_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        QTest::addColumn<bool>("isError");
        QTest::addColumn<int>("added");
        const QString rejected = QStringLiteral("导入失败: ") + AppStoreService::importFormatError();
        QTest::newRow("not JSON") << QStringLiteral("hello {") << rejected << true << 0;
        QTest::newRow("one object") << QString::fromUtf8(record(QStringLiteral("solo"))) << successText(1) << false
                                    << 1;
        QTest::newRow("array of two")
            << QString::fromUtf8("[" + record(QStringLiteral("a")) + "," + record(QStringLiteral("b")) + "]")
            << successText(2) << false << 2;
    }
    void pastedTextResults()
    {
        QFETCH(QString, text);
        QFETCH(QString, result);
        QFETCH(bool, isError);
        QFETCH(int, added);
        const auto before = m_store->apps().size();
        editor()->setPlainText(text);
        click("importButton");
        verifyResult(result, isError);
        QCOMPARE(m_section->jsonInputText(), text);
        QCOMPARE(m_store->apps().size(), before + added);
    }

    void fileWithThreeRecords()
    {
        const QString path = TestFolders::writeFile(
            m_dir.path(), QStringLiteral("three.json"),
            "[" + record(QStringLiteral("a")) + "," + record(QStringLiteral("b")) + "," + record(QStringLiteral("c")) + "]");
        editor()->setPlainText(QStringLiteral("left alone"));
        m_section->setFileChooser([path](QWidget *) { return path; });
        click("chooseFileButton");
        verifyResult(QStringLiteral("从文件成功导入 / 更新了 3 个应用！"), false);
        QCOMPARE(m_section->jsonInputText(), QStringLiteral("left alone"));
        QCOMPARE(m_store->apps().at(0).id, QStringLiteral("c"));
        QCOMPARE(m_store->apps().at(2).id, QStringLiteral("a"));
    }

    void cancelledFilePanelKeepsTheResultLine()
    {
        editor()->setPlainText(QStringLiteral("[]"));
        click("importButton");
        bool asked = false;
        m_section->setFileChooser([&asked](QWidget *) {
            asked = true;
            return QString();
        });
        click("chooseFileButton");
        QVERIFY(asked);
        verifyResult(successText(0), false);
    }

    void unusableFiles_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: the file does not exist
        QTest::addColumn<QString>("resultPrefix");
        QTest::newRow("missing file") << QByteArray() << QStringLiteral("文件导入失败: ");
        QTest::newRow("not records") << QByteArray("{\"id\": 1}")
                                     << QStringLiteral("文件导入失败: ") + AppStoreService::importFormatError();
    }
    void unusableFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, resultPrefix);
        const QString path = content.isEmpty() ? m_dir.filePath(QStringLiteral("gone.json"))
                                               : TestFolders::writeFile(m_dir.path(), QStringLiteral("bad.json"), content);
        const auto before = m_store->apps();
        m_section->setFileChooser([path](QWidget *) { return path; });
        click("chooseFileButton");
        QVERIFY(m_section->isError());
        QVERIFY2(m_section->importResult()->startsWith(resultPrefix), qPrintable(*m_section->importResult()));
        QVERIFY(m_section->importResult()->size() > QStringLiteral("文件导入失败: ").size());
        QCOMPARE(m_store->apps(), before);
    }

    void failedWriteIsReported()
    {
        breakLibraryFolder();
        editor()->setPlainText(JsonTemplateImportSection::jsonTemplateString());
        click("importButton");
        QVERIFY(m_section->isError());
        QVERIFY2(m_section->importResult()->startsWith(QStringLiteral("保存失败: ")),
                 qPrintable(*m_section->importResult()));

        const QString path = TestFolders::writeFile(m_dir.path(), QStringLiteral("one.json"), record(QStringLiteral("z")));
        m_section->setFileChooser([path](QWidget *) { return path; });
        click("chooseFileButton");
        QVERIFY(m_section->isError());
        QVERIFY(m_section->importResult()->startsWith(QStringLiteral("保存失败: ")));
    }

    void copyTemplateFillsTheClipboardOnly()
    {
        QGuiApplication::clipboard()->setText(QStringLiteral("old"));
        click("copyTemplateButton");
        QCOMPARE(QGuiApplication::clipboard()->text(), JsonTemplateImportSection::jsonTemplateString());
        QVERIFY(!m_section->importResult());
        QVERIFY(m_section->jsonInputText().isEmpty());
    }
};

QTEST_MAIN(TestJsonTemplateImportSection)
#include "tst_JsonTemplateImportSection.moc"
