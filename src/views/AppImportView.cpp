#include "views/AppImportView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "views/AppContext.h"
#include "views/AppDetailView.h"
#include "views/BrewImportSection.h"
#include "views/CustomFormImportSection.h"
#include "views/JsonTemplateImportSection.h"
#include "views/components/FormStyle.h"
#include "views/components/SegmentedControl.h"
#include "views/components/SeparatorLine.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeWatcher.h"

namespace {

// A page may be replaced from inside one of its own signal handlers (a button
// on it was clicked), so it is hidden now and deleted once that returns.
void retire(QWidget *&page)
{
    if (!page)
        return;
    page->hide();
    page->deleteLater();
    page = nullptr;
}

} // namespace

AppImportView::AppImportView(AppContext &context, QWidget *parent)
    : QWidget(parent), m_context(context), m_pages(new QStackedWidget), m_tabsPage(new QWidget),
      m_picker(new SegmentedControl(tabTitles(), 12, QFont::Medium)), m_scroll(new QScrollArea)
{
    setAutoFillBackground(true);
    m_picker->setShortSegments({QStringLiteral("Brew 包名解析"), QStringLiteral("自定义信息录入"),
                                QStringLiteral("JSON 导入与模版")});

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_pages);

    auto *tabsColumn = new QVBoxLayout(m_tabsPage);
    tabsColumn->setContentsMargins(0, 0, 0, 0);
    tabsColumn->setSpacing(0);

    auto *header = new QVBoxLayout;
    header->setContentsMargins(24, 14, 24, 14);
    header->setSpacing(12);
    auto *title = FormStyle::label(QStringLiteral("应用录入与导入工具"), 22, QFont::DemiBold);
    title->setObjectName(QStringLiteral("importTitle"));
    header->addWidget(title);
    auto *pickerRow = new QHBoxLayout;
    pickerRow->setSpacing(10);
    pickerRow->addWidget(FormStyle::label(QStringLiteral("录入方式"), 12, QFont::Normal));
    m_picker->setObjectName(QStringLiteral("importModePicker"));
    m_picker->setCurrentIndex(m_selectedTab);
    connect(m_picker, &SegmentedControl::currentChanged, this, &AppImportView::setSelectedTab);
    pickerRow->addWidget(m_picker);
    pickerRow->addStretch(1);
    header->addLayout(pickerRow);
    tabsColumn->addLayout(header);
    tabsColumn->addWidget(new SeparatorLine);

    m_scroll->setObjectName(QStringLiteral("importScroll"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // On the bar alone: a style sheet on the area would style the whole form beneath it.
    ThemeWatcher::followStyleSheet(m_scroll->verticalScrollBar(), &FormStyle::thinScrollBarRules);
    auto *content = new QWidget;
    m_sectionHolder = new QVBoxLayout(content);
    m_sectionHolder->setContentsMargins(24, 24, 24, 24);
    m_sectionHolder->addStretch(1);
    m_scroll->setWidget(content);
    tabsColumn->addWidget(m_scroll, 1);

    m_pages->addWidget(m_tabsPage);
    showSection();
}

QStringList AppImportView::tabTitles()
{
    return {QStringLiteral("方式一：Brew 包名解析"), QStringLiteral("方式二：自定义信息录入"),
            QStringLiteral("方式三：JSON 导入与模版")};
}

void AppImportView::setSelectedTab(int tab)
{
    m_selectedTab = tab;
    m_picker->setCurrentIndex(tab);
    showSection();
}

void AppImportView::openDetail(const AppItem &app)
{
    m_selectedDetailApp = app;
    retire(m_section);
    retire(m_detail);
    m_detail = makeDetailPage(app);
    m_pages->addWidget(m_detail);
    m_pages->setCurrentWidget(m_detail);
}

void AppImportView::closeDetail()
{
    m_selectedDetailApp.reset();
    retire(m_detail);
    m_pages->setCurrentWidget(m_tabsPage);
    showSection();
}

void AppImportView::showSection()
{
    retire(m_section);
    m_section = makeSection(m_selectedTab);
    if (m_section) {
        m_sectionHolder->insertWidget(0, m_section);
        m_section->show();
    }
    m_scroll->verticalScrollBar()->setValue(0);
}

QWidget *AppImportView::makeSection(int tab)
{
    switch (tab) {
    case homebrewTab:
        return new BrewImportSection(m_context, [this](const AppItem &app) { openDetail(app); });
    case customFormTab:
        return new CustomFormImportSection(m_context.store, m_context.scraper);
    case jsonTab:
        return new JsonTemplateImportSection(m_context.store);
    default:
        return nullptr;
    }
}

QWidget *AppImportView::makeDetailPage(const AppItem &app)
{
    return new AppDetailView(m_context, app, QStringLiteral("返回录入"), [this] { closeDetail(); });
}
