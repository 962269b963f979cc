#include "views/AppListView.h"

#include <QApplication>
#include <QButtonGroup>
#include <QEvent>
#include <QFontMetricsF>
#include <QMenu>
#include <QHBoxLayout>
#include <QHoverEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QStackedLayout>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "models/ZelvoError.h"
#include "services/AppStoreService.h"
#include "services/CatalogFilter.h"
#include "services/SourceStore.h"
#include "services/SourceTexts.h"
#include "views/AppContext.h"
#include "views/AppDetailView.h"
#include "views/AppListFilterProxy.h"
#include "views/AppListModel.h"
#include "views/SourceManagerView.h"
#include "views/components/ActionButton.h"
#include "views/components/AppCardDelegate.h"
#include "views/components/IconCache.h"
#include "views/components/ChipButton.h"
#include "views/components/ChipStrip.h"
#include "views/components/PillPainter.h"
#include "views/components/SymbolButton.h"
#include "views/components/SymbolTextButton.h"
#include "views/components/Symbols.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeWatcher.h"
#include "views/components/ThemeFont.h"

namespace {

constexpr int kHeaderSide = 24;
constexpr int kHeaderVertical = 14;
constexpr int kHeaderSpacing = 12;
constexpr int kSearchWidth = 220;
constexpr int kSearchPaddingH = 10;
constexpr int kSearchPaddingV = 6;
constexpr int kSearchSpacing = 6;
constexpr qreal kSearchSymbolSize = 13;
constexpr qreal kSearchRadius = 8;
constexpr int kChipSpacing = 8;
constexpr int kListVertical = 16;
constexpr int kEmptySpacing = 14;
constexpr qreal kEmptySymbolSize = 44;

QString searchPlaceholder() { return QStringLiteral("搜索应用名称、包名或描述"); }

// The header's background strip; its last pixel row is the divider under it.
class HeaderBar final : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(QRect(0, height() - 1, width(), 1), ThemeColor::separator(palette()));
    }
};

// The rounded search field: magnifying glass, borderless text field, clear button.
class SearchBox final : public QWidget
{
public:
    explicit SearchBox(QWidget *parent) : QWidget(parent)
    {
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    // The box keeps its width unless the text scale makes the placeholder
    // longer than the field, in which case it grows to show it whole.
    void fit(QLineEdit *field, int clearButtonWidth)
    {
        m_field = field;
        m_clearButtonWidth = clearButtonWidth;
        field->installEventFilter(this);
        fitWidth();
    }

    static int symbolBox() { return int(std::ceil(Symbols::boxSize(kSearchSymbolSize))); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        const QColor secondary = ThemeColor::secondary(palette());
        PillPainter::paintBackground(&painter, box,
                                     PillStyle{ThemeColor::controlBackground(palette()), {},
                                               ThemeColor::withOpacity(secondary, 0.15), 1.0},
                                     kSearchRadius);
        const QRectF glyph(kSearchPaddingH, (height() - symbolBox()) / 2.0, symbolBox(), symbolBox());
        Symbols::paint(&painter, glyph, QStringLiteral("magnifyingglass"), secondary, kSearchSymbolSize);
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_field && event->type() == QEvent::FontChange)
            fitWidth();
        return false;
    }

private:
    void fitWidth()
    {
        const qreal placeholder = QFontMetricsF(m_field->font()).horizontalAdvance(m_field->placeholderText());
        const qreal fixedParts = 2 * kSearchPaddingH + symbolBox() + 2 * kSearchSpacing + m_clearButtonWidth +
                                 8 /* the line edit's own text margins */;
        setFixedWidth(std::max(kSearchWidth, int(std::ceil(placeholder + fixedParts))));
    }

    QLineEdit *m_field = nullptr;
    int m_clearButtonWidth = 0;
};

// The card list: rows painted by AppCardDelegate, the pointer's position
// passed on for the hover background.
class CardListView final : public QListView
{
public:
    explicit CardListView(QWidget *parent) : QListView(parent)
    {
        setFrameShape(QFrame::NoFrame);
        setViewportMargins(0, kListVertical, 0, kListVertical);
        setUniformItemSizes(true);
        setSelectionMode(QAbstractItemView::NoSelection);
        setEditTriggers(QAbstractItemView::NoEditTriggers);
        setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setMouseTracking(true);
        // Reached by Tab; a click works the card without drawing the focus ring.
        setFocusPolicy(Qt::TabFocus);
        setAutoFillBackground(false);
        viewport()->setAttribute(Qt::WA_Hover);
        viewport()->setBackgroundRole(QPalette::Window);
        // Declared so the rows are measured again when the text scale changes.
        ThemeFont::apply(this, 12);
    }

