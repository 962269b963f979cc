#include "views/UpdatesView.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

#include "models/OutdatedApp.h"
#include "services/UpdateCenter.h"
#include "services/UpdateQueue.h"
#include "views/components/AppIconView.h"
#include "views/components/ChipButton.h"
#include "views/components/Labels.h"
#include "views/components/LinearProgressBar.h"
#include "views/components/MessageLine.h"
#include "views/components/SeparatorLine.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"
#include "views/components/ThemeWatcher.h"

namespace {

constexpr int kPageMargin = 24;
constexpr int kIconSize = 40;

void stylePill(ChipButton *button, const QPalette &pal, bool prominent)
{
    const QColor border = ThemeColor::withOpacity(ThemeColor::primary(pal), 0.15);
    button->setStyles(prominent ? PillStyle{ThemeColor::accent(pal), ThemeColor::onAccent(pal), {}, 0}
                                : PillStyle{ThemeColor::controlBackground(pal), ThemeColor::primary(pal), border, 1});
}

} // namespace

// One outdated app: icon, name, versions, what the queue is doing with it.
class UpdateRow final : public QWidget
{
public:
    UpdateRow(AppContext &context, const OutdatedApp &row, QWidget *parent) : QWidget(parent), m_row(row)
    {
        setObjectName(QStringLiteral("updateRow_") + row.app.id);
        auto *icon = new AppIconView(context.icons, row.app, kIconSize, row.installed.bundlePath, this);
        m_name = Labels::text(row.app.displayName(), 14, QFont::Medium, &ThemeColor::primary,
                              ThemeFont::Face::PingFang, this);
        m_versions = Labels::text(QStringLiteral("%1 → %2").arg(row.installedVersion, row.availableVersion()), 12,
                                  QFont::Normal, &ThemeColor::secondary, ThemeFont::Face::Numeric, this);
        m_versions->setObjectName(QStringLiteral("updateVersions"));
        m_note = Labels::text(row.note(), 11, QFont::Normal, &ThemeColor::secondary,
                              ThemeFont::Face::PingFang, this);
        // Its colour follows the row's phase as well as the theme.
        m_state = Labels::text(QString(), 11, QFont::Normal, [this](const QPalette &pal) { return stateColor(pal); },
                               ThemeFont::Face::PingFang, this);
        m_state->setObjectName(QStringLiteral("updateState"));
        m_state->setWordWrap(true);
        m_button = ChipButton::action(QStringLiteral("updateButton"), QStringLiteral("更新"), this);
        UpdateQueue &queue = context.updates.queue();
        connect(m_button, &QAbstractButton::clicked, this, [this, &queue] { queue.enqueue(m_row); });

        auto *texts = new QVBoxLayout;
        texts->setSpacing(2);
        auto *title = new QHBoxLayout;
        title->setSpacing(8);
        title->addWidget(m_name);
        title->addWidget(m_versions);
        title->addStretch(1);
        texts->addLayout(title);
        texts->addWidget(m_note);
        texts->addWidget(m_state);
        auto *layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 8, 0, 8);
        layout->setSpacing(12);
        layout->addWidget(icon, 0, Qt::AlignTop);
        layout->addLayout(texts, 1);
        layout->addWidget(m_button, 0, Qt::AlignVCenter);
        ThemeWatcher::follow(m_button, [this](const QPalette &theme) { stylePill(m_button, theme, false); });
        show(queue.state(row.installed.bundlePath));
    }

    void show(const UpdateQueue::RowState &state)
    {
        using Phase = UpdateQueue::Phase;
        m_phase = state.phase;
        QString text;
        switch (state.phase) {
        case Phase::waiting:
            text = QStringLiteral("等待更新…");
            break;
        case Phase::running:
            text = QStringLiteral("正在更新…");
            break;
        case Phase::failed:
            text = QStringLiteral("更新失败：") + state.reason;
            break;
        case Phase::succeeded:
            text = QStringLiteral("已更新");
            break;
        case Phase::idle:
            break;
        }
        m_state->setText(text);
        m_state->setVisible(!text.isEmpty());
        Labels::setTextColor(m_state, stateColor(QApplication::palette()));
        m_note->setVisible(!m_note->text().isEmpty());
        m_button->setEnabled(state.phase != Phase::waiting && state.phase != Phase::running);
    }

