#include "views/BrewPreviewCard.h"

#include <QPointer>
#include <QCoreApplication>
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTextLayout>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include "models/TextTrim.h"
#include "models/ZelvoError.h"
#include "services/AppStoreService.h"
#include "services/InstalledDetector.h"
#include "services/InstallerService.h"
#include "views/AppContext.h"
#include "views/AppDetailView.h"
#include "views/BrewImportSection.h"
#include "views/components/ActionButton.h"
#include "views/components/ActivitySpinner.h"
#include "views/components/AppIconView.h"
#include "views/components/ChipButton.h"
#include "views/components/ChipStrip.h"
#include "views/components/FormStyle.h"
#include "views/components/IconCache.h"
#include "views/components/Labels.h"
#include "views/components/TintedPanel.h"
#include "views/components/PillPainter.h"
#include "views/components/SeparatorLine.h"
#include "views/components/Symbols.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"
#include "views/components/ThemeWatcher.h"

namespace {

constexpr int kDrawerAnimationMs = 200;
constexpr int kDetailLabelWidth = 80;

using StyleOf = TintedPanel::StyleOf;

// A label that keeps to maxLines lines, eliding what does not fit: the
// summary under the name, the name itself and the download address (one
// line, elided in the middle so both ends of the address stay readable).
class ElidedLabel final : public QLabel
{
public:
    ElidedLabel(const QString &text, int maxLines, Qt::TextElideMode mode, QWidget *parent = nullptr)
        : QLabel(text, parent), m_maxLines(maxLines), m_mode(mode)
    {
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        policy.setHeightForWidth(maxLines > 1);
        setSizePolicy(policy);
        setToolTip(text);
    }

    bool hasHeightForWidth() const override { return m_maxLines > 1; }
    int heightForWidth(int width) const override
    {
        return lineCount(width) * qCeil(QFontMetricsF(font()).lineSpacing());
    }
    QSize sizeHint() const override
    {
        const QFontMetricsF metrics(font());
        const int natural = qCeil(metrics.horizontalAdvance(text()));
        const int width = m_maxLines > 1 ? std::min(natural, qCeil(metrics.height() * 26)) : natural;
        return {width, m_maxLines > 1 ? heightForWidth(width) : qCeil(metrics.height())};
    }
    QSize minimumSizeHint() const override
    {
        const QFontMetricsF metrics(font());
        return {std::min(sizeHint().width(), qCeil(metrics.height() * 3)), qCeil(metrics.height())};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setPen(palette().color(QPalette::WindowText));
        const QFontMetricsF metrics(font());
        if (m_maxLines == 1) {
            painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(text(), m_mode, width()));
            return;
        }
        const auto lines = layoutLines(width());
        qreal y = 0;
        for (const QString &line : lines) {
            painter.drawText(QRectF(0, y, width(), metrics.lineSpacing()), Qt::AlignLeft | Qt::AlignTop, line);
            y += metrics.lineSpacing();
        }
    }

private:
    int lineCount(int width) const { return std::max<int>(1, layoutLines(width).size()); }

    // The lines shown at width: wrapped, at most m_maxLines, the last elided
    // when text remains.
    QStringList layoutLines(int width) const
    {
        QStringList lines;
        if (width <= 0 || text().isEmpty())
            return lines;
        QTextLayout layout(text(), font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (;;) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(width);
            if (lines.size() + 1 == m_maxLines) {
                const QString rest = text().mid(line.textStart()).simplified();
                lines.append(QFontMetricsF(font()).elidedText(rest, Qt::ElideRight, width));
                break;
            }
            lines.append(text().mid(line.textStart(), line.textLength()).trimmed());
        }
        layout.endLayout();
        return lines;
    }

    int m_maxLines;
    Qt::TextElideMode m_mode;
};