    AppCardDelegate *cards() const { return static_cast<AppCardDelegate *>(itemDelegate()); }

protected:
    void focusInEvent(QFocusEvent *event) override
    {
        // Tabbing in lands on a card, not on nothing.
        if (!currentIndex().isValid() && model() && model()->rowCount() > 0)
            setCurrentIndex(model()->index(0, 0));
        QListView::focusInEvent(event);
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        // Return opens the card and Space presses its button, on every
        // system (the view's own Return differs between them).
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (currentIndex().isValid())
                Q_EMIT activated(currentIndex());
            return;
        case Qt::Key_Space:
            cards()->pressButton(currentIndex());
            return;
        default:
            QListView::keyPressEvent(event);
        }
    }
    bool viewportEvent(QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::HoverEnter:
        case QEvent::HoverMove: {
            const QPoint pos = static_cast<QHoverEvent *>(event)->position().toPoint();
            cards()->setHoverPosition(indexAt(pos), pos);
            break;
        }
        case QEvent::HoverLeave:
        case QEvent::Leave:
            cards()->setHoverPosition({}, {});
            break;
        case QEvent::Paint: {
            // The view asks every card in the bounding box of what changed;
            // each draws only its parts inside the region itself.
            const QRegion region = static_cast<QPaintEvent *>(event)->region();
            cards()->setExposedRegion(&region);
            const bool handled = QListView::viewportEvent(event);
            cards()->setExposedRegion(nullptr);
            return handled;
        }
        default:
            break;
        }
        return QListView::viewportEvent(event);
    }
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles) override
    {
        // A download's progress ten times a second redraws its control, not its card.
        if (topLeft == bottomRight && roles == QList<int>{AppListModel::InstallStateRole}) {
            if (const auto control = cards()->controlRectIfSameSize(topLeft)) {
                viewport()->update(control->toAlignedRect().adjusted(-1, -1, 1, 1));
                return;
            }
        }
        QListView::dataChanged(topLeft, bottomRight, roles);
    }
    void scrollContentsBy(int dx, int dy) override
    {
        QListView::scrollContentsBy(dx, dy);
        // The content moved under a still pointer.
        const QPoint pos = viewport()->mapFromGlobal(QCursor::pos());
        if (viewport()->rect().contains(pos))
            cards()->setHoverPosition(indexAt(pos), pos);
    }
};

// The empty state's large symbol, drawn when painted rather than kept as a
// picture: a start-up that lists apps then needs neither this size of the
// icon font nor its glyph, and the colour follows the theme by itself.
class EmptySymbol final : public QWidget
{
public:
    EmptySymbol(QString name, QWidget *parent) : QWidget(parent), m_name(std::move(name))
    {
        setObjectName(QStringLiteral("emptySymbol"));
        setFixedHeight(int(std::ceil(Symbols::boxSize(kEmptySymbolSize))));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal side = height();
        Symbols::paint(&painter, QRectF((width() - side) / 2.0, 0, side, side), m_name,
                       ThemeColor::withOpacity(ThemeColor::secondary(palette()), 0.6), kEmptySymbolSize);
    }

private:
    QString m_name;
};

} // namespace

AppListView::AppListView(AppContext &context, bool showOnlyInstalled, QWidget *parent)
    : AppListView(context, showOnlyInstalled ? Mode::installed : Mode::library, parent)
{
}

