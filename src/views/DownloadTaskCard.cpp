#include "views/DownloadTaskCard.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <QtMath>

#include "views/components/Labels.h"
#include "views/components/LinearProgressBar.h"
#include "views/components/LiveTextLine.h"
#include "views/components/PillPainter.h"
#include "views/components/SymbolButton.h"
#include "views/components/Symbols.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeWatcher.h"
#include "views/components/ThemeFont.h"

namespace {

constexpr int kPadding = 12;
constexpr qreal kCornerRadius = 8;
constexpr qreal kIconSize = 18;
constexpr qreal kCloseSize = 14;

} // namespace

DownloadTaskCard::DownloadTaskCard(const DownloadTaskItem &task, QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    m_icon = new QLabel(this);
    m_icon->setFixedSize(qCeil(Symbols::boxSize(kIconSize)), qCeil(Symbols::boxSize(kIconSize)));

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("downloadTitle"));
    m_title->setTextFormat(Qt::PlainText);
    ThemeFont::apply(m_title, 13, QFont::DemiBold);

    m_figures = new LiveTextLine(this);
    m_figures->setObjectName(QStringLiteral("downloadDetail"));
    ThemeFont::apply(m_figures, 11, QFont::Normal, ThemeFont::Face::Numeric);

    m_reason = new QLabel(this);
    m_reason->setObjectName(QStringLiteral("downloadReason"));
    m_reason->setTextFormat(Qt::PlainText);
    m_reason->setWordWrap(true);
    m_reason->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ThemeFont::apply(m_reason, 11, QFont::Normal);

    m_close = new SymbolButton(QStringLiteral("xmark.circle"), kCloseSize, this);
    m_close->setObjectName(QStringLiteral("downloadClose"));
    m_close->setAccessibleName(QStringLiteral("移除此下载任务"));
    connect(m_close, &QAbstractButton::clicked, this, [this] {
        // Stopping a running transfer throws its bytes away: the first click asks.
        if (m_task.status.isDownloading() && !m_confirmingCancel) {
            setConfirmingCancel(true);
            return;
        }
        Q_EMIT closeRequested(m_task.id);
    });

    m_bar = new LinearProgressBar(this);
    m_bar->setObjectName(QStringLiteral("downloadProgress"));

    auto *lines = new QVBoxLayout;
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(2);
    lines->addWidget(m_title);
    lines->addWidget(m_figures);
    lines->addWidget(m_reason);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(m_icon, 0, Qt::AlignVCenter);
    row->addLayout(lines, 1);
    row->addWidget(m_close, 0, Qt::AlignVCenter);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column->setSpacing(8);
    column->addLayout(row);
    column->addWidget(m_bar);

    m_task = task;
    showTask();
    ThemeWatcher::follow(this, [this](const QPalette &theme) { applyColors(theme); });
}

QString DownloadTaskCard::detailText(const DownloadTaskItem &task)
{
    switch (task.status.kind) {
    case DownloadStatus::Kind::downloading: {
        const QString figures = task.status.received + QStringLiteral(" / ") + task.status.total +
                                QStringLiteral(" · ") + task.status.speed;
        const QString left = remainingText(task, QDateTime::currentDateTime());
        return left.isEmpty() ? figures : figures + QStringLiteral(" · ") + left;
    }
    case DownloadStatus::Kind::failed:
        return QStringLiteral("下载失败: ") + task.status.reason;
    case DownloadStatus::Kind::completed:
        return task.verified ? QStringLiteral("已完成 · 已校验") : QStringLiteral("已完成");
    case DownloadStatus::Kind::pending:
        return QStringLiteral("等待中");
    case DownloadStatus::Kind::paused:
        break;
    }
    return {};
}

QString DownloadTaskCard::remainingText(const DownloadTaskItem &task, const QDateTime &now)
{
    // The average since the start: steadier than the last second's speed.
    // Bytes kept from an earlier try arrived in no time and would flatter it.
    const qint64 elapsedMs = task.createdAt.isValid() ? task.createdAt.msecsTo(now) : 0;
    const qint64 left = task.totalBytes - task.receivedBytes;
    const qint64 fetched = task.receivedBytes - task.resumedBytes;
    if (task.totalBytes <= 0 || fetched <= 0 || left < 0 || elapsedMs < 1000)
        return {};
    const qint64 seconds = qCeil(double(left) * double(elapsedMs) / double(fetched) / 1000.0);
    if (seconds < 60)
        return QStringLiteral("剩余约 %1 秒").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("剩余约 %1 分 %2 秒").arg(seconds / 60).arg(seconds % 60);
    return QStringLiteral("剩余约 %1 小时 %2 分").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

void DownloadTaskCard::setConfirmingCancel(bool confirming)
{
    m_confirmingCancel = confirming;
    m_close->setSymbol(confirming ? QStringLiteral("xmark.circle.fill") : QStringLiteral("xmark.circle"));
    m_close->setColor(confirming ? ThemeColor::red(palette()) : QColor());
    m_close->setToolTip(confirming ? QStringLiteral("再次点击以取消此下载") : QString());
}

void DownloadTaskCard::setTask(const DownloadTaskItem &task)
{
    if (m_confirmingCancel && !task.status.isDownloading())
        setConfirmingCancel(false);
    const bool kindChanged = task.status.kind != m_task.status.kind;
    m_task = task;
    showTask();
    if (kindChanged)
        applyColors(palette());
}

void DownloadTaskCard::showTask()
{
    m_title->setText(m_task.appName + QStringLiteral(" (v") + m_task.version + QLatin1Char(')'));
    const QString detail = detailText(m_task);
    // Only a reason may run long and is worth copying; figures line up in the numeric face.
    const bool failed = m_task.status.kind == DownloadStatus::Kind::failed;
    m_reason->setText(failed ? detail : QString());
    m_figures->setText(failed ? QString() : detail);
    m_reason->setVisible(failed);
    m_figures->setVisible(!failed && !detail.isEmpty());
    m_bar->setValue(m_task.progress);
}

QString DownloadTaskCard::titleText() const
{
    return m_title->text();
}

QString DownloadTaskCard::detailText() const
{
    if (m_reason->isVisibleTo(this))
        return m_reason->text();
    return m_figures->isVisibleTo(this) ? m_figures->text() : QString();
}

double DownloadTaskCard::progress() const
{
    return m_bar->value();
}

void DownloadTaskCard::applyColors(const QPalette &pal)
{
    m_icon->setPixmap(Symbols::pixmap(QStringLiteral("arrow.down.circle.fill"), ThemeColor::accent(pal), kIconSize,
                                      devicePixelRatioF()));
    Labels::setTextColor(m_title, ThemeColor::primary(pal));
    const bool failed = m_task.status.kind == DownloadStatus::Kind::failed;
    Labels::setTextColor(m_figures, ThemeColor::secondary(pal));
    Labels::setTextColor(m_reason, ThemeColor::red(pal));
    // A failure may come after every byte arrived: a full blue bar would read as success.
    m_bar->setFillColor(failed ? ThemeColor::red(pal) : QColor());
}

void DownloadTaskCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    PillPainter::paintBackground(&painter, QRectF(rect()),
                                 PillStyle{ThemeColor::controlBackground(palette()), {}, {}, 0}, kCornerRadius);
}

