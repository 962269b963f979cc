#include "views/BrewImportSection.h"

#include <QPointer>
#include <QCoreApplication>
#include <QAbstractButton>
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
#include "services/BrewLookup.h"
#include "services/BrewService.h"
#include "services/InstalledDetector.h"
#include "services/InstallerService.h"
#include "views/AppContext.h"
#include "views/AppDetailView.h"
#include "views/components/ActionButton.h"
#include "views/components/ActivitySpinner.h"
#include "views/components/AppIconView.h"
#include "views/components/ChipButton.h"
#include "views/components/ChipStrip.h"
#include "views/components/FormStyle.h"
#include "views/components/IconCache.h"
#include "views/components/Labels.h"
#include "views/components/MessageLine.h"
#include "views/components/PillPainter.h"
#include "views/components/SeparatorLine.h"
#include "views/components/Symbols.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"

namespace {

constexpr int kDrawerAnimationMs = 200;
constexpr int kDetailLabelWidth = 80;
constexpr int kSpinnerFrameWidth = 50;

using StyleOf = PillStyle (*)(const QPalette &);

// A rounded panel filled and outlined from the palette: the card, the drawer
// and the tinted message lines.
class Panel final : public QWidget
{
public:
    Panel(StyleOf style, qreal radius, QWidget *parent = nullptr) : QWidget(parent), m_style(style), m_radius(radius) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        PillPainter::paintBackground(&painter, QRectF(rect()), m_style(palette()), m_radius);
    }

private:
    StyleOf m_style;
    qreal m_radius;
};

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

PillStyle errorStyle(const QPalette &palette)
{
    return {ThemeColor::withOpacity(ThemeColor::red(palette), 0.1), {}, {}, 0};
}

PillStyle successStyle(const QPalette &palette)
{
    return {ThemeColor::withOpacity(ThemeColor::green(palette), 0.1), {}, {}, 0};
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

// A red or green outcome line: the message line on a tint of its colour.
Panel *tintedLine(StyleOf tint, MessageLine *message)
{
    auto *line = new Panel(tint, 6);
    auto *row = new QHBoxLayout(line);
    row->setContentsMargins(10, 10, 10, 10);
    row->addWidget(message);
    line->hide();
    return line;
}

} // namespace

BrewImportSection::BrewImportSection(AppContext &context, OpenDetail onOpenDetail, QWidget *parent)
    : QWidget(parent), m_context(context), m_onOpenDetail(std::move(onOpenDetail)),
      m_lookup(new BrewLookup(context.brew, context.sources, context.store, this))
{
    const QPalette pal = palette();
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(16);

    column->addWidget(FormStyle::sectionHeading(
        QStringLiteral("输入 Homebrew Cask 包名快速录入"),
        QStringLiteral("自动调用 Homebrew 数据源解析包名、版本、官方下载链接、说明信息，并缓存至本地。")));

    buildInputRow(column);

    m_candidateBlock = new QWidget;
    m_candidateBlock->setObjectName(QStringLiteral("candidateBlock"));
    auto *candidates = new QVBoxLayout(m_candidateBlock);
    candidates->setContentsMargins(0, 0, 0, 0);
    candidates->setSpacing(8);
    auto *header = new QHBoxLayout;
    header->setSpacing(4);
    header->addWidget(Labels::symbol(QStringLiteral("magnifyingglass"), 11, ThemeColor::accent(pal)));
    m_candidateHeader = Labels::text({}, 11, QFont::Medium, ThemeColor::secondary(pal));
    m_candidateHeader->setObjectName(QStringLiteral("candidateHeader"));
    header->addWidget(m_candidateHeader, 1);
    candidates->addLayout(header);
    m_candidateStrip = new ChipStrip;
    m_candidateStrip->setObjectName(QStringLiteral("candidateStrip"));
    candidates->addWidget(m_candidateStrip);
    m_candidateBlock->hide();
    column->addWidget(m_candidateBlock);

    m_errorText = new MessageLine;
    m_errorLine = tintedLine(errorStyle, m_errorText);
    m_errorLine->setObjectName(QStringLiteral("errorLine"));
    column->addWidget(m_errorLine);
    m_successText = new MessageLine;
    m_successLine = tintedLine(successStyle, m_successText);
    m_successLine->setObjectName(QStringLiteral("successLine"));
    column->addWidget(m_successLine);

    m_cardHolder = new QVBoxLayout;
    m_cardHolder->setContentsMargins(0, 0, 0, 0);
    column->addLayout(m_cardHolder);

    m_drawerAnimation = new QVariantAnimation(this);
    m_drawerAnimation->setDuration(kDrawerAnimationMs);
    m_drawerAnimation->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_drawerAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        if (m_drawer)
            m_drawer->setMaximumHeight(value.toInt());
    });
    connect(m_drawerAnimation, &QVariantAnimation::finished, this, [this] {
        if (!m_drawer)
            return;
        m_drawer->setVisible(m_isDetailExpanded);
        m_drawer->setMaximumHeight(QWIDGETSIZE_MAX);
    });

    connect(m_lookup, &BrewLookup::resolvingChanged, this, &BrewImportSection::refreshQueryButton);
    connect(m_lookup, &BrewLookup::resolvedAppChanged, this, &BrewImportSection::rebuildCard);
    connect(m_lookup, &BrewLookup::messagesChanged, this, &BrewImportSection::showMessages);
    connect(m_lookup, &BrewLookup::candidatesChanged, this, &BrewImportSection::showCandidates);
    connect(&m_context.store, &AppStoreService::appsChanged, this, &BrewImportSection::refreshLibraryMark);
    connect(&m_context.store, &AppStoreService::installedAppMapChanged, this, &BrewImportSection::refreshIcon);
}

