#pragma once

#include <QStringList>
#include <QWidget>

#include <optional>

#include "models/AppItem.h"

struct AppContext;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;
class SegmentedControl;

// The screen behind the sidebar's entry destination: the three ways of adding
// records (Homebrew name, hand-written form, JSON) under one segmented picker,
// and the detail page of a record picked in the Homebrew tab.
class AppImportView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppImportView)

public:
    enum Tab { homebrewTab = 0, customFormTab = 1, jsonTab = 2 };

    explicit AppImportView(AppContext &context, QWidget *parent = nullptr);

    static QStringList tabTitles();

    int selectedTab() const { return m_selectedTab; }
    // Shows a freshly built section for the tab; what was typed in the old one is gone.
    void setSelectedTab(int tab);
    const std::optional<AppItem> &selectedDetailApp() const { return m_selectedDetailApp; }
    // The detail page for the record, instead of the tabs.
    void openDetail(const AppItem &app);
    // Back from the detail page to a fresh section of the same tab.
    void closeDetail();

    // The section shown in the scrolling area, or nullptr.
    QWidget *currentSection() const { return m_section; }
    QWidget *detailPage() const { return m_detail; }

private:
    QWidget *makeSection(int tab);
    QWidget *makeDetailPage(const AppItem &app);
    void showSection();

    AppContext &m_context;
    int m_selectedTab = homebrewTab;
    std::optional<AppItem> m_selectedDetailApp;

    QStackedWidget *m_pages;
    QWidget *m_tabsPage;
    SegmentedControl *m_picker;
    QScrollArea *m_scroll;
    QVBoxLayout *m_sectionHolder;
    QWidget *m_section = nullptr;
    QWidget *m_detail = nullptr;
};
