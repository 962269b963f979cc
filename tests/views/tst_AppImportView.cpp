#include <QAbstractButton>
#include <QPlainTextEdit>
#include <QPointer>
#include <QtTest>

#include "support/TestScreenContext.h"
#include "views/AppDetailView.h"
#include "views/AppImportView.h"
#include "views/JsonTemplateImportSection.h"
#include "views/components/ThemeFont.h"
#include "views/components/SegmentedControl.h"

class TestAppImportView final : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestScreenContext> m_screen;
    std::unique_ptr<AppImportView> m_view;

    SegmentedControl *picker() const { return m_view->findChild<SegmentedControl *>("importModePicker"); }
    void clickSegment(int i) { QTest::mouseClick(picker(), Qt::LeftButton, {}, picker()->segmentRect(i).center()); }
    QString sectionClass() const { return m_view->currentSection()->metaObject()->className(); }
    // Sections are retired with deleteLater; let the event loop finish them.
    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

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

    void pickerChoosesTheSection()
    {
        QCOMPARE(sectionClass(), "BrewImportSection");
        const QList<std::pair<int, QString>> tabs{
            {2, "JsonTemplateImportSection"}, {1, "CustomFormImportSection"}, {0, "BrewImportSection"}};
        for (const auto &[tab, name] : tabs) {
            clickSegment(tab);
            QCOMPARE(m_view->selectedTab(), tab);
            QVERIFY(m_view->currentSection()->isVisible());
            QCOMPARE(sectionClass(), name);
        }
        // Arrow keys move one tab and stop at the last.
        picker()->setFocus();
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(picker(), Qt::Key_Right);
        QCOMPARE(m_view->selectedTab(), 2);
        QTest::keyClick(picker(), Qt::Key_Left);
        QCOMPARE(m_view->selectedTab(), 1);
        QCOMPARE(sectionClass(), "CustomFormImportSection");
    }

    // The smallest window at the largest text scale shows whole titles, short ones if need be.
    void tabTitlesFitTheSmallestWindow()
    {
        FontScaleManager::shared().setScale(1.45);
        m_view->resize(920 - 220, 620);
        QApplication::processEvents();
        for (int i = 0; i < 3; ++i)
            QVERIFY2(!picker()->shownText(i).contains(QChar(0x2026)), qPrintable(picker()->shownText(i)));
        QVERIFY(picker()->shownText(1) != picker()->segments().at(1));
        FontScaleManager::shared().setScale(FontScaleManager::defaultScale);
    }

    void switchingDiscardsWhatWasTyped()
    {
        clickSegment(2);
        QPointer<QWidget> first = m_view->currentSection();
        auto *json = qobject_cast<JsonTemplateImportSection *>(first.data());
        json->findChild<QPlainTextEdit *>("jsonEditor")->setPlainText("[]");
        json->executeImport();
        QVERIFY(json->importResult());

        clickSegment(1);
        clickSegment(2);
        flushDeletes();
        QVERIFY(first.isNull());
        auto *fresh = qobject_cast<JsonTemplateImportSection *>(m_view->currentSection());
        QVERIFY(fresh && fresh->jsonInputText().isEmpty() && !fresh->importResult());
        // One section at a time lives in the screen.
        QCOMPARE(m_view->findChildren<JsonTemplateImportSection *>().size(), 1);
    }

    void backFromTheDetailPageReturnsToTheSameTab()
    {
        const AppItem app{.id = "sample", .name = "Sample", .currentVersion = "1.0"};
        for (int tab : {1, 0}) {
            m_view->setSelectedTab(tab);
            QPointer<QWidget> before = m_view->currentSection();
            m_view->openDetail(app);
            auto *detail = qobject_cast<AppDetailView *>(m_view->detailPage());
            QVERIFY(detail && detail->isVisible());
            QCOMPARE(detail->app(), app);
            QVERIFY(!picker()->isVisible());

            QTest::mouseClick(detail->findChild<QAbstractButton *>("backButton"), Qt::LeftButton);
            flushDeletes();
            QVERIFY(!m_view->selectedDetailApp());
            QVERIFY(!m_view->detailPage());
            QVERIFY(picker()->isVisible());
            QCOMPARE(picker()->currentIndex(), tab);
            QVERIFY(before.isNull());
            QVERIFY(m_view->currentSection()->isVisible());
        }
    }
};

QTEST_MAIN(TestAppImportView)
#include "tst_AppImportView.moc"
