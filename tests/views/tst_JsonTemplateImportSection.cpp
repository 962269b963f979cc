#include <QClipboard>
#include <QGuiApplication>
#include <QLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include "services/AppStoreService.h"
#include "services/InstalledDetector.h"
#include "support/TestFolders.h"
#include "views/JsonTemplateImportSection.h"
#include "views/components/MessageLine.h"
#include "views/components/ThemeColor.h"

namespace {

QByteArray records(const QStringList &ids)
{
    QStringList objects;
    for (const QString &id : ids)
        objects << QStringLiteral(R"({"id":"%1","name":"N%1","category":"c","summary":"s","description":"d",
            "sourceType":"direct","currentVersion":"1.0","packageType":"dmg"})").arg(id);
    return (ids.size() == 1 ? objects.first() : "[" + objects.join(',') + "]").toUtf8();
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

    QString libraryFolder() const { return m_dir.filePath("lib"); }
    QPlainTextEdit *editor() const { return m_section->findChild<QPlainTextEdit *>("jsonEditor"); }
    QPushButton *button(const QString &name) const { return m_section->findChild<QPushButton *>(name); }
    void click(const QString &name) { QTest::mouseClick(button(name), Qt::LeftButton); }

    // Failures carry the system's reason after the prefix; successes are the whole text.
    void verifyResult(const QString &prefix, bool isError)
    {
        const QString text = m_section->importResult().value_or(QString());
        QVERIFY2(text.startsWith(prefix) && (!prefix.endsWith(": ") || text.size() > prefix.size()), qPrintable(text));
        QCOMPARE(m_section->isError(), isError);
        const MessageLine *line = m_section->findChild<MessageLine *>("resultLine");
        QVERIFY(line->isVisible());
        QCOMPARE(line->text(), text);
        QCOMPARE(line->symbol(), isError ? "xmark.circle.fill" : "checkmark.circle.fill");
        QCOMPARE(line->color(), (isError ? ThemeColor::red : ThemeColor::green)(m_section->palette()));
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(libraryFolder());
        m_store = std::make_unique<AppStoreService>(libraryFolder(), m_detector);
        m_section = std::make_unique<JsonTemplateImportSection>(*m_store);
        m_section->setFileChooser([](QWidget *) -> QString { qFatal("the file panel opened without a test answer"); });
        m_section->resize(720, 900);
        m_section->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_section.get()));
    }

    void cleanup()
    {
        m_section.reset();
        m_store.reset();
    }

    void importButtonNeedsText()
    {
        const QList<std::pair<QString, bool>> cases{{"", false}, {"\n \t\n", false}, {" [", true}};
        for (const auto &[text, enabled] : cases) {
            editor()->setPlainText("x");
            editor()->setPlainText(text);
            QVERIFY2(button("importButton")->isEnabled() == enabled, qPrintable(text));
        }
    }

    void templateCopiedThenImportedTwiceCountsOneRecord()
    {
        QGuiApplication::clipboard()->setText("old");
        click("copyTemplateButton"); // fills the clipboard only
        QCOMPARE(QGuiApplication::clipboard()->text(), JsonTemplateImportSection::jsonTemplateString());
        QVERIFY(!m_section->importResult() && m_section->jsonInputText().isEmpty());
        QVERIFY(!m_section->findChild<MessageLine *>("resultLine")->isVisible());
        editor()->setPlainText("typed text is discarded");
        const auto before = m_store->apps().size();
        const QRect buttonPlace = button("importButton")->geometry();
        for (int round = 0; round < 2; ++round) {
            click("fillTemplateButton");
            QCOMPARE(m_section->jsonInputText(), JsonTemplateImportSection::jsonTemplateString());
            click("importButton");
            verifyResult(successText(1), false);
            // The result line appears where it pushes no button away from the pointer.
            m_section->layout()->activate();
            QCOMPARE(button("importButton")->geometry(), buttonPlace);
            QCOMPARE(m_store->apps().size(), before + 1);
        }
        const AppItem app = m_store->apps().first();
        QCOMPARE(app.name, "SampleApp");
        QCOMPARE(app.resolveDownloadUrl("2.0").value_or(""), "https://example.com/dl/v2.0/SampleApp-2.0.dmg");
        // The import reached the disk.
        QCOMPARE(AppItem::listFromJson(TestFolders::readFile(m_store->storageFilePath())).first(), app);
    }

    void importResults_data()
    {
        QTest::addColumn<bool>("fromFile");
        QTest::addColumn<QByteArray>("payload"); // for a file: empty cancels the panel, "-" names no file
        QTest::addColumn<bool>("unwritable");
        QTest::addColumn<QString>("result");
        QTest::addColumn<bool>("isError");
        QTest::addColumn<int>("added");
        const QString bad = AppStoreService::importFormatError();
        QTest::newRow("pasted: junk") << false << QByteArray("hello {") << false << "导入失败: " + bad << true << 0;
        QTest::newRow("pasted: one object") << false << records({"solo"}) << false << successText(1) << false << 1;
        QTest::newRow("pasted: array of two") << false << records({"a", "b"}) << false << successText(2) << false << 2;
        QTest::newRow("pasted: unwritable") << false << records({"z"}) << true << "保存失败: " << true << 0;
        QTest::newRow("file: 3") << true << records({"a", "b", "c"}) << false << "从文件成功导入 / 更新了 3 个应用！"
                                     << false << 3;
        QTest::newRow("file: missing") << true << QByteArray("-") << false << "文件导入失败: " << true << 0;
        QTest::newRow("file: not records") << true << QByteArray("{\"id\": 1}") << false << "文件导入失败: " + bad
                                           << true << 0;
        QTest::newRow("file: unwritable") << true << records({"z"}) << true << "保存失败: " << true << 0;
        // A cancelled panel leaves the last result standing.
        QTest::newRow("file: cancelled") << true << QByteArray() << false << successText(0) << false << 0;
    }
    void importResults()
    {
        QFETCH(bool, fromFile);
        QFETCH(QByteArray, payload);
        QFETCH(bool, unwritable);
        QFETCH(QString, result);
        QFETCH(bool, isError);
        QFETCH(int, added);
        editor()->setPlainText("[]");
        click("importButton");
        verifyResult(successText(0), false);
        const auto before = m_store->apps().size();
        if (unwritable) { // the library folder becomes a plain file, so every write fails
            QVERIFY(QDir(libraryFolder()).removeRecursively());
            TestFolders::writeFile(m_dir.path(), "lib", "not a folder");
        }
        if (fromFile) {
            const QString path = payload.isEmpty() ? QString()
                                 : payload == "-" ? m_dir.filePath("gone.json")
                                                  : TestFolders::writeFile(m_dir.path(), "file.json", payload);
            m_section->setFileChooser([path](QWidget *) { return path; });
            click("chooseFileButton");
        } else {
            editor()->setPlainText(QString::fromUtf8(payload));
            click("importButton");
        }
        verifyResult(result, isError);
        QCOMPARE(m_section->jsonInputText(), fromFile ? "[]" : QString::fromUtf8(payload));
        if (!unwritable)
            QCOMPARE(m_store->apps().size(), before + added);
    }
};

QTEST_MAIN(TestJsonTemplateImportSection)
#include "tst_JsonTemplateImportSection.moc"
