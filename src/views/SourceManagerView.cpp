#include "views/SourceManagerView.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "models/ZelvoError.h"
#include "services/SourceStore.h"
#include "services/SourceTexts.h"
#include "views/AppContext.h"
#include "views/components/FormStyle.h"
#include "views/components/Labels.h"
#include "views/components/MessageLine.h"
#include "views/components/SeparatorLine.h"
#include "views/components/SymbolTextButton.h"
#include "views/components/ThemeColor.h"

namespace {

constexpr int kSide = 24;
constexpr int kSpacing = 14;

QPushButton *smallButton(const QString &text, QWidget *parent)
{
    return FormStyle::button(text, FormStyle::ButtonKind::bordered, FormStyle::ButtonSize::small, 12, QFont::Normal,
                             parent);
}

} // namespace

SourceManagerView::SourceManagerView(AppContext &context, std::function<void()> onBack, QWidget *parent)
    : QWidget(parent), m_context(context)
{
    setObjectName(QStringLiteral("sourceManager"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    outer->addWidget(scroll);
    auto *page = new QWidget(scroll);
    scroll->setWidget(page);
    auto *column = new QVBoxLayout(page);
    column->setContentsMargins(kSide, 16, kSide, kSide);
    column->setSpacing(kSpacing);

    auto *back = new SymbolTextButton(QStringLiteral("chevron.left"), 13, QStringLiteral("返回软件源"), page);
    back->setObjectName(QStringLiteral("backButton"));
    back->setFontSpec(13, QFont::Normal);
    connect(back, &QAbstractButton::clicked, this, [onBack = std::move(onBack)] { onBack(); });
    column->addWidget(back, 0, Qt::AlignLeft);
    column->addWidget(FormStyle::sectionHeading(
        QStringLiteral("管理软件源"),
        QStringLiteral("软件源的本地副本每天最多自动刷新一次，离线时仍可浏览。"), page));

    // The Homebrew API base.
    QStringList choices;
    for (const auto &base : m_context.sources.apiBases())
        choices << base.label;
    choices << QStringLiteral("自定义地址");
    m_baseChoice = FormStyle::comboBox(choices, page);
    m_baseChoice->setObjectName(QStringLiteral("apiBaseChoice"));
    m_customBase = FormStyle::lineEdit(QStringLiteral("https://mirror.example.com/homebrew-bottles/api"), page);
    m_customBase->setObjectName(QStringLiteral("customApiBase"));
    auto *apply = FormStyle::button(QStringLiteral("使用此地址"), FormStyle::ButtonKind::bordered,
                                    FormStyle::ButtonSize::regular, 12, QFont::Normal, page);
    apply->setObjectName(QStringLiteral("applyApiBase"));
    auto *baseRow = new QHBoxLayout;
    baseRow->addWidget(m_baseChoice);
    baseRow->addWidget(m_customBase, 1);
    baseRow->addWidget(apply);
    auto *baseBox = new QWidget(page);
    baseBox->setLayout(baseRow);
    baseRow->setContentsMargins(0, 0, 0, 0);
    column->addWidget(FormStyle::fieldGroup(QStringLiteral("Homebrew API 地址（应用目录与 Cask 查询共用）"), baseBox, page));
    const auto showBase = [this] {
        const QString current = m_context.sources.brewApiBase();
        int index = int(m_context.sources.apiBases().size());
        for (int i = 0; i < m_context.sources.apiBases().size(); ++i)
            if (m_context.sources.apiBases().at(i).url == current)
                index = i;
        m_baseChoice->setCurrentIndex(index);
        m_customBase->setText(index == m_context.sources.apiBases().size() ? current : QString());
        m_customBase->setVisible(index == m_context.sources.apiBases().size());
    };
    connect(m_baseChoice, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_customBase->setVisible(index == m_context.sources.apiBases().size()); });
    connect(apply, &QAbstractButton::clicked, this, &SourceManagerView::applyApiBase);
    connect(&context.sources, &SourceStore::brewApiBaseChanged, this, showBase);
    showBase();

    m_messageRow = new QWidget(page);
    auto *messageLayout = new QHBoxLayout(m_messageRow);
    messageLayout->setContentsMargins(0, 0, 0, 0);
    m_message = new MessageLine(m_messageRow);
    m_message->setObjectName(QStringLiteral("managerMessage"));
    messageLayout->addWidget(m_message, 1);
    m_messageRow->hide();
    column->addWidget(m_messageRow);

    column->addWidget(new SeparatorLine(Qt::Horizontal, page));
    m_rows = new QVBoxLayout;
    m_rows->setSpacing(10);
    column->addLayout(m_rows);
    column->addWidget(new SeparatorLine(Qt::Horizontal, page));

    m_address = FormStyle::lineEdit(QStringLiteral("https://example.com/catalog.json"), page);
    m_address->setObjectName(QStringLiteral("subscribeField"));
    m_subscribe = FormStyle::button(QStringLiteral("订阅"), FormStyle::ButtonKind::prominent,
                                    FormStyle::ButtonSize::regular, 12, QFont::Medium, page);
    m_subscribe->setObjectName(QStringLiteral("subscribeButton"));
    auto *addRow = new QHBoxLayout;
    addRow->setContentsMargins(0, 0, 0, 0);
    addRow->addWidget(m_address, 1);
    addRow->addWidget(m_subscribe);
    auto *addBox = new QWidget(page);
    addBox->setLayout(addRow);
    column->addWidget(FormStyle::fieldGroup(QStringLiteral("订阅应用目录（应用库格式的 JSON 地址）"), addBox, page));
    connect(m_subscribe, &QAbstractButton::clicked, this, &SourceManagerView::subscribe);
    connect(m_address, &QLineEdit::returnPressed, this, &SourceManagerView::subscribe);
    column->addStretch(1);

    connect(&context.sources, &SourceStore::sourcesChanged, this, &SourceManagerView::rebuildRows);
    rebuildRows();
}

QString SourceManagerView::messageText() const
{
    return m_messageRow->isVisible() ? m_message->text() : QString();
}

void SourceManagerView::showMessage(const QString &text, bool failure)
{
    m_message->setMessage(failure ? QStringLiteral("exclamationmark.triangle.fill")
                                  : QStringLiteral("checkmark.circle.fill"),
                          text, failure ? ThemeColor::Tone(&ThemeColor::red) : ThemeColor::Tone(&ThemeColor::green));
    m_messageRow->show();
}

void SourceManagerView::rebuildRows()
{
    while (QLayoutItem *item = m_rows->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    auto &store = m_context.sources;
    for (const CatalogSource &source : store.sources()) {
        auto *row = new QWidget;
        row->setObjectName(QStringLiteral("sourceRow-") + source.id);
        auto *layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *texts = new QVBoxLayout;
        texts->setSpacing(2);
        texts->addWidget(FormStyle::label(source.name, 13, QFont::DemiBold, row));
        const QString where = source.kind == CatalogKind::brewCasks ? store.apiBaseLabel(store.brewApiBase())
                                                                     : source.url;
        texts->addWidget(FormStyle::secondaryLabel(
            QStringLiteral("%1 · %2 · %3").arg(source.kindText(), SourceTexts::count(source), where), 11, row));
        auto *state = FormStyle::secondaryLabel(
            QStringLiteral("更新于%1 · %2")
                .arg(SourceTexts::age(source.checkedAt), SourceTexts::state(source, store.isRefreshing(source.id))),
            11, row);
        state->setObjectName(QStringLiteral("sourceState"));
        state->setWordWrap(true);
        if (!source.error.isEmpty())
            Labels::followTextColor(state, &ThemeColor::red);
        texts->addWidget(state);
        layout->addLayout(texts, 1);
        if (const auto &base = store.suggestedBase(); base && source.kind == CatalogKind::brewCasks) {
            auto *offer = FormStyle::button(QStringLiteral("改用%1").arg(base->label), FormStyle::ButtonKind::prominent,
                                            FormStyle::ButtonSize::small, 12, QFont::Medium, row);
            offer->setObjectName(QStringLiteral("mirrorOffer"));
            connect(offer, &QAbstractButton::clicked, this, [this, url = base->url] {
                m_context.sources.setBrewApiBase(url);
                refresh(SourceStore::brewSourceId());
            });
            layout->addWidget(offer);
        }
        auto *refreshButton = smallButton(QStringLiteral("刷新"), row);
        refreshButton->setObjectName(QStringLiteral("refreshSource"));
        refreshButton->setEnabled(!store.isRefreshing(source.id));
        connect(refreshButton, &QAbstractButton::clicked, this, [this, id = source.id] { refresh(id); });
        layout->addWidget(refreshButton);
        auto *removeButton = smallButton(QStringLiteral("移除"), row);
        removeButton->setObjectName(QStringLiteral("removeSource"));
        connect(removeButton, &QAbstractButton::clicked, this, [this, id = source.id] { remove(id); });
        layout->addWidget(removeButton);
        m_rows->addWidget(row);
    }
    if (store.sources().isEmpty())
        m_rows->addWidget(FormStyle::secondaryLabel(QStringLiteral("还没有软件源。"), 12));
}

void SourceManagerView::subscribe()
{
    const QString address = m_address->text().trimmed();
    if (address.isEmpty())
        return;
    m_subscribe->setEnabled(false);
    QPointer<SourceManagerView> self(this);
    m_context.sources.subscribe(address)
        .then(this,
              [this](const CatalogSource &source) {
                  m_subscribe->setEnabled(true);
                  m_address->clear();
                  showMessage(QStringLiteral("已订阅「%1」：%2").arg(source.name, SourceTexts::count(source)), false);
              })
        .onFailed(this, [this](const ZelvoError &error) {
            m_subscribe->setEnabled(true);
            showMessage(QStringLiteral("未能订阅：") + error.localizedDescription(), true);
        });
}

void SourceManagerView::refresh(const QString &sourceId)
{
    m_context.sources.refresh(sourceId)
        .then(this,
              [this, sourceId] {
                  if (const auto source = m_context.sources.source(sourceId))
                      showMessage(QStringLiteral("「%1」已是最新：%2").arg(source->name, SourceTexts::count(*source)),
                                  false);
              })
        .onFailed(this, [this, sourceId](const ZelvoError &error) {
            const auto source = m_context.sources.source(sourceId);
            showMessage(QStringLiteral("「%1」刷新失败：%2").arg(source ? source->name : sourceId,
                                                              error.localizedDescription()),
                        true);
        });
}

void SourceManagerView::remove(const QString &sourceId)
{
    const auto source = m_context.sources.source(sourceId);
    if (source && m_context.sources.remove(sourceId))
        showMessage(QStringLiteral("已移除「%1」").arg(source->name), false);
}

void SourceManagerView::applyApiBase()
{
    const int index = m_baseChoice->currentIndex();
    const auto &bases = m_context.sources.apiBases();
    const QString chosen = index < bases.size() ? bases.at(index).url : m_customBase->text();
    const QString before = m_context.sources.brewApiBase();
    m_context.sources.setBrewApiBase(chosen);
    if (m_context.sources.brewApiBase() == before && SourceStore::normalizedApiBase(chosen) != before) {
        showMessage(QStringLiteral("请输入以 https:// 开头的地址"), true);
        return;
    }
    refresh(SourceStore::brewSourceId());
}