AppListView::AppListView(AppContext &context, Mode mode, QWidget *parent)
    : QWidget(parent), m_context(context), m_mode(mode)
{
    setObjectName(mode == Mode::installed ? QStringLiteral("installedList")
                  : mode == Mode::sources ? QStringLiteral("sourcesList")
                                          : QStringLiteral("discoverList"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);

    m_model = mode == Mode::sources ? new AppListModel(context.workflows, context.sources, this)
                                    : new AppListModel(context.workflows, this);
    m_proxy = new AppListFilterProxy(*m_model, this);
    m_proxy->setOnlyInstalled(mode == Mode::installed);

    m_pages = new QStackedLayout(this);
    m_listPage = new QWidget(this);
    auto *column = new QVBoxLayout(m_listPage);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildHeader());

    m_body = new QStackedWidget(m_listPage);
    auto *list = new CardListView(m_body);
    m_list = list;
    m_delegate = new AppCardDelegate(*list, m_model->registry(), context.icons);
    list->setItemDelegate(m_delegate);
    list->setModel(m_proxy);
    m_body->addWidget(list);
    column->addWidget(m_body, 1);
    m_pages->addWidget(m_listPage);

    connect(m_delegate, &AppCardDelegate::cardClicked, this, &AppListView::openDetail);
    connect(m_list, &QAbstractItemView::activated, this, &AppListView::openDetail);
    if (showOnlyInstalled()) {
        // "卸载…" opens the app's page with the inline confirmation.
        m_list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
            const QModelIndex index = m_list->indexAt(at);
            if (!index.isValid())
                return;
            auto *menu = new QMenu(this);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->addAction(QStringLiteral("卸载…"), this, [this, index = QPersistentModelIndex(index)] {
                if (!index.isValid())
                    return;
                openDetail(index);
                if (auto *detail = qobject_cast<AppDetailView *>(m_detail.data()))
                    detail->askToUninstall();
            });
            menu->popup(m_list->viewport()->mapToGlobal(at));
        });
    }
    connect(m_proxy, &QAbstractItemModel::modelReset, this, &AppListView::updateBody);
    connect(m_proxy, &QAbstractItemModel::rowsInserted, this, &AppListView::updateBody);
    connect(m_proxy, &QAbstractItemModel::rowsRemoved, this, &AppListView::updateBody);
    connect(m_proxy, &QAbstractItemModel::layoutChanged, this, &AppListView::updateBody);
    if (mode == Mode::sources) {
        connect(&context.sources, &SourceStore::sourcesChanged, this, &AppListView::rebuildChips);
        connect(&context.sources, &SourceStore::recordsChanged, this, &AppListView::rebuildChips);
    } else {
        connect(&context.store, &AppStoreService::appsChanged, this, &AppListView::rebuildChips);
    }
    if (mode == Mode::library)
        connect(&context.sources, &SourceStore::recordsChanged, this, &AppListView::updateSourceMatches);

    rebuildChips();
    updateBody();
    ThemeWatcher::follow(this, [this](const QPalette &theme) { applyColors(theme); });
}

AppListView::~AppListView() = default;

QString AppListView::title() const
{
    switch (m_mode) {
    case Mode::installed:
        return QStringLiteral("已安装应用");
    case Mode::sources:
        return QStringLiteral("软件源");
    case Mode::library:
        break;
    }
    return QStringLiteral("探索与发现");
}

