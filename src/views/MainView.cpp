#include "views/MainView.h"

#include <QAbstractButton>
#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QSplitter>
#include <QSplitterHandle>
#include <QVBoxLayout>

#include "views/components/CountBadge.h"
#include "views/components/SeparatorLine.h"
#include "views/components/Labels.h"
#include "views/components/PillPainter.h"
#include "views/components/Symbols.h"
#include "views/components/TextScaleHud.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"
#include "views/components/ThemeWatcher.h"

namespace {

constexpr int kSidebarMinimum = 200;
constexpr int kSidebarIdeal = 220;
constexpr int kSidebarMaximum = 280;
constexpr qreal kRowSymbolSize = 13;

// The splitter handle is the sidebar's edge: a hairline, draggable.
class EdgeHandle final : public QSplitterHandle
{
public:
    using QSplitterHandle::QSplitterHandle;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), ThemeColor::separator(palette()));
    }
};

class EdgeSplitter final : public QSplitter
{
public:
    using QSplitter::QSplitter;

protected:
    QSplitterHandle *createHandle() override { return new EdgeHandle(orientation(), this); }
};

// The app's mark and name at the top of the sidebar.
class BrandRow final : public QWidget
{
public:
    explicit BrandRow(QWidget *parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("brandRow"));
        ThemeFont::apply(this, 13, QFont::Bold);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }

    static QString title() { return QStringLiteral("Zelvo App Store"); }

    QSize sizeHint() const override
    {
        const int text = QFontMetrics(font()).height();
        return {kSidebarIdeal, std::max(kMark, text) + 2 * kExtra + 2 * kInsetV};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        const QRectF mark(kInsetH, (height() - kMark) / 2.0, kMark, kMark);
        QLinearGradient gradient(mark.topLeft(), mark.bottomRight());
        gradient.setColorAt(0, ThemeColor::brandTop());
        gradient.setColorAt(1, ThemeColor::brandBottom());
        painter.setPen(Qt::NoPen);
        painter.setBrush(gradient);
        painter.drawRoundedRect(mark, 6, 6);
        Symbols::paint(&painter, mark, QStringLiteral("shippingbox.fill"), ThemeColor::onAccent(palette()), 13);

        painter.setPen(ThemeColor::primary(palette()));
        const QRectF text(mark.right() + 10, 0, width() - mark.right() - 10, height());
        painter.drawText(text, Qt::AlignVCenter | Qt::AlignLeft, title());
    }

private:
    static constexpr int kMark = 26;
    static constexpr int kExtra = 2;
    static constexpr int kInsetH = 8;
    static constexpr int kInsetV = 4;
};

} // namespace

// One destination row of the sidebar: its symbol, its title and, on the
// downloads row, the count badge.
class SidebarRow final : public QAbstractButton
{
public:
    SidebarRow(NavigationItem item, QWidget *parent) : QAbstractButton(parent), m_item(item)
    {
        setObjectName(QStringLiteral("sidebarRow_") + Navigation::id(item));
        setText(Navigation::title(item));
        setCheckable(true);
        setAttribute(Qt::WA_Hover);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        ThemeFont::apply(this, 13, QFont::Medium);
    }

    NavigationItem item() const { return m_item; }

    void setSelected(bool selected)
    {
        setChecked(selected);
        if (m_badge)
            m_badge->setInverted(selected);
    }

    void setBadge(CountBadge *badge)
    {
        m_badge = badge;
        badge->setParent(this);
        placeBadge();
    }

    QSize sizeHint() const override
    {
        const int text = QFontMetrics(font()).height();
        return {kSidebarIdeal, std::max(28, text + 10)};
    }

protected:
    // The main view owns the selection: a click on the selected row keeps it.
    void nextCheckState() override {}

    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        const QPalette pal = palette();
        const QRectF box = QRectF(rect());
        if (isChecked())
            PillPainter::paintBackground(&painter, box, PillStyle{ThemeColor::accent(pal), {}, {}, 0}, 6);
        else if (underMouse() || isDown())
            PillPainter::paintBackground(
                &painter, box, PillStyle{ThemeColor::withOpacity(ThemeColor::primary(pal), isDown() ? 0.1 : 0.05), {}, {}, 0},
                6);

        const qreal side = Symbols::boxSize(kRowSymbolSize);
        const QRectF symbol(kInset, (height() - side) / 2.0, side, side);
        Symbols::paint(&painter, symbol, Navigation::iconName(m_item),
                       isChecked() ? ThemeColor::onAccent(pal) : ThemeColor::accent(pal), kRowSymbolSize);