QString BrewImportSection::shortVersion(const QString &version)
{
    const QStringList pieces = version.split(QLatin1Char(','), Qt::SkipEmptyParts);
    return pieces.isEmpty() ? version : pieces.first();
}

QString BrewImportSection::packageName() const
{
    return m_nameField->text();
}

void BrewImportSection::setPackageName(const QString &name)
{
    m_nameField->setText(name);
}

void BrewImportSection::buildInputRow(QVBoxLayout *column)
{
    auto *row = new QHBoxLayout;
    row->setSpacing(8);
    m_nameField = FormStyle::lineEdit(QStringLiteral("输入 Cask 包名，如 visual-studio-code / iterm2 / postman"));
    m_nameField->setObjectName(QStringLiteral("brewNameField"));
    connect(m_nameField, &QLineEdit::returnPressed, this, &BrewImportSection::startResolving);
    connect(m_nameField, &QLineEdit::textChanged, this, &BrewImportSection::refreshQueryButton);
    row->addWidget(m_nameField, 1);

    m_queryButton = FormStyle::button(QStringLiteral("查询解析"), FormStyle::ButtonKind::prominent,
                                      FormStyle::ButtonSize::regular, 12, QFont::Medium);
    m_queryButton->setObjectName(QStringLiteral("queryButton"));
    auto *face = new QHBoxLayout(m_queryButton);
    face->setContentsMargins(0, 0, 0, 0);
    m_spinner = new ActivitySpinner(12);
    m_spinner->hide();
    face->addWidget(m_spinner, 0, Qt::AlignCenter);
    connect(m_queryButton, &QPushButton::clicked, this, &BrewImportSection::startResolving);
    row->addWidget(m_queryButton);
    column->addLayout(row);
    refreshQueryButton();
}

void BrewImportSection::refreshQueryButton()
{
    m_queryButton->setEnabled(!isResolving() && !packageName().trimmed().isEmpty());
    if (isResolving()) {
        // The spinner sits in a frame of its own width, so the button keeps
        // roughly its size instead of collapsing around it.
        const int width = std::max(m_queryButton->width(), kSpinnerFrameWidth + 28);
        m_queryButton->setText(QString());
        m_queryButton->setFixedWidth(width);
        m_spinner->show();
    } else {
        m_spinner->hide();
        m_queryButton->setText(QStringLiteral("查询解析"));
        m_queryButton->setMinimumWidth(0);
        m_queryButton->setMaximumWidth(QWIDGETSIZE_MAX);
    }
}

bool BrewImportSection::isResolving() const
{
    return m_lookup->isResolving();
}

const std::optional<AppItem> &BrewImportSection::resolvedApp() const
{
    return m_lookup->resolvedApp();
}

const std::optional<QString> &BrewImportSection::errorMessage() const
{
    return m_lookup->errorMessage();
}

const std::optional<QString> &BrewImportSection::successTip() const
{
    return m_lookup->successTip();
}

const QStringList &BrewImportSection::candidateTokens() const
{
    return m_lookup->candidateTokens();
}

const std::optional<QString> &BrewImportSection::selectedCandidate() const
{
    return m_lookup->selectedCandidate();
}

void BrewImportSection::startResolving()
{
    m_lookup->start(packageName());
}

void BrewImportSection::resolveCandidate(const QString &token)
{
    m_lookup->resolveCandidate(token);
}