QWidget *AppListView::buildHeader()
{
    auto *header = new HeaderBar(m_listPage);
    auto *rows = new QVBoxLayout(header);
    rows->setContentsMargins(kHeaderSide, kHeaderVertical, kHeaderSide, kHeaderVertical + 1);
    rows->setSpacing(kHeaderSpacing);

    auto *top = new QHBoxLayout;
    top->setSpacing(kHeaderSpacing);
    m_title = new QLabel(title(), header);
    ThemeFont::apply(m_title, 22, QFont::DemiBold);
    top->addWidget(m_title);
    top->addStretch(1);

    auto *box = new SearchBox(header);
    auto *boxRow = new QHBoxLayout(box);
    boxRow->setContentsMargins(kSearchPaddingH + SearchBox::symbolBox() + kSearchSpacing, kSearchPaddingV,
                               kSearchPaddingH, kSearchPaddingV);
    boxRow->setSpacing(kSearchSpacing);
    m_search = new QLineEdit(box);
    m_search->setObjectName(QStringLiteral("searchField"));
    m_search->setFrame(false);
    m_search->setPlaceholderText(searchPlaceholder());
    m_search->setAttribute(Qt::WA_MacShowFocusRect, false);
    ThemeFont::apply(m_search, 12);
    boxRow->addWidget(m_search, 1);
    m_clearSearch = new SymbolButton(QStringLiteral("xmark.circle.fill"), 12, box);
    m_clearSearch->setObjectName(QStringLiteral("clearSearch"));
    m_clearSearch->setToolTip(QStringLiteral("清除搜索"));
    m_clearSearch->setVisible(false);
    boxRow->addWidget(m_clearSearch);
    box->fit(m_search, m_clearSearch->sizeHint().width());
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_clearSearch->setVisible(!text.isEmpty());
        m_proxy->setSearchText(text);
    });
    connect(m_clearSearch, &QAbstractButton::clicked, this, [this] { setSearchText({}); });
    top->addWidget(box);

    m_refresh = new SymbolButton(QStringLiteral("arrow.clockwise"), 13, header);
    m_refresh->setObjectName(QStringLiteral("refreshInstalled"));
    m_refresh->setToolTip(m_mode == Mode::sources ? QStringLiteral("刷新全部软件源")
                                                  : QStringLiteral("刷新本地安装状态"));
    connect(m_refresh, &QAbstractButton::clicked, this, &AppListView::refreshInstalled);
    top->addWidget(m_refresh);
    if (m_mode == Mode::sources) {
        auto *manage = new SymbolButton(QStringLiteral("gearshape.fill"), 13, header);
        manage->setObjectName(QStringLiteral("manageSources"));
        manage->setToolTip(QStringLiteral("管理软件源"));
        connect(manage, &QAbstractButton::clicked, this, &AppListView::showSourceManager);
        top->addWidget(manage);
    }
    rows->addLayout(top);
    if (m_mode == Mode::sources) {
        m_sourceStatus = new QLabel(header);
        m_sourceStatus->setObjectName(QStringLiteral("sourceStatus"));
        m_sourceStatus->setWordWrap(true);
        ThemeFont::apply(m_sourceStatus, 11);
        auto *status = new QHBoxLayout;
        status->addWidget(m_sourceStatus, 1);
        // A first start where the official service is out of reach but a mirror answers.
        auto *offer = new SymbolTextButton(QStringLiteral("globe"), 11, QString(), header);
        offer->setObjectName(QStringLiteral("mirrorOffer"));
        offer->setFontSpec(11, QFont::Medium);
        offer->hide();
        connect(offer, &QAbstractButton::clicked, this, [this] {
            if (const auto base = m_context.sources.suggestedBase()) {
                m_context.sources.setBrewApiBase(base->url);
                m_context.sources.refresh(SourceStore::brewSourceId()).onFailed(this, [](const ZelvoError &) {});
            }
        });
        status->addWidget(offer, 0, Qt::AlignTop);
        m_mirrorOffer = offer;
        rows->addLayout(status);
    }

    auto *scroller = new ChipStrip(header);
    m_chipRow = new QWidget(scroller);
    m_chipRow->setAutoFillBackground(false);
    m_chipLayout = new QHBoxLayout(m_chipRow);
    m_chipLayout->setContentsMargins(0, 0, 0, 0);
    m_chipLayout->setSpacing(kChipSpacing);
    m_chipLayout->addStretch(1);
    scroller->setContent(m_chipRow);
    m_chipGroup = new QButtonGroup(this);
    m_chipGroup->setExclusive(true);
    m_chipScroller = scroller;
    rows->addWidget(scroller);
    return header;
}

QWidget *AppListView::buildEmptyState()
{
    m_empty = new QWidget(m_body);
    m_empty->setObjectName(QStringLiteral("emptyState"));
    auto *column = new QVBoxLayout(m_empty);
    column->setSpacing(kEmptySpacing);
    column->addStretch(1);
    column->addWidget(
        new EmptySymbol(showOnlyInstalled() ? QStringLiteral("tray") : QStringLiteral("magnifyingglass"), m_empty));
    auto *title = new QLabel(showOnlyInstalled() ? QStringLiteral("未检测到已安装的关联应用")
                                                 : QStringLiteral("未找到匹配的应用程序"),
                             m_empty);
    title->setObjectName(QStringLiteral("emptyTitle"));
    title->setAlignment(Qt::AlignCenter);
    title->setWordWrap(true);
    ThemeFont::apply(title, 15, QFont::Medium);
    column->addWidget(title);
    m_emptyTexts = {title};
    if (m_mode == Mode::library) {
        auto *matches = new SymbolTextButton(QStringLiteral("globe"), 12, QString(), m_empty);
        matches->setObjectName(QStringLiteral("sourceMatches"));
        matches->setFontSpec(13, QFont::Medium);
        matches->hide();
        connect(matches, &QAbstractButton::clicked, this, [this] { Q_EMIT sourceMatchesRequested(searchText()); });
        column->addWidget(matches, 0, Qt::AlignHCenter);
        m_sourceMatches = matches;
    }
    if (showOnlyInstalled()) {
        auto *hint = new QLabel(QStringLiteral("您可以从「发现」或「应用录入」中安装您需要的应用。"), m_empty);
        hint->setAlignment(Qt::AlignCenter);
        hint->setWordWrap(true);
        ThemeFont::apply(hint, 12);
        column->addWidget(hint);
        m_emptyTexts << hint;
    }
    column->addStretch(1);
    return m_empty;
}

