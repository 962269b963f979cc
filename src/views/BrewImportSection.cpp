#include "views/BrewImportSection.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "services/AppStoreService.h"
#include "services/BrewLookup.h"
#include "views/AppContext.h"
#include "views/BrewPreviewCard.h"
#include "views/components/ActivitySpinner.h"
#include "views/components/ChipButton.h"
#include "views/components/ChipStrip.h"
#include "views/components/FormStyle.h"
#include "views/components/Labels.h"
#include "views/components/MessageLine.h"
#include "views/components/PillPainter.h"
#include "views/components/TintedPanel.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"
#include "views/components/ThemeWatcher.h"

namespace {

constexpr int kSpinnerFrameWidth = 50;

using StyleOf = TintedPanel::StyleOf;

PillStyle errorStyle(const QPalette &palette)
{
    return {ThemeColor::withOpacity(ThemeColor::red(palette), 0.1), {}, {}, 0};
}

PillStyle successStyle(const QPalette &palette)
{
    return {ThemeColor::withOpacity(ThemeColor::green(palette), 0.1), {}, {}, 0};
}

// A red or green outcome line: the message line on a tint of its colour.
TintedPanel *tintedLine(StyleOf tint, MessageLine *message)
{
    auto *line = new TintedPanel(tint, 6);
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
    header->addWidget(Labels::symbol(QStringLiteral("magnifyingglass"), 11, &ThemeColor::accent));
    m_candidateHeader = Labels::text({}, 11, QFont::Medium, &ThemeColor::secondary);
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

    connect(m_lookup, &BrewLookup::resolvingChanged, this, &BrewImportSection::refreshQueryButton);
    connect(m_lookup, &BrewLookup::resolvedAppChanged, this, &BrewImportSection::rebuildCard);
    connect(m_lookup, &BrewLookup::messagesChanged, this, &BrewImportSection::showMessages);
    connect(m_lookup, &BrewLookup::candidatesChanged, this, &BrewImportSection::showCandidates);
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
                            &ThemeColor::red);
    m_errorLine->setVisible(error.has_value());
    m_successText->setMessage(QStringLiteral("checkmark.circle.fill"), success.value_or(QString()),
                              &ThemeColor::green);
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
    for (const QString &token : std::as_const(m_shownCandidates)) {
        auto *capsule = new ChipButton(token);
        capsule->setCheckable(true);
        capsule->setPadding(10, 4);
        capsule->setCornerRadius(12);
        capsule->setFontSpec(11, QFont::Normal, QFont::Bold, ThemeFont::Face::Numeric);
        ThemeWatcher::follow(capsule, [capsule](const QPalette &theme) {
            capsule->setStyles(PillStyle{ThemeColor::controlBackground(theme), ThemeColor::primary(theme),
                                         ThemeColor::withOpacity(ThemeColor::secondary(theme), 0.15), 1},
                               PillStyle{ThemeColor::accent(theme), ThemeColor::onAccent(theme), {}, 0});
        });
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
    if (m_card) {
        // The card may be replaced while one of its own buttons is being handled.
        m_card->hide();
        m_card->deleteLater();
        m_card = nullptr;
    }
    if (!resolvedApp())
        return;
    m_card = new BrewPreviewCard(
        m_context, *resolvedApp(), m_isDetailExpanded, [this] { saveResolvedApp(); }, [this] { openDetail(); },
        [this](bool expanded) { setDetailExpanded(expanded); });
    m_cardHolder->addWidget(m_card);
    // A layout shows a widget added to a visible parent only later; show it now.
    m_card->show();
}

void BrewImportSection::setDetailExpanded(bool expanded)
{
    if (expanded == m_isDetailExpanded)
        return;
    m_isDetailExpanded = expanded;
    if (m_card)
        m_card->setExpanded(expanded);
}

void BrewImportSection::openDetail()
{
    if (resolvedApp() && m_onOpenDetail)
        m_onOpenDetail(*resolvedApp());
}