// A small tag on a rounded rectangle: the version and identifier badges. A
// tag that may shrink (the identifier) elides its text when space runs out.
class Badge final : public QLabel
{
public:
    Badge(const QString &text, QFont::Weight weight, StyleOf style, bool shrinks, QWidget *parent = nullptr)
        : QLabel(text, parent), m_style(style), m_shrinks(shrinks)
    {
        ThemeFont::apply(this, 10, weight, ThemeFont::Face::Numeric);
        setSizePolicy(shrinks ? QSizePolicy::Preferred : QSizePolicy::Fixed, QSizePolicy::Fixed);
        setToolTip(text);
    }

    QSize sizeHint() const override
    {
        const QSizeF size = PillPainter::sizeFor(text(), font(), kPadding, 2);
        return {qCeil(size.width()), qCeil(size.height())};
    }
    QSize minimumSizeHint() const override
    {
        if (!m_shrinks)
            return sizeHint();
        const QSizeF size = PillPainter::sizeFor(QStringLiteral("abc…"), font(), kPadding, 2);
        return {std::min(qCeil(size.width()), sizeHint().width()), sizeHint().height()};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::TextAntialiasing);
        const QString shown = QFontMetricsF(font()).elidedText(text(), Qt::ElideRight, width() - 2 * kPadding);
        PillPainter::paint(&painter, QRectF(rect()), shown, font(), m_style(palette()), 4);
    }

private:
    static constexpr qreal kPadding = 6;
    StyleOf m_style;
    bool m_shrinks;
};

// A borderless button whose face is ordinary child widgets (icon, labels,
// symbols); the children let every click through to it.
class LinkArea final : public QAbstractButton
{
public:
    explicit LinkArea(QWidget *parent = nullptr) : QAbstractButton(parent)
    {
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
    }

    // Call once the face is complete.
    void passClicksThrough()
    {
        for (QWidget *child : findChildren<QWidget *>())
            child->setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    QSize sizeHint() const override { return layout() ? layout()->sizeHint() : QSize(); }
    QSize minimumSizeHint() const override { return layout() ? layout()->minimumSize() : QSize(); }
    bool hasHeightForWidth() const override { return layout() && layout()->hasHeightForWidth(); }
    int heightForWidth(int width) const override { return layout() ? layout()->totalHeightForWidth(width) : -1; }

protected:
    void paintEvent(QPaintEvent *) override {}
};

PillStyle cardStyle(const QPalette &palette)
{
    return {
        ThemeColor::controlBackground(palette), {}, ThemeColor::withOpacity(ThemeColor::secondary(palette), 0.12), 1};
}

PillStyle drawerStyle(const QPalette &palette)
{
    return {ThemeColor::withOpacity(ThemeColor::controlBackground(palette), 0.6), {}, {}, 0};
}

PillStyle versionBadgeStyle(const QPalette &palette)
{
    const QColor accent = ThemeColor::accent(palette);
    return {ThemeColor::withOpacity(accent, 0.12), accent, {}, 0};
}

PillStyle idBadgeStyle(const QPalette &palette)
{
    return {ThemeColor::withOpacity(ThemeColor::separator(palette), 0.2), ThemeColor::secondary(palette), {}, 0};
}

} // namespace