        const qreal textLeft = symbol.right() + 7;
        const qreal textRight = (m_badge && m_badge->isVisible()) ? m_badge->x() - 6 : width() - kInset;
        painter.setPen(isChecked() ? ThemeColor::onAccent(pal) : ThemeColor::primary(pal));
        const QRectF text(textLeft, 0, textRight - textLeft, height());
        painter.drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
                         QFontMetrics(font()).elidedText(this->text(), Qt::ElideRight, int(text.width())));
    }

    void resizeEvent(QResizeEvent *event) override
    {
        QAbstractButton::resizeEvent(event);
        placeBadge();
    }

    bool event(QEvent *event) override
    {
        // A badge whose count changed asks its parent for room this way.
        if (event->type() == QEvent::LayoutRequest)
            placeBadge();
        return QAbstractButton::event(event);
    }

private:
    void placeBadge()
    {
        // A hidden badge (no count) is not measured: its face would cost the
        // first paint a font of its own.
        if (!m_badge || m_badge->isHidden())
            return;
        const QSize size = m_badge->sizeHint();
        m_badge->setGeometry(width() - kInset - size.width(), (height() - size.height()) / 2, size.width(),
                             size.height());
    }

    static constexpr int kInset = 8;
    NavigationItem m_item;
    CountBadge *m_badge = nullptr;
};

MainView::MainView(FontScaleManager &fontScale, ScreenFactory screens, QWidget *parent)
    : QWidget(parent), m_fontScale(fontScale), m_screens(std::move(screens))
{
    setObjectName(QStringLiteral("mainView"));
    setAutoFillBackground(true);

    auto *splitter = new EdgeSplitter(Qt::Horizontal, this);
    splitter->setHandleWidth(1);
    splitter->setChildrenCollapsible(false);

    m_sidebar = buildSidebar();
    fitSidebarToFooter();
    splitter->addWidget(m_sidebar);

    m_detail = new QWidget(splitter);
    m_detail->setObjectName(QStringLiteral("detailColumn"));
    m_detail->setMinimumSize(minimumDetailWidth, minimumDetailHeight);
    m_detailLayout = new QVBoxLayout(m_detail);
    m_detailLayout->setContentsMargins(0, 0, 0, 0);
    m_detailLayout->setSpacing(0);
    splitter->addWidget(m_detail);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({kSidebarIdeal, minimumDetailWidth});

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);

    m_hud = new TextScaleHud(m_fontScale, m_detail);

    m_zoomIn = new QAction(QStringLiteral("放大"), this);
    m_zoomIn->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    connect(m_zoomIn, &QAction::triggered, &m_fontScale, &FontScaleManager::zoomIn);
    m_zoomOut = new QAction(QStringLiteral("缩小"), this);
    m_zoomOut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    connect(m_zoomOut, &QAction::triggered, &m_fontScale, &FontScaleManager::zoomOut);
    m_reset = new QAction(QStringLiteral("实际大小"), this);
    m_reset->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    connect(m_reset, &QAction::triggered, &m_fontScale, &FontScaleManager::reset);
    addActions(textSizeActions());

    ThemeWatcher::follow(this, [this](const QPalette &theme) { applyColors(theme); });
    showScreen();
}

MainView::~MainView() = default;

void MainView::applyColors(const QPalette &base)
{
    auto recolor = [](QWidget *widget, QPalette::ColorRole role, const QColor &color) {
        QPalette pal = widget->palette();
        pal.setColor(role, color);
        widget->setPalette(pal);
    };
    recolor(m_sidebar, QPalette::Window, ThemeColor::sidebarBackground(base));
    recolor(m_sectionHeader, QPalette::WindowText, ThemeColor::secondary(base));
    recolor(m_footer, QPalette::WindowText, ThemeColor::withOpacity(ThemeColor::secondary(base), 0.8));
}