QString AppListView::chipSourceId(const QString &chip) const
{
    for (const auto &source : m_context.sources.sources())
        if (source.name == chip)
            return source.id;
    return {};
}

void AppListView::rebuildChips()
{
    QStringList categories;
    if (m_mode == Mode::sources) {
        categories << CatalogFilter::allCategory();
        QStringList lines;
        for (const auto &source : m_context.sources.sources()) {
            categories << source.name;
            QString line = QStringLiteral("%1：%2，更新于%3")
                               .arg(source.name, SourceTexts::count(source), SourceTexts::age(source.checkedAt));
            if (m_context.sources.isRefreshing(source.id) || !source.error.isEmpty())
                line += QStringLiteral("，") + SourceTexts::state(source, m_context.sources.isRefreshing(source.id));
            lines << line;
        }
        const auto &base = m_context.sources.suggestedBase();
        m_mirrorOffer->setText(base ? QStringLiteral("无法连接当前的 Homebrew API 地址，改用%1").arg(base->label) : QString());
        m_mirrorOffer->setVisible(base.has_value());
        m_sourceStatus->setText(lines.isEmpty() ? QStringLiteral("还没有软件源，点击右侧齿轮添加。")
                                                : lines.join(QLatin1Char('\n')));
        // The records behind the rows moved; the chosen source's rows are found again.
        setSelectedCategory(chipSourceId(m_sourceChip).isEmpty() ? CatalogFilter::allCategory() : m_sourceChip);
    } else {
        categories = CatalogFilter::allCategories(m_context.store.apps());
    }
    if (categories == m_categories)
        return;
    m_categories = categories;
    for (QAbstractButton *button : m_chipGroup->buttons()) {
        m_chipGroup->removeButton(button);
        delete button;
    }
    int position = 0;
    for (const QString &category : categories) {
        auto *chip = new ChipButton(category, m_chipRow);
        chip->setCheckable(true);
        chip->setFontSpec(12, QFont::Normal, QFont::DemiBold);
        chip->setPadding(14, 6);
        chip->setCornerRadius(14);
        chip->setChecked(category == selectedCategory());
        m_chipGroup->addButton(chip);
        m_chipLayout->insertWidget(position++, chip);
        connect(chip, &QAbstractButton::clicked, this, [this, category] { setSelectedCategory(category); });
    }
    m_chipScroller->updateGeometry();
}

ChipButton *AppListView::chip(const QString &category) const
{
    for (QAbstractButton *button : m_chipGroup->buttons())
        if (button->text() == category)
            return static_cast<ChipButton *>(button);
    return nullptr;
}

QString AppListView::selectedCategory() const
{
    return m_mode == Mode::sources ? (m_sourceChip.isEmpty() ? CatalogFilter::allCategory() : m_sourceChip)
                                   : m_proxy->filter().category;
}

void AppListView::setSelectedCategory(const QString &category)
{
    if (m_mode == Mode::sources) {
        const QString id = chipSourceId(category);
        m_sourceChip = id.isEmpty() ? QString() : category;
        auto &sources = m_context.sources;
        m_proxy->setRowFilter(id.isEmpty() ? std::function<bool(int)>()
                                           : [&sources, id](int row) { return sources.sourceOfRecord(row) == id; });
    } else {
        m_proxy->setCategory(category);
    }
    for (QAbstractButton *button : m_chipGroup->buttons())
        button->setChecked(button->text() == category);
    // A category that no chip shows any more leaves every chip unchecked.
    if (!chip(category) && m_chipGroup->checkedButton()) {
        m_chipGroup->setExclusive(false);
        m_chipGroup->checkedButton()->setChecked(false);
        m_chipGroup->setExclusive(true);
    }
}

