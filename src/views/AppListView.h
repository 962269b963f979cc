#pragma once

#include <QPointer>
#include <QWidget>

#include <optional>

#include "models/AppItem.h"

struct AppContext;
class AppCardDelegate;
class AppListFilterProxy;
class AppListModel;
class ChipButton;
class QAbstractButton;
class QButtonGroup;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListView;
class QStackedLayout;
class QStackedWidget;
class SymbolButton;

// The catalog list of the sidebar destinations "发现应用" (the whole library)
// and "已安装" (only what the detector found installed): a header with the
// title, a search box, a rescan button and one chip per category, then the
// matching records as cards, or an empty state. Clicking a card shows its
// detail page in place of the list; coming back finds the category and the
// search text as they were.
//
// The filter belongs to the screen: a new screen starts with "全部" and an
// empty search.
//
// The same screen shows the catalog sources' records ("软件源"): one chip
// per source instead of categories, and the page that manages the sources.
// When a search of the library finds nothing, the empty state offers the
// sources' matches.
class AppListView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppListView)

public:
    enum class Mode { library, installed, sources };

    AppListView(AppContext &context, bool showOnlyInstalled, QWidget *parent = nullptr);
    AppListView(AppContext &context, Mode mode, QWidget *parent = nullptr);
    ~AppListView() override;

    bool showOnlyInstalled() const { return m_mode == Mode::installed; }
    Mode mode() const { return m_mode; }
    QString title() const;

    QString selectedCategory() const;
    void setSelectedCategory(const QString &category);
    QString searchText() const;
    void setSearchText(const QString &text);

    // The record whose detail page replaces the list, if any.
    const std::optional<AppItem> &selectedApp() const { return m_selectedApp; }
    void setSelectedApp(const std::optional<AppItem> &app);

    // The chips, in order; the records shown, in order.
    QStringList categories() const;
    QList<AppItem> filteredApps() const;
    bool isShowingEmptyState() const;

    // A fresh scan of the installed applications into the library store; on
    // the sources screen, a refresh of every source.
    void refreshInstalled();
    // The sources screen's management page in place of the list.
    void showSourceManager();
    // How many source records match the search that found nothing in the library.
    int sourceMatchCount() const { return m_sourceMatchCount; }

    // Parts, for tests and tools.
    QListView *listView() const { return m_list; }
    AppCardDelegate *cardDelegate() const { return m_delegate; }
    QLineEdit *searchField() const { return m_search; }
    SymbolButton *clearSearchButton() const { return m_clearSearch; }
    SymbolButton *refreshButton() const { return m_refresh; }
    ChipButton *chip(const QString &category) const;
    // Null until the list first shows empty.
    QWidget *emptyState() const { return m_empty; }
    QWidget *detailView() const { return m_detail; }
    QAbstractButton *sourceMatchesButton() const { return m_sourceMatches; }

Q_SIGNALS:
    // The user asked to see the sources' matches for this search.
    void sourceMatchesRequested(const QString &searchText);

protected:

private:
    QWidget *buildHeader();
    QWidget *buildEmptyState();
    void rebuildChips();
    void updateBody();
    void applyColors(const QPalette &base);
    void colorEmptyTexts(const QPalette &base);
    void openDetail(const QModelIndex &index);

    void updateSourceMatches();
    QString chipSourceId(const QString &chip) const;

    AppContext &m_context;
    Mode m_mode;
    std::optional<AppItem> m_selectedApp;
    AppListModel *m_model = nullptr;
    AppListFilterProxy *m_proxy = nullptr;
    AppCardDelegate *m_delegate = nullptr;
    QStackedLayout *m_pages = nullptr;
    QWidget *m_listPage = nullptr;
    QLabel *m_title = nullptr;
    QLineEdit *m_search = nullptr;
    SymbolButton *m_clearSearch = nullptr;
    SymbolButton *m_refresh = nullptr;
    QWidget *m_chipScroller = nullptr;
    QWidget *m_chipRow = nullptr;
    QHBoxLayout *m_chipLayout = nullptr;
    QButtonGroup *m_chipGroup = nullptr;
    QStringList m_categories;
    QStackedWidget *m_body = nullptr;
    QListView *m_list = nullptr;
    QWidget *m_empty = nullptr;
    QList<QLabel *> m_emptyTexts;
    QAbstractButton *m_sourceMatches = nullptr;
    int m_sourceMatchCount = 0;
    QString m_sourceChip;
    QLabel *m_sourceStatus = nullptr;
    QAbstractButton *m_mirrorOffer = nullptr;
    QPointer<QWidget> m_detail;
};