BrewPreviewCard::BrewPreviewCard(AppContext &context, AppItem app, bool expanded, std::function<void()> onSave,
                                 std::function<void()> onOpenDetail, std::function<void(bool)> onToggle,
                                 QWidget *parent)
    : QWidget(parent), m_context(context), m_app(std::move(app)), m_expanded(expanded), m_onSave(std::move(onSave)),
      m_onOpenDetail(std::move(onOpenDetail)), m_onToggle(std::move(onToggle))
{
    m_drawerAnimation = new QVariantAnimation(this);
    m_drawerAnimation->setDuration(kDrawerAnimationMs);
    m_drawerAnimation->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_drawerAnimation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { m_drawer->setMaximumHeight(value.toInt()); });
    connect(m_drawerAnimation, &QVariantAnimation::finished, this, [this] {
        m_drawer->setVisible(m_expanded);
        m_drawer->setMaximumHeight(QWIDGETSIZE_MAX);
    });

    setObjectName(QStringLiteral("previewCard"));
    auto *card = new QVBoxLayout(this);
    card->setContentsMargins(14, 14, 14, 14);
    card->setSpacing(12);
    card->addWidget(buildCardHeader(m_app));

    const ThemeColor::Tone accent = &ThemeColor::accent;
    auto *toggle = new LinkArea;
    toggle->setObjectName(QStringLiteral("drawerToggle"));
    auto *toggleFace = new QHBoxLayout(toggle);
    toggleFace->setContentsMargins(0, 2, 0, 0);
    toggleFace->setSpacing(4);
    m_drawerToggleText = Labels::text({}, 11, QFont::Medium, accent);
    m_drawerToggleSymbol = new QLabel;
    m_drawerToggleSymbol->setFixedSize(qCeil(Symbols::boxSize(10)), qCeil(Symbols::boxSize(10)));
    ThemeWatcher::follow(m_drawerToggleSymbol, [this](const QPalette &) { refreshDrawerToggle(); });
    toggleFace->addWidget(m_drawerToggleText);
    toggleFace->addWidget(m_drawerToggleSymbol);
    toggle->passClicksThrough();
    connect(toggle, &QAbstractButton::clicked, this, [this] { m_onToggle(!m_expanded); });
    card->addWidget(toggle, 0, Qt::AlignLeft);

    m_drawer = buildDrawer(m_app);
    m_drawer->setVisible(m_expanded);
    card->addWidget(m_drawer);

    refreshLibraryMark();
    connect(&m_context.store, &AppStoreService::appsChanged, this, &BrewPreviewCard::refreshLibraryMark);
    connect(&m_context.store, &AppStoreService::installedAppMapChanged, this, &BrewPreviewCard::refreshIcon);
}

void BrewPreviewCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    PillPainter::paintBackground(&painter, QRectF(rect()), cardStyle(palette()), 10);
}