private:
    QColor stateColor(const QPalette &pal) const
    {
        switch (m_phase) {
        case UpdateQueue::Phase::running:
            return ThemeColor::accent(pal);
        case UpdateQueue::Phase::failed:
            return ThemeColor::red(pal);
        case UpdateQueue::Phase::succeeded:
            return ThemeColor::green(pal);
        case UpdateQueue::Phase::waiting:
        case UpdateQueue::Phase::idle:
            break;
        }
        return ThemeColor::secondary(pal);
    }

    OutdatedApp m_row;
    UpdateQueue::Phase m_phase = UpdateQueue::Phase::idle;
    QLabel *m_name;
    QLabel *m_versions;
    QLabel *m_note;
    QLabel *m_state;
    ChipButton *m_button;
};

UpdatesView::UpdatesView(AppContext &context, QWidget *parent) : QWidget(parent), m_context(context)
{
    setAutoFillBackground(true);
    auto *content = new QWidget;
    content->setAutoFillBackground(false);
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(kPageMargin, 12, kPageMargin, kPageMargin);
    column->setSpacing(0);
    m_rows = new QVBoxLayout;
    m_rows->setSpacing(0);
    column->addLayout(m_rows);
    m_empty = Labels::text(QStringLiteral("所有应用均已是最新版本"), 13, QFont::Normal,
                           &ThemeColor::secondary, ThemeFont::Face::PingFang, content);
    m_empty->setObjectName(QStringLiteral("updatesEmpty"));
    m_empty->setAlignment(Qt::AlignCenter);
    column->addSpacing(8);
    column->addWidget(m_empty);
    column->addStretch(1);

    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    scroll->setWidget(content);

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    root->addWidget(buildHeader());
    root->addWidget(new SeparatorLine(Qt::Horizontal, this));
    root->addWidget(scroll, 1);

    UpdateCenter &updates = m_context.updates;
    UpdateQueue &queue = updates.queue();
    connect(&updates, &UpdateCenter::outdatedChanged, this, &UpdatesView::showRows);
    connect(&updates, &UpdateCenter::checkingChanged, this, &UpdatesView::showProgress);
    connect(&queue, &UpdateQueue::progressChanged, this, &UpdatesView::showProgress);
    connect(&queue, &UpdateQueue::rowChanged, this, &UpdatesView::showRow);
    showRows();
    showProgress();
    ThemeWatcher::follow(this, [this](const QPalette &theme) { applyColors(theme); });
}

UpdatesView::~UpdatesView() = default;