void BrewImportSection::saveResolvedApp()
{
    m_lookup->saveResolvedApp();
}

void BrewImportSection::showMessages()
{
    const auto &error = errorMessage();
    const auto &success = successTip();
    m_errorText->setMessage(QStringLiteral("exclamationmark.triangle.fill"), error.value_or(QString()),
                            ThemeColor::red(palette()));
    m_errorLine->setVisible(error.has_value());
    m_successText->setMessage(QStringLiteral("checkmark.circle.fill"), success.value_or(QString()),
                              ThemeColor::green(palette()));
    m_successLine->setVisible(success.has_value());
}

void BrewImportSection::showCandidates()
{
    if (candidateTokens() != m_shownCandidates || !m_candidateStrip->widget()) {
        m_shownCandidates = candidateTokens();
        rebuildCandidates();
    }
    for (auto *capsule : m_candidateStrip->widget()->findChildren<ChipButton *>())
        capsule->setChecked(capsule->text() == selectedCandidate());
}

void BrewImportSection::rebuildCandidates()
{
    m_candidateBlock->setVisible(!m_shownCandidates.isEmpty());
    m_candidateHeader->setText(
        QStringLiteral("相关模糊匹配包 (%1 个，点击可一键切换)：").arg(m_shownCandidates.size()));

    auto *strip = new QWidget;
    auto *row = new QHBoxLayout(strip);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    const QPalette pal = palette();
    const PillStyle normal{ThemeColor::controlBackground(pal), ThemeColor::primary(pal),
                           ThemeColor::withOpacity(ThemeColor::secondary(pal), 0.15), 1};
    const PillStyle selected{ThemeColor::accent(pal), Qt::white, {}, 0};
    for (const QString &token : std::as_const(m_shownCandidates)) {
        auto *capsule = new ChipButton(token);
        capsule->setCheckable(true);
        capsule->setPadding(10, 4);
        capsule->setCornerRadius(12);
        capsule->setFontSpec(11, QFont::Normal, QFont::Bold, ThemeFont::Face::Numeric);
        capsule->setStyles(normal, selected);
        capsule->setCheckedSymbol(QStringLiteral("checkmark"), 9);
        connect(capsule, &ChipButton::clicked, this, [this, token] {
            resolveCandidate(token);
            // A click toggles the capsule itself; what is highlighted is the selection alone.
            showCandidates();
        });
        row->addWidget(capsule);
    }
    row->addStretch(1);
    m_candidateStrip->setContent(strip);
}

void BrewImportSection::rebuildCard()
{
    m_drawerAnimation->stop();
    if (m_card) {
        // The card may be replaced while one of its own buttons is being handled.
        m_card->hide();
        m_card->deleteLater();
    }
    m_card = nullptr;
    m_icon = nullptr;
    m_saveButton = nullptr;
    m_inLibraryMark = nullptr;
    m_drawerToggleText = nullptr;
    m_drawerToggleSymbol = nullptr;
    m_drawer = nullptr;
    if (!resolvedApp())
        return;

    const AppItem &app = *resolvedApp();
    m_card = new Panel(cardStyle, 10);
    m_card->setObjectName(QStringLiteral("previewCard"));
    auto *card = new QVBoxLayout(m_card);
    card->setContentsMargins(14, 14, 14, 14);
    card->setSpacing(12);
    card->addWidget(buildCardHeader(app));

    const QColor accent = ThemeColor::accent(palette());
    auto *toggle = new LinkArea;
    toggle->setObjectName(QStringLiteral("drawerToggle"));
    auto *toggleFace = new QHBoxLayout(toggle);
    toggleFace->setContentsMargins(0, 2, 0, 0);
    toggleFace->setSpacing(4);
    m_drawerToggleText = Labels::text({}, 11, QFont::Medium, accent);
    m_drawerToggleSymbol = new QLabel;
    m_drawerToggleSymbol->setFixedSize(qCeil(Symbols::boxSize(10)), qCeil(Symbols::boxSize(10)));
    toggleFace->addWidget(m_drawerToggleText);
    toggleFace->addWidget(m_drawerToggleSymbol);
    toggle->passClicksThrough();
    refreshDrawerToggle();
    connect(toggle, &QAbstractButton::clicked, this, [this] { setDetailExpanded(!m_isDetailExpanded); });
    card->addWidget(toggle, 0, Qt::AlignLeft);

    m_drawer = buildDrawer(app);
    m_drawer->setVisible(m_isDetailExpanded);
    card->addWidget(m_drawer);

    refreshLibraryMark();
    m_cardHolder->addWidget(m_card);
    // A layout shows a widget added to a visible parent only later; show it now.
    m_card->show();
}