QWidget *MainView::buildSidebar()
{
    auto *sidebar = new QWidget;
    sidebar->setObjectName(QStringLiteral("sidebar"));
    sidebar->setMinimumWidth(kSidebarMinimum);
    sidebar->setMaximumWidth(kSidebarMaximum);
    sidebar->setAutoFillBackground(true);
    sidebar->installEventFilter(this);

    auto *layout = new QVBoxLayout(sidebar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *list = new QVBoxLayout;
    list->setContentsMargins(10, 10, 10, 10);
    list->setSpacing(2);
    list->addWidget(new BrandRow(sidebar));
    list->addSpacing(12);

    m_sectionHeader = new QLabel(QStringLiteral("应用导航"), sidebar);
    m_sectionHeader->setObjectName(QStringLiteral("sidebarSectionHeader"));
    ThemeFont::apply(m_sectionHeader, 11, QFont::DemiBold, ThemeFont::Face::System);
    m_sectionHeader->setContentsMargins(8, 0, 8, 4);
    list->addWidget(m_sectionHeader);

    for (NavigationItem item : Navigation::allItems()) {
        auto *row = new SidebarRow(item, sidebar);
        connect(row, &QAbstractButton::clicked, this, [this, item] { setSelectedItem(item); });
        if (item == NavigationItem::downloads) {
            m_badge = new CountBadge;
            m_badge->setObjectName(QStringLiteral("downloadsBadge"));
            row->setBadge(m_badge);
        } else if (item == NavigationItem::updates) {
            m_updatesBadge = new CountBadge;
            m_updatesBadge->setObjectName(QStringLiteral("updatesBadge"));
            row->setBadge(m_updatesBadge);
        }
        m_rows.append(row);
        list->addWidget(row);
    }
    list->addStretch(1);
    layout->addLayout(list, 1);

    // Pinned under the list, outside anything that scrolls.
    layout->addWidget(new SeparatorLine(Qt::Horizontal, sidebar));
    m_footer = new QLabel(QStringLiteral("极简 Mac App Store · 原生 C++"), sidebar);
    m_footer->setObjectName(QStringLiteral("sidebarFooter"));
    ThemeFont::apply(m_footer, 10);
    m_footer->setAlignment(Qt::AlignCenter);
    m_footer->setWordWrap(true);
    m_footer->setContentsMargins(6, 4 + 8, 6, 8);
    m_footer->installEventFilter(this);
    layout->addWidget(m_footer);
    return sidebar;
}

QWidget *MainView::buildPlaceholder(NavigationItem item, QWidget *parent) const
{
    auto *placeholder = new QWidget(parent);
    placeholder->setObjectName(QStringLiteral("placeholder_") + Navigation::id(item));
    auto *layout = new QVBoxLayout(placeholder);
    layout->setSpacing(14);
    layout->addStretch(1);

    layout->addWidget(Labels::symbol(Navigation::iconName(item), 44, ThemeColor::faded(&ThemeColor::secondary, 0.6)),
                      0, Qt::AlignHCenter);

    auto *title = new QLabel(Navigation::title(item), placeholder);
    title->setObjectName(QStringLiteral("placeholderTitle"));
    ThemeFont::apply(title, 15, QFont::Medium);
    Labels::followTextColor(title, &ThemeColor::secondary);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);
    layout->addStretch(1);
    return placeholder;
}

void MainView::setSelectedItem(std::optional<NavigationItem> item)
{
    if (item == m_selected)
        return;
    m_selected = item;
    showScreen();
    Q_EMIT selectedItemChanged();
}

void MainView::showScreen()
{
    for (SidebarRow *row : std::as_const(m_rows))
        row->setSelected(m_selected == row->item());

    if (m_screen) {
        // The old screen may be the sender of what got us here; let it finish.
        m_detailLayout->removeWidget(m_screen);
        m_screen->hide();
        m_screen->deleteLater();
    }
    const NavigationItem item = shownItem();
    QWidget *screen = m_screens ? m_screens(item, m_detail) : nullptr;
    if (!screen)
        screen = buildPlaceholder(item, m_detail);
    m_screen = screen;
    m_detailLayout->addWidget(screen);
    screen->show();
    m_hud->raise();
}

void MainView::setDownloadsBadgeCount(int count)
{
    if (std::max(0, count) == m_badge->count())
        return;
    m_badge->setCount(std::max(0, count));
    m_rows.at(int(NavigationItem::downloads))->update();
}

int MainView::downloadsBadgeCount() const
{
    return m_badge->count();
}

void MainView::setUpdatesBadgeCount(int count)
{
    if (std::max(0, count) == m_updatesBadge->count())
        return;
    m_updatesBadge->setCount(std::max(0, count));
    m_rows.at(int(NavigationItem::updates))->update();
}

int MainView::updatesBadgeCount() const
{
    return m_updatesBadge->count();
}

QList<QAction *> MainView::textSizeActions() const
{
    return {m_zoomIn, m_zoomOut, m_reset};
}

void MainView::installMenus(QMenuBar *bar) const
{
    QMenu *view = bar->addMenu(QStringLiteral("显示"));
    view->addSeparator();
    view->addActions(textSizeActions());
}

void MainView::fitSidebarToFooter()
{
    const auto margins = m_footer->contentsMargins();
    const int wanted =
        m_footer->fontMetrics().horizontalAdvance(m_footer->text()) + margins.left() + margins.right() + 8;
    m_sidebar->setMinimumWidth(std::clamp(wanted, kSidebarMinimum, kSidebarMaximum));
}

bool MainView::eventFilter(QObject *watched, QEvent *event)
{
    // A click that no row took landed in empty sidebar space: it clears the
    // selection, which shows the discover screen.
    if (watched == m_sidebar && event->type() == QEvent::MouseButtonPress)
        setSelectedItem(std::nullopt);
    // Large text widens the sidebar (up to its maximum) before the footer
    // line has to wrap, so it never breaks inside "C++".
    if (watched == m_footer && event->type() == QEvent::FontChange)
        fitSidebarToFooter();
    return QWidget::eventFilter(watched, event);
}