QWidget *UpdatesView::buildHeader()
{
    auto *header = new QWidget(this);
    m_title = Labels::text(QStringLiteral("可更新"), 22, QFont::DemiBold, &ThemeColor::primary,
                           ThemeFont::Face::PingFang, header);
    m_title->setObjectName(QStringLiteral("updatesTitle"));
    m_subtitle = Labels::text(QString(), 12, QFont::Normal, &ThemeColor::secondary,
                              ThemeFont::Face::PingFang, header);
    m_subtitle->setObjectName(QStringLiteral("updatesSubtitle"));
    m_subtitle->setWordWrap(true);
    m_check = ChipButton::action(QStringLiteral("checkUpdatesButton"), QStringLiteral("检查更新"), header);
    m_updateAll = ChipButton::action(QStringLiteral("updateAllButton"), QStringLiteral("全部更新"), header);
    connect(m_check, &QAbstractButton::clicked, &m_context.updates, &UpdateCenter::check);
    connect(m_updateAll, &QAbstractButton::clicked, this, [this] {
        QList<OutdatedApp> counted;
        for (const OutdatedApp &row : m_context.updates.outdated())
            if (row.counted())
                counted << row;
        m_context.updates.queue().enqueueAll(counted);
    });

    m_progress = new LinearProgressBar(header);
    m_progress->setObjectName(QStringLiteral("updatesProgress"));
    m_progressText = Labels::text(QString(), 11, QFont::Normal, &ThemeColor::secondary,
                                  ThemeFont::Face::Numeric, header);
    m_progressText->setObjectName(QStringLiteral("updatesProgressText"));
    m_summary = new MessageLine(header);
    m_summary->setObjectName(QStringLiteral("updatesSummary"));

    auto *titles = new QVBoxLayout;
    titles->setSpacing(4);
    titles->addWidget(m_title);
    titles->addWidget(m_subtitle);
    auto *top = new QHBoxLayout;
    top->setSpacing(10);
    top->addLayout(titles, 1);
    top->addWidget(m_check, 0, Qt::AlignVCenter);
    top->addWidget(m_updateAll, 0, Qt::AlignVCenter);
    auto *progress = new QHBoxLayout;
    progress->setSpacing(10);
    progress->addWidget(m_progress, 1, Qt::AlignVCenter);
    progress->addWidget(m_progressText);

    auto *layout = new QVBoxLayout(header);
    layout->setContentsMargins(kPageMargin, 14, kPageMargin, 14);
    layout->setSpacing(8);
    layout->addLayout(top);
    layout->addLayout(progress);
    layout->addWidget(m_summary);
    return header;
}

void UpdatesView::showRows()
{
    m_rowByBundle.clear();
    while (QLayoutItem *item = m_rows->takeAt(0)) {
        delete item->widget();
        delete item;
    }

    const QList<OutdatedApp> &outdated = m_context.updates.outdated();
    for (qsizetype i = 0; i < outdated.size(); ++i) {
        if (i > 0)
            m_rows->addWidget(new SeparatorLine(Qt::Horizontal));
        auto *row = new UpdateRow(m_context, outdated[i], nullptr);
        m_rowByBundle.insert(outdated[i].installed.bundlePath, row);
        m_rows->addWidget(row);
    }
    m_empty->setVisible(outdated.isEmpty());
    const int count = m_context.updates.count();
    m_subtitle->setText(count > 0 ? QStringLiteral("%1 个应用有新版本可用").arg(count)
                                  : QStringLiteral("已安装的应用均为最新版本"));
    showProgress();
}

void UpdatesView::showProgress()
{
    const UpdateQueue &queue = m_context.updates.queue();
    const bool busy = queue.isBusy();
    const bool checking = m_context.updates.isChecking();
    m_updateAll->setEnabled(!busy && m_context.updates.count() > 0);
    m_check->setEnabled(!checking);
    m_progress->setVisible(busy);
    m_progressText->setVisible(busy || checking);
    if (busy) {
        m_progress->setValue(queue.total() > 0 ? double(queue.finished()) / queue.total() : 0.0);
        m_progressText->setText(QStringLiteral("正在更新 %1/%2").arg(queue.finished() + 1).arg(queue.total()));
    } else if (checking) {
        m_progressText->setText(QStringLiteral("正在检查更新…"));
    }
    const bool ended = !busy && queue.total() > 0;
    m_summary->setVisible(ended);
    if (ended) {
        if (queue.failedCount() > 0)
            m_summary->setMessage(QStringLiteral("exclamationmark.triangle.fill"), queue.summary(), &ThemeColor::red);
        else
            m_summary->setMessage(QStringLiteral("checkmark.circle.fill"), queue.summary(), &ThemeColor::green);
    }
}

void UpdatesView::showRow(const QString &bundlePath)
{
    if (UpdateRow *row = m_rowByBundle.value(bundlePath))
        row->show(m_context.updates.queue().state(bundlePath));
}

void UpdatesView::applyColors(const QPalette &pal)
{
    stylePill(m_check, pal, false);
    stylePill(m_updateAll, pal, true);
}