QString AppListView::searchText() const
{
    return m_proxy->filter().searchText;
}

void AppListView::setSearchText(const QString &text)
{
    m_search->setText(text);
}

QStringList AppListView::categories() const
{
    return m_categories;
}

QList<AppItem> AppListView::filteredApps() const
{
    QList<AppItem> apps;
    apps.reserve(m_proxy->rowCount());
    for (int row = 0; row < m_proxy->rowCount(); ++row)
        apps.append(m_model->app(m_proxy->sourceRow(row)));
    return apps;
}

bool AppListView::isShowingEmptyState() const
{
    return m_body->currentWidget() == m_empty;
}

void AppListView::refreshInstalled()
{
    if (m_mode != Mode::sources) {
        m_context.store.refreshInstalledStatus();
        return;
    }
    // Each failure is written on its source, which the status line shows.
    for (const auto &source : m_context.sources.sources())
        m_context.sources.refresh(source.id).onFailed(this, [](const ZelvoError &) {});
}

void AppListView::updateBody()
{
    // Built when first shown: the window would otherwise measure its hidden
    // texts, in faces and glyphs of their own, before its first paint.
    if (m_proxy->rowCount() == 0 && !m_empty) {
        m_body->addWidget(buildEmptyState());
        colorEmptyTexts(QApplication::palette());
    }
    m_body->setCurrentWidget(m_proxy->rowCount() == 0 ? m_empty : static_cast<QWidget *>(m_list));
    updateSourceMatches();
}

void AppListView::updateSourceMatches()
{
    if (!m_sourceMatches)
        return;
    m_sourceMatchCount = 0;
    if (m_proxy->rowCount() == 0 && !searchText().trimmed().isEmpty()) {
        CatalogFilter filter;
        filter.searchText = searchText();
        for (const AppItem &record : m_context.sources.records())
            m_sourceMatchCount += filter.matches(record, {}) ? 1 : 0;
    }
    m_sourceMatches->setText(QStringLiteral("在软件源中找到 %1 个匹配的应用，点击查看").arg(m_sourceMatchCount));
    m_sourceMatches->setVisible(m_sourceMatchCount > 0);
}

void AppListView::showSourceManager()
{
    setSelectedApp(std::nullopt);
    auto *manager = new SourceManagerView(m_context, [this] { setSelectedApp(std::nullopt); }, this);
    m_detail = manager;
    m_pages->addWidget(manager);
    m_pages->setCurrentWidget(manager);
}

void AppListView::openDetail(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    setSelectedApp(m_model->app(m_proxy->mapToSource(index).row()));
}

void AppListView::setSelectedApp(const std::optional<AppItem> &app)
{
    m_selectedApp = app;
    if (m_detail) {
        // The detail page may be the sender of what got us here; let it finish.
        m_pages->removeWidget(m_detail);
        m_detail->hide();
        m_detail->deleteLater();
        m_detail = nullptr;
    }
    if (!app) {
        m_pages->setCurrentWidget(m_listPage);
        return;
    }
    auto *detail = new AppDetailView(m_context, *app, QStringLiteral("返回列表"),
                                     [this] { setSelectedApp(std::nullopt); }, this);
    m_detail = detail;
    m_pages->addWidget(detail);
    m_pages->setCurrentWidget(detail);
}

void AppListView::applyColors(const QPalette &base)
{
    // The text field draws on the search box's own background.
    QPalette field = m_search->palette();
    field.setColor(QPalette::Base, Qt::transparent);
    m_search->setPalette(field);
    colorEmptyTexts(base);
}

void AppListView::colorEmptyTexts(const QPalette &base)
{
    if (m_emptyTexts.isEmpty())
        return;
    const QColor secondary = ThemeColor::secondary(base);
    const auto recolor = [](QLabel *label, const QColor &color) {
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, color);
        label->setPalette(pal);
    };
    recolor(m_emptyTexts.first(), secondary);
    if (m_emptyTexts.size() > 1)
        recolor(m_emptyTexts.at(1), ThemeColor::withOpacity(secondary, 0.8));
}