QWidget *BrewImportSection::buildCardHeader(const AppItem &app)
{
    const QPalette pal = palette();
    const QColor accent = ThemeColor::accent(pal);
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
    Labels::setTextColor(name, ThemeColor::primary(pal));
    nameRow->addWidget(name);
    auto *version =
        new Badge(QStringLiteral("v") + shortVersion(app.currentVersion), QFont::DemiBold, versionBadgeStyle, false);
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
        Labels::setTextColor(summary, ThemeColor::secondary(pal));
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
    connect(link, &QAbstractButton::clicked, this, &BrewImportSection::openDetail);
    row->addWidget(link, 1);

    auto *actions = new QVBoxLayout;
    actions->setSpacing(8);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    auto *detail = FormStyle::button(QStringLiteral("查看详情"), FormStyle::ButtonKind::bordered,
                                     FormStyle::ButtonSize::regular, 12, QFont::Medium);
    detail->setObjectName(QStringLiteral("detailButton"));
    detail->setIcon(Symbols::icon(QStringLiteral("info.circle"), ThemeColor::primary(pal), 12));
    connect(detail, &QPushButton::clicked, this, &BrewImportSection::openDetail);
    buttons->addWidget(detail);
    auto *save = FormStyle::button(QStringLiteral("保存至应用库"), FormStyle::ButtonKind::prominent,
                                   FormStyle::ButtonSize::regular, 12, QFont::Medium);
    save->setObjectName(QStringLiteral("saveButton"));
    connect(save, &QPushButton::clicked, this, &BrewImportSection::saveResolvedApp);
    buttons->addWidget(save);
    m_saveButton = save;
    auto *mark = new QWidget;
    mark->setObjectName(QStringLiteral("inLibraryMark"));
    auto *markRow = new QHBoxLayout(mark);
    markRow->setContentsMargins(0, 0, 0, 0);
    markRow->setSpacing(4);
    markRow->addWidget(Labels::symbol(QStringLiteral("checkmark.circle.fill"), 12, ThemeColor::green(pal)));
    markRow->addWidget(Labels::text(QStringLiteral("已在应用库"), 12, QFont::Medium, ThemeColor::secondary(pal)));
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

QWidget *BrewImportSection::buildDrawer(const AppItem &app)
{
    const QPalette pal = palette();
    const QColor secondary = ThemeColor::secondary(pal);
    const QColor value = ThemeColor::withOpacity(ThemeColor::primary(pal), 0.85);

    auto *drawer = new QWidget;
    drawer->setObjectName(QStringLiteral("drawer"));
    auto *column = new QVBoxLayout(drawer);
    column->setContentsMargins(0, 2, 0, 0);
    column->setSpacing(2);
    column->addWidget(new SeparatorLine);
    column->addSpacing(2);

    auto *panel = new Panel(drawerStyle, 6);
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
        Labels::setTextColor(address, value);
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

void BrewImportSection::setDetailExpanded(bool expanded)
{
    if (expanded == m_isDetailExpanded)
        return;
    m_isDetailExpanded = expanded;
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
void BrewImportSection::refreshIcon()
{
    if (!m_icon || !resolvedApp())
        return;
    const AppInstallStatus status = InstalledDetector::checkStatus(*resolvedApp(), m_context.store.installedAppMap());
    m_icon->setInstalledPath(status.isInstalledOrUpdatable() ? std::optional<QString>(status.path) : std::nullopt);
}

void BrewImportSection::refreshDrawerToggle()
{
    if (!m_drawerToggleText)
        return;
    m_drawerToggleText->setText(m_isDetailExpanded ? QStringLiteral("收起技术参数抽屉")
                                                   : QStringLiteral("展开技术参数抽屉"));
    m_drawerToggleSymbol->setPixmap(
        Symbols::pixmap(m_isDetailExpanded ? QStringLiteral("chevron.up") : QStringLiteral("chevron.down"),
                        ThemeColor::accent(palette()), 10));
}

void BrewImportSection::refreshLibraryMark()
{
    if (!resolvedApp() || !m_saveButton)
        return;
    const bool saved = m_context.store.app(resolvedApp()->id).has_value();
    m_saveButton->setVisible(!saved);
    m_inLibraryMark->setVisible(saved);
}

void BrewImportSection::openDetail()
{
    if (resolvedApp() && m_onOpenDetail)
        m_onOpenDetail(*resolvedApp());
}