QWidget *BrewPreviewCard::buildCardHeader(const AppItem &app)
{
    const ThemeColor::Tone accent = &ThemeColor::accent;
    auto *header = new QWidget;
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);

    auto *link = new LinkArea;
    link->setObjectName(QStringLiteral("cardLink"));
    auto *linkFace = new QHBoxLayout(link);
    linkFace->setContentsMargins(0, 0, 0, 0);
    linkFace->setSpacing(12);
    m_icon = new AppIconView(m_context.icons, app, 54);
    m_icon->setObjectName(QStringLiteral("appIcon"));
    refreshIcon();
    linkFace->addWidget(m_icon, 0, Qt::AlignTop);

    auto *titles = new QVBoxLayout;
    titles->setSpacing(4);
    auto *nameRow = new QHBoxLayout;
    nameRow->setSpacing(6);
    auto *name = new ElidedLabel(app.name, 1, Qt::ElideRight);
    name->setObjectName(QStringLiteral("appName"));
    ThemeFont::apply(name, 16, QFont::DemiBold);
    Labels::followTextColor(name, &ThemeColor::primary);
    nameRow->addWidget(name);
    auto *version =
        new Badge(QStringLiteral("v") + BrewImportSection::shortVersion(app.currentVersion), QFont::DemiBold, versionBadgeStyle, false);
    version->setObjectName(QStringLiteral("versionBadge"));
    nameRow->addWidget(version);
    auto *id = new Badge(app.id, QFont::Normal, idBadgeStyle, true);
    id->setObjectName(QStringLiteral("idBadge"));
    nameRow->addWidget(id);
    nameRow->addWidget(Labels::symbol(QStringLiteral("chevron.right"), 11, accent));
    nameRow->addStretch(1);
    titles->addLayout(nameRow);
    if (!app.summary.isEmpty()) {
        auto *summary = new ElidedLabel(app.summary, 2, Qt::ElideRight);
        summary->setObjectName(QStringLiteral("appSummary"));
        ThemeFont::apply(summary, 12);
        Labels::followTextColor(summary, &ThemeColor::secondary);
        titles->addWidget(summary);
    }
    auto *hint = new QHBoxLayout;
    hint->setSpacing(4);
    hint->addWidget(Labels::text(QStringLiteral("点击查看《发现应用》同款完整详情页"), 11, QFont::Medium, accent));
    hint->addWidget(Labels::symbol(QStringLiteral("arrow.up.forward.app"), 10, accent));
    hint->addStretch(1);
    titles->addLayout(hint);
    linkFace->addLayout(titles, 1);
    link->passClicksThrough();
    connect(link, &QAbstractButton::clicked, this, [this] { m_onOpenDetail(); });
    row->addWidget(link, 1);

    auto *actions = new QVBoxLayout;
    actions->setSpacing(8);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    auto *detail = FormStyle::button(QStringLiteral("查看详情"), FormStyle::ButtonKind::bordered,
                                     FormStyle::ButtonSize::regular, 12, QFont::Medium);
    detail->setObjectName(QStringLiteral("detailButton"));
    ThemeWatcher::follow(detail, [detail](const QPalette &theme) {
        detail->setIcon(Symbols::icon(QStringLiteral("info.circle"), ThemeColor::primary(theme), 12));
    });
    connect(detail, &QPushButton::clicked, this, [this] { m_onOpenDetail(); });
    buttons->addWidget(detail);
    auto *save = FormStyle::button(QStringLiteral("保存至应用库"), FormStyle::ButtonKind::prominent,
                                   FormStyle::ButtonSize::regular, 12, QFont::Medium);
    save->setObjectName(QStringLiteral("saveButton"));
    connect(save, &QPushButton::clicked, this, [this] { m_onSave(); });
    buttons->addWidget(save);
    m_saveButton = save;
    auto *mark = new QWidget;
    mark->setObjectName(QStringLiteral("inLibraryMark"));
    auto *markRow = new QHBoxLayout(mark);
    markRow->setContentsMargins(0, 0, 0, 0);
    markRow->setSpacing(4);
    markRow->addWidget(Labels::symbol(QStringLiteral("checkmark.circle.fill"), 12, &ThemeColor::green));
    markRow->addWidget(Labels::text(QStringLiteral("已在应用库"), 12, QFont::Medium, &ThemeColor::secondary));
    buttons->addWidget(mark);
    m_inLibraryMark = mark;
    actions->addLayout(buttons);
    auto *install = new ActionButton(app, m_context);
    install->setObjectName(QStringLiteral("installControl"));
    actions->addWidget(install, 0, Qt::AlignRight);
    actions->addStretch(1);
    row->addLayout(actions);
    return header;
}

