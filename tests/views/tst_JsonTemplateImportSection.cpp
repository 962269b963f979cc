#include <QClipboard>
#include <QGuiApplication>
#include <QLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include "services/AppStoreService.h"
#include "support/TestFolders.h"
#include "support/TestRecords.h"
#include "support/TestServices.h"
#include "views/JsonTemplateImportSection.h"
#include "views/components/MessageLine.h"

namespace {

QByteArray records(const QStringList &ids)
{
    QByteArrayList objects;
    for (const QString &id : ids)
        objects << TestRecords::json(id);
    return ids.size() == 1 ? objects.first() : "[" + objects.join(',') + "]";
}

QString successText(int count)
{
    return QStringLiteral("成功导入 / 更新了 %1 个应用！已同步保存到本地应用库。").arg(count);
}

} // namespace

class TestJsonTemplateImportSection final : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestServices> m_rig;
    std::unique_ptr<JsonTemplateImportSection> m_section;

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
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        m_rig = std::make_unique<TestServices>();
        m_section = std::make_unique<JsonTemplateImportSection>(*m_rig->store);
        m_section->setFileChooser([](QWidget *) -> QString { qFatal("the file panel opened without a test answer"); });
        m_section->resize(720, 900);
        m_section->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_section.get()));
    }

    void cleanup()
    {
        m_section.reset();
        m_rig.reset();
    }

    void templateCopiedThenImportedTwiceCountsOneRecord()
    {
        QGuiApplication::clipboard()->setText("old");
        click("copyTemplateButton"); // fills the clipboard only
        QCOMPARE(QGuiApplication::clipboard()->text(), JsonTemplateImportSection::jsonTemplateString());
        QVERIFY(!m_section->importResult() && m_section->jsonInputText().isEmpty());
        QVERIFY(!m_section->findChild<MessageLine *>("resultLine")->isVisible());
        editor()->setPlainText("typed text is discarded");
        const auto before = m_rig->store->apps().size();
        const QRect buttonPlace = button("importButton")->geometry();
        for (int round = 0; round < 2; ++round) {
            click("fillTemplateButton");
            QCOMPARE(m_section->jsonInputText(), JsonTemplateImportSection::jsonTemplateString());
            click("importButton");
            verifyResult(successText(1), false);
            // The result line appears where it pushes no button away from the pointer.
            m_section->layout()->activate();
            QCOMPARE(button("importButton")->geometry(), buttonPlace);
            QCOMPARE(m_rig->store->apps().size(), before + 1);
        }
        const AppItem app = m_rig->store->apps().first();
        QCOMPARE(app.name, "SampleApp");
        QCOMPARE(app.resolveDownloadUrl("2.0").value_or(""), "https://example.com/dl/v2.0/SampleApp-2.0.dmg");
        // The import reached the disk.
        QCOMPARE(AppItem::listFromJson(TestFolders::readFile(m_rig->store->storageFilePath())).first(), app);
    }

    void importResults_data()
    {
        QTest::addColumn<bool>("fromFile");
        QTest::addColumn<QByteArray>("payload"); // for a file: empty cancels the panel
        QTest::addColumn<bool>("unwritable");
        QTest::addColumn<QString>("result");
        QTest::addColumn<bool>("isError");
        QTest::addColumn<int>("added");
        const QString bad = AppStoreService::importFormatError();
        QTest::newRow("pasted: junk") << false << QByteArray("hello {") << false << "导入失败: " + bad << true << 0;
        QTest::newRow("pasted: one object") << false << records({"solo"}) << false << successText(1) << false << 1;
        QTest::newRow("pasted: two, unwritable") << false << records({"a", "b"}) << true << "保存失败: " << true << 0;
        QTest::newRow("file: 3") << true << records({"a", "b", "c"}) << false << "从文件成功导入 / 更新了 3 个应用！"
                                     << false << 3;
        QTest::newRow("file: not records") << true << QByteArray("{\"id\": 1}") << false << "文件导入失败: " + bad
                                           << true << 0;
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
        const auto before = m_rig->store->apps().size();
        if (unwritable) { // the library folder becomes a plain file, so every write fails
            QVERIFY(QDir(m_rig->root.filePath("library")).removeRecursively());
            TestFolders::writeFile(m_rig->root.path(), "library", "not a folder");
        }
        if (fromFile) {
            const QString path =
                payload.isEmpty() ? QString() : TestFolders::writeFile(m_rig->root.path(), "file.json", payload);
            m_section->setFileChooser([path](QWidget *) { return path; });
            click("chooseFileButton");
        } else {
            editor()->setPlainText(QString::fromUtf8(payload));
            click("importButton");
        }
        verifyResult(result, isError);
        QCOMPARE(m_section->jsonInputText(), fromFile ? "[]" : QString::fromUtf8(payload));
        if (!unwritable)
            QCOMPARE(m_rig->store->apps().size(), before + added);
    }
};

QTEST_MAIN(TestJsonTemplateImportSection)
#include "tst_JsonTemplateImportSection.moc"
