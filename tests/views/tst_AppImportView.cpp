#include <QAbstractButton>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QtTest>

#include "support/TestScreenContext.h"
#include "views/AppDetailView.h"
#include "views/AppImportView.h"
#include "views/BrewImportSection.h"
#include "views/CustomFormImportSection.h"
#include "views/JsonTemplateImportSection.h"
#include "views/components/SegmentedControl.h"

class TestAppImportView final : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestScreenContext> m_screen;
    std::unique_ptr<AppImportView> m_view;

    SegmentedControl *picker() const
    {
        return m_view->findChild<SegmentedControl *>(QStringLiteral("importModePicker"));
    }
    void clickSegment(int index) { QTest::mouseClick(picker(), Qt::LeftButton, {}, picker()->segmentRect(index).center()); }
    // Sections are retired with deleteLater; let the event loop finish them.
    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    static AppItem sampleApp()
    {
        AppItem app;
        app.id = QStringLiteral("sample");
        app.name = QStringLiteral("Sample");
        app.chineseName = QStringLiteral("示例");
        app.category = QStringLiteral("开发工具");
        app.currentVersion = QStringLiteral("1.0");
        app.packageType = PackageType::dmg;
        return app;
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        m_screen = std::make_unique<TestScreenContext>();
        m_view = std::make_unique<AppImportView>(m_screen->context);
        m_view->resize(1000, 800);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

    void cleanup()
    {
        m_view.reset();
        flushDeletes();
        m_screen.reset();
    }

    void opensOnTheHomebrewTab()
    {
        QCOMPARE(picker()->segments(), (QStringList{QStringLiteral("方式一：Brew 包名解析"),
                                                    QStringLiteral("方式二：自定义信息录入"),
                                                    QStringLiteral("方式三：JSON 导入与模版")}));
        QCOMPARE(picker()->currentIndex(), 0);
        QVERIFY(qobject_cast<BrewImportSection *>(m_view->currentSection()));
    }

    void pickerChoosesTheSection_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("sectionClass");
        QTest::newRow("form") << 1 << QStringLiteral("CustomFormImportSection");
        QTest::newRow("json") << 2 << QStringLiteral("JsonTemplateImportSection");
        QTest::newRow("homebrew") << 0 << QStringLiteral("BrewImportSection");
    }
    void pickerChoosesTheSection()
    {
        QFETCH(int, tab);
        QFETCH(QString, sectionClass);
        m_view->setSelectedTab(tab == 0 ? 2 : 0);
        clickSegment(tab);
        QCOMPARE(m_view->selectedTab(), tab);
        QCOMPARE(picker()->currentIndex(), tab);
        QVERIFY(m_view->currentSection()->isVisible());
        QCOMPARE(QString::fromLatin1(m_view->currentSection()->metaObject()->className()), sectionClass);
    }

    void arrowKeysMoveBetweenTabs()
    {
        picker()->setFocus();
        QTest::keyClick(picker(), Qt::Key_Right);
        QTest::keyClick(picker(), Qt::Key_Right);
        QTest::keyClick(picker(), Qt::Key_Right);
        QCOMPARE(m_view->selectedTab(), 2);
        QTest::keyClick(picker(), Qt::Key_Left);
        QCOMPARE(m_view->selectedTab(), 1);
        QVERIFY(qobject_cast<CustomFormImportSection *>(m_view->currentSection()));
    }

    void switchingDiscardsWhatWasTyped()
    {
        clickSegment(2);
        QPointer<QWidget> first = m_view->currentSection();
        auto *json = qobject_cast<JsonTemplateImportSection *>(first.data());
        json->findChild<QPlainTextEdit *>(QStringLiteral("jsonEditor"))->setPlainText(QStringLiteral("[]"));
        json->executeImport();
        QVERIFY(json->importResult());

        clickSegment(1);
        clickSegment(2);
        flushDeletes();
        QVERIFY(first.isNull());
        auto *fresh = qobject_cast<JsonTemplateImportSection *>(m_view->currentSection());
        QVERIFY(fresh);
        QVERIFY(fresh->jsonInputText().isEmpty());
        QVERIFY(!fresh->importResult());
        // One section at a time lives in the screen.
        QCOMPARE(m_view->findChildren<JsonTemplateImportSection *>().size(), 1);
    }

    void backFromTheDetailPageReturnsToTheSameTab_data()
    {
        QTest::addColumn<int>("tab");
        QTest::newRow("homebrew") << 0;
        QTest::newRow("form") << 1;
    }
    void backFromTheDetailPageReturnsToTheSameTab()
    {
        QFETCH(int, tab);
        m_view->setSelectedTab(tab);
        QPointer<QWidget> before = m_view->currentSection();
        m_view->openDetail(sampleApp());
        QCOMPARE(m_view->selectedDetailApp(), std::optional<AppItem>(sampleApp()));
        QVERIFY(m_view->detailPage()->isVisible());
        auto *detail = qobject_cast<AppDetailView *>(m_view->detailPage());
        QVERIFY(detail);
        QCOMPARE(detail->app(), sampleApp());
        QVERIFY(!picker()->isVisible());

        auto *back = m_view->detailPage()->findChild<QAbstractButton *>(QStringLiteral("backButton"));
        QVERIFY(back);
        QCOMPARE(back->text(), QStringLiteral("返回录入"));
        QTest::mouseClick(back, Qt::LeftButton);
        flushDeletes();

        QVERIFY(!m_view->selectedDetailApp());
        QVERIFY(!m_view->detailPage());
        QVERIFY(picker()->isVisible());
        QCOMPARE(m_view->selectedTab(), tab);
        QCOMPARE(picker()->currentIndex(), tab);
        QVERIFY(before.isNull());
        QVERIFY(m_view->currentSection()->isVisible());
    }

    void anUnknownTabShowsNothing()
    {
        m_view->setSelectedTab(7);
        QCOMPARE(m_view->currentSection(), nullptr);
    }
};

QTEST_MAIN(TestAppImportView)
#include "tst_AppImportView.moc"