QWidget *BrewPreviewCard::buildDrawer(const AppItem &app)
{
    const ThemeColor::Tone secondary = &ThemeColor::secondary;
    const ThemeColor::Tone value = ThemeColor::faded(&ThemeColor::primary, 0.85);

    auto *drawer = new QWidget;
    drawer->setObjectName(QStringLiteral("drawer"));
    auto *column = new QVBoxLayout(drawer);
    column->setContentsMargins(0, 2, 0, 0);
    column->setSpacing(2);
    column->addWidget(new SeparatorLine);
    column->addSpacing(2);

    auto *panel = new TintedPanel(drawerStyle, 6);
    auto *grid = new QGridLayout(panel);
    grid->setContentsMargins(10, 10, 10, 10);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);
    grid->setColumnMinimumWidth(0, kDetailLabelWidth);
    grid->setColumnStretch(1, 1);
    int line = 0;
    const auto addLabel = [&](const QString &text, Qt::Alignment vertical = Qt::AlignTop) {
        grid->addWidget(Labels::text(text, 11, QFont::Medium, secondary), line, 0, Qt::AlignLeft | vertical);
    };
    const auto detailRow = [&](const QString &label, const QString &text, bool isNumeric, const QString &name) {
        addLabel(label + QLatin1Char(':'));
        auto *shown =
            Labels::text(text, 11, QFont::Normal, value, isNumeric ? ThemeFont::Face::Numeric : ThemeFont::Face::PingFang);
        shown->setObjectName(name);
        shown->setWordWrap(true);
        shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(shown, line++, 1, 1, 2, Qt::AlignTop);
    };

    detailRow(QStringLiteral("完整版本标识"), app.currentVersion, true, QStringLiteral("fullVersion"));
    if (app.downloadUrl) {
        // The copy button makes this row taller; its texts stay centred on it.
        addLabel(QStringLiteral("下载地址:"), Qt::AlignVCenter);
        auto *address = new ElidedLabel(*app.downloadUrl, 1, Qt::ElideMiddle);
        address->setObjectName(QStringLiteral("downloadAddress"));
        ThemeFont::apply(address, 11, QFont::Normal, ThemeFont::Face::Numeric);
        Labels::followTextColor(address, value);
        address->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        grid->addWidget(address, line, 1);
        auto *copy = FormStyle::button(QStringLiteral("复制"), FormStyle::ButtonKind::bordered,
                                       FormStyle::ButtonSize::small, 10, QFont::Medium);
        copy->setObjectName(QStringLiteral("copyAddressButton"));
        connect(copy, &QPushButton::clicked, this, [address = *app.downloadUrl] {
            QClipboard *clipboard = QGuiApplication::clipboard();
            clipboard->clear();
            clipboard->setText(address);
        });
        grid->addWidget(copy, line++, 2);
    }
    if (AppDetailView::isLinkableHomepage(app.homepage)) {
        addLabel(QStringLiteral("官方主页:"));
        auto *link = Labels::text(
            QStringLiteral("<a href=\"%1\">%2</a>").arg(app.homepage->toHtmlEscaped(), app.homepage->toHtmlEscaped()),
            11, QFont::Normal, value, ThemeFont::Face::Numeric);
        link->setObjectName(QStringLiteral("homepageLink"));
        link->setTextFormat(Qt::RichText);
        link->setCursor(Qt::PointingHandCursor);
        connect(link, &QLabel::linkActivated, this,
                [this](const QString &url) { m_context.installer.workspace().open(url); });
        grid->addWidget(link, line++, 1, 1, 2, Qt::AlignLeft | Qt::AlignTop);
    }
    detailRow(QStringLiteral("安装包介质"), title(app.resolvedPackageType()), false, QStringLiteral("packageMedium"));
    column->addWidget(panel);
    return drawer;
}

void BrewPreviewCard::setExpanded(bool expanded)
{
    if (expanded == m_expanded)
        return;
    m_expanded = expanded;
    refreshDrawerToggle();
    if (!m_drawer)
        return;
    const int from = m_drawer->isVisible() ? m_drawer->height() : 0;
    m_drawerAnimation->stop();
    m_drawer->setMaximumHeight(from);
    m_drawer->show();
    const int target = m_drawer->hasHeightForWidth() && m_drawer->width() > 0
                           ? m_drawer->heightForWidth(m_drawer->width())
                           : m_drawer->sizeHint().height();
    m_drawerAnimation->setStartValue(from);
    m_drawerAnimation->setEndValue(expanded ? target : 0);
    m_drawerAnimation->start();
}

// An installed copy lends the card its own bundle icon.
void BrewPreviewCard::refreshIcon()
{
    if (!m_icon)
        return;
    const AppInstallStatus status = InstalledDetector::checkStatus(m_app, m_context.store.installedAppMap());
    m_icon->setInstalledPath(status.isInstalledOrUpdatable() ? std::optional<QString>(status.path) : std::nullopt);
}

void BrewPreviewCard::refreshDrawerToggle()
{
    if (!m_drawerToggleText)
        return;
    m_drawerToggleText->setText(m_expanded ? QStringLiteral("收起技术参数抽屉")
                                                   : QStringLiteral("展开技术参数抽屉"));
    m_drawerToggleSymbol->setPixmap(
        Symbols::pixmap(m_expanded ? QStringLiteral("chevron.up") : QStringLiteral("chevron.down"),
                        ThemeColor::accent(QApplication::palette()), 10));
}

void BrewPreviewCard::refreshLibraryMark()
{
    if (!m_saveButton)
        return;
    const bool saved = m_context.store.app(m_app.id).has_value();
    m_saveButton->setVisible(!saved);
    m_inLibraryMark->setVisible(saved);
}
