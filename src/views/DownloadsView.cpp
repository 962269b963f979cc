#include "views/DownloadsView.h"

#include <array>
#include <memory>
#include <optional>

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>
#include <QSettings>
#include <QVBoxLayout>
#include <QtConcurrent>

#include "models/ByteFormat.h"
#include "models/ZelvoError.h"
#include "platform/Platform.h"
#include "services/AppStoreService.h"
#include "services/ConsoleLine.h"
#include "services/DownloadManager.h"
#include "services/InstalledDetector.h"
#include "services/InstallWorkflow.h"
#include "services/InstallWorkflowRegistry.h"
#include "services/InstallerService.h"
#include "views/DownloadTaskCard.h"
#include "views/LocalPackageListModel.h"
#include "views/LocalPackageListView.h"
#include "views/components/ActionButton.h"
#include "views/components/ChipButton.h"
#include "views/components/Labels.h"
#include "views/components/SeparatorLine.h"
#include "views/components/Symbols.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeWatcher.h"
#include "views/components/ThemeFont.h"

namespace {

using Part = LocalPackageDelegate::Part;
using Phase = LocalPackageListModel::InstallPhase;

constexpr int kPageMargin = 24;
constexpr qreal kEmptySymbolSize = 36;
constexpr int kMinimumSubtitleWidth = 260;

QLabel *textLabel(const QString &objectName, qreal size, QFont::Weight weight, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setTextFormat(Qt::PlainText);
    ThemeFont::apply(label, size, weight);
    return label;
}

ChipButton *headerButton(const QString &objectName, const QString &text, QWidget *parent)
{
    auto *button = new ChipButton(text, parent);
    button->setObjectName(objectName);
    button->setFontSpec(12, QFont::Medium, QFont::Medium);
    button->setPadding(10, 4);
    button->setCornerRadius(6);
    return button;
}

} // namespace

DownloadsView::DownloadsView(AppContext &context, QWidget *parent)
    : QWidget(parent), m_context(context), m_packages(new LocalPackageListModel(this))
{
    setAutoFillBackground(true);

    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(kPageMargin, kPageMargin, kPageMargin, kPageMargin);
    column->setSpacing(20);
    column->addWidget(buildActiveSection());
    column->addWidget(buildLocalSection());
    column->addStretch(1);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("downloadsScroll"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    m_scroll->setWidget(content);

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    root->addWidget(buildHeader());
    root->addWidget(new SeparatorLine(Qt::Horizontal, this));
    root->addWidget(m_scroll, 1);

    DownloadManager &downloads = m_context.downloads;
    connect(&downloads, &DownloadManager::activeTasksChanged, this, &DownloadsView::showTasks);
    // Progress touches one card; new and gone records rebuild the column above.
    connect(&downloads, &DownloadManager::taskChanged, this, &DownloadsView::showTask);
    connect(&downloads, &DownloadManager::localPackagesChanged, this, &DownloadsView::showPackages);
    connect(m_packages, &LocalPackageListModel::selectionChanged, this, &DownloadsView::showSelection);
    connect(m_list, &LocalPackageListView::partClicked, this, &DownloadsView::onPartClicked);

    showTasks();
    showPackages();
    ThemeWatcher::follow(this, [this](const QPalette &theme) { applyColors(theme); });
}

DownloadsView::~DownloadsView() = default;

QString DownloadsView::batchDeleteTitle(int count)
{
    return QStringLiteral("批量删除 (%1)").arg(count);
}

QString DownloadsView::cacheSummary(int count, qint64 totalBytes)
{
    return QStringLiteral("已缓存 %1 个文件 · 共占用 %2").arg(count).arg(ByteFormat::fileSize(totalBytes));
}

QWidget *DownloadsView::buildHeader()
{
    m_header = new QWidget(this);
    QWidget *header = m_header;
    m_title = textLabel(QStringLiteral("downloadsTitle"), 22, QFont::DemiBold, header);
    m_title->setText(title());
    m_subtitle = textLabel(QStringLiteral("downloadsSubtitle"), 12, QFont::Normal, header);
    m_subtitle->setText(QStringLiteral("管理本地已下载的 DMG、PKG 与 ZIP 安装包，随时清理释放磁盘空间。"));
    m_subtitle->setWordWrap(true);

    // Off by default, so "获取" keeps its two steps unless the user wants one.
    m_autoInstall = new QCheckBox(QStringLiteral("下载完成后自动安装"), header);
    m_autoInstall->setObjectName(QStringLiteral("autoInstallToggle"));
    ThemeFont::apply(m_autoInstall, 12, QFont::Medium);
    InstallWorkflowRegistry &registry = m_context.workflows;
    m_autoInstall->setChecked(registry.installAfterDownload());
    connect(m_autoInstall, &QCheckBox::toggled, this, [&registry](bool on) {
        Platform::openSettings()->setValue(ActionButton::installAfterDownloadKey(), on);
        registry.setInstallAfterDownload(on);
    });
    m_openFolder = headerButton(QStringLiteral("openFolderButton"), QStringLiteral("在访达中打开目录"), header);
    m_batchDelete = headerButton(QStringLiteral("batchDeleteButton"), batchDeleteTitle(0), header);
    m_clearAll = headerButton(QStringLiteral("clearAllButton"), QStringLiteral("清空全部缓存"), header);
    connect(m_openFolder, &QAbstractButton::clicked, this,
            [this] { m_context.installer.workspace().open(m_context.downloads.cacheDirectory()); });
    connect(m_batchDelete, &QAbstractButton::clicked, this, &DownloadsView::deleteSelected);
    connect(m_clearAll, &QAbstractButton::clicked, this, &DownloadsView::clearAll);

    auto *titles = new QVBoxLayout;
    titles->setContentsMargins(0, 0, 0, 0);
    titles->setSpacing(4);
    titles->addWidget(m_title);
    titles->addWidget(m_subtitle);

    m_headerButtons = new QHBoxLayout;
    m_headerButtons->setContentsMargins(0, 0, 0, 0);
    m_headerButtons->setSpacing(10);
    m_headerButtons->addWidget(m_autoInstall, 0, Qt::AlignVCenter);
    m_headerButtons->addWidget(m_openFolder, 0, Qt::AlignVCenter);
    m_headerButtons->addWidget(m_batchDelete, 0, Qt::AlignVCenter);
    m_headerButtons->addWidget(m_clearAll, 0, Qt::AlignVCenter);

    m_headerLayout = new QBoxLayout(QBoxLayout::LeftToRight, m_header);
    m_headerLayout->setContentsMargins(kPageMargin, 14, kPageMargin, 14);
    m_headerLayout->setSpacing(10);
    m_headerLayout->addLayout(titles, 1);
    m_headerLayout->addLayout(m_headerButtons);
    m_header->installEventFilter(this);
    return m_header;
}

// Title and buttons share one row while they fit; in a narrow window or at
// a large text scale the buttons move under the title instead of squeezing it.
void DownloadsView::arrangeHeader()
{
    const QMargins margins = m_headerLayout->contentsMargins();
    const int needed = margins.left() + std::max(m_title->sizeHint().width(), kMinimumSubtitleWidth) +
                       m_headerLayout->spacing() + m_headerButtons->sizeHint().width() + margins.right();
    const bool stacked = m_header->width() < needed;
    const auto direction = stacked ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight;
    if (m_headerLayout->direction() == direction)
        return;
    m_headerLayout->setDirection(direction);
    m_headerButtons->setAlignment(stacked ? Qt::AlignLeft : Qt::Alignment());
}

bool DownloadsView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_header && (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest))
        arrangeHeader();
    return QWidget::eventFilter(watched, event);
}

QWidget *DownloadsView::buildActiveSection()
{
    m_activeSection = new QWidget;
    m_activeSection->setObjectName(QStringLiteral("activeSection"));
    m_activeTitle = textLabel(QStringLiteral("activeTitle"), 15, QFont::DemiBold, m_activeSection);

    m_cardLayout = new QVBoxLayout;
    m_cardLayout->setContentsMargins(0, 0, 0, 0);
    m_cardLayout->setSpacing(12);

    auto *divider = new QWidget(m_activeSection);
    auto *dividerLayout = new QVBoxLayout(divider);
    dividerLayout->setContentsMargins(0, 6, 0, 6);
    dividerLayout->addWidget(new SeparatorLine(Qt::Horizontal, divider));

    auto *column = new QVBoxLayout(m_activeSection);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    column->addWidget(m_activeTitle);
    column->addLayout(m_cardLayout);
    column->addWidget(divider);
    return m_activeSection;
}

QWidget *DownloadsView::buildLocalSection()
{
    auto *section = new QWidget;
    m_localTitle = textLabel(QStringLiteral("localTitle"), 15, QFont::DemiBold, section);
    m_localTitle->setText(QStringLiteral("本地安装包缓存"));
    m_summary = textLabel(QStringLiteral("cacheSummary"), 12, QFont::Normal, section);

    auto *headerRow = new QHBoxLayout;
    headerRow->setContentsMargins(0, 0, 0, 0);
    headerRow->addWidget(m_localTitle);
    headerRow->addStretch(1);
    headerRow->addWidget(m_summary);

    m_emptyState = new QWidget(section);
    m_emptyState->setObjectName(QStringLiteral("emptyState"));
    m_emptyIcon = new QLabel(m_emptyState);
    m_emptyIcon->setAlignment(Qt::AlignCenter);
    m_emptyText = textLabel(QStringLiteral("emptyText"), 13, QFont::Normal, m_emptyState);
    m_emptyText->setText(QStringLiteral("暂无本地缓存的安装包"));
    m_emptyText->setAlignment(Qt::AlignCenter);
    auto *emptyColumn = new QVBoxLayout(m_emptyState);
    emptyColumn->setContentsMargins(0, 36, 0, 36);
    emptyColumn->setSpacing(8);
    emptyColumn->addWidget(m_emptyIcon);
    emptyColumn->addWidget(m_emptyText);

    m_list = new LocalPackageListView(section);
    m_list->setObjectName(QStringLiteral("packageList"));
    m_list->setModel(m_packages);

    auto *column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    column->addLayout(headerRow);
    column->addWidget(m_emptyState);
    column->addWidget(m_list);
    return section;
}

void DownloadsView::showTasks()
{
    const QList<DownloadTaskItem> &tasks = m_context.downloads.activeTasks();
    QHash<QString, DownloadTaskCard *> existing;
    for (DownloadTaskCard *card : std::as_const(m_cards))
        existing.insert(card->task().id, card);

    QList<DownloadTaskCard *> cards;
    cards.reserve(tasks.size());
    for (const DownloadTaskItem &task : tasks) {
        DownloadTaskCard *card = existing.take(task.id);
        if (card) {
            card->setTask(task);
        } else {
            card = new DownloadTaskCard(task, m_activeSection);
            connect(card, &DownloadTaskCard::closeRequested, this,
                    [this](const QString &taskId) { m_context.downloads.cancelDownload(taskId); });
        }
        cards.append(card);
    }
    // A card may be gone because its own close button was clicked: it is
    // still inside that click, so it is deleted later.
    for (DownloadTaskCard *gone : std::as_const(existing)) {
        m_cardLayout->removeWidget(gone);
        gone->hide();
        gone->deleteLater();
    }
    if (cards != m_cards) {
        for (DownloadTaskCard *card : std::as_const(cards))
            m_cardLayout->removeWidget(card);
        for (DownloadTaskCard *card : std::as_const(cards)) {
            m_cardLayout->addWidget(card);
            card->show();
        }
        m_cards = cards;
    }
    showRunningCount();
    m_activeSection->setVisible(!tasks.isEmpty());
}

void DownloadsView::showRunningCount()
{
    // Finished and failed cards stay listed, but only running ones are "正在下载".
    const QString title = QStringLiteral("正在下载的任务 (%1)").arg(m_context.downloads.runningCount());
    if (m_activeTitle->text() != title)
        m_activeTitle->setText(title);
}

void DownloadsView::showTask(const QString &key)
{
    const DownloadTaskItem *task = m_context.downloads.find(key);
    if (!task)
        return;
    // A record that finished or failed leaves the running count.
    showRunningCount();
    for (DownloadTaskCard *card : std::as_const(m_cards)) {
        if (card->task().id == key) {
            card->setTask(*task);
            return;
        }
    }
}

void DownloadsView::showPackages()
{
    const QList<LocalPackage> &packages = m_context.downloads.localPackages();
    m_packages->setPackages(packages);
    m_summary->setText(cacheSummary(int(packages.size()), m_packages->totalSize()));
    m_emptyState->setVisible(packages.isEmpty());
    m_list->setVisible(!packages.isEmpty());
    m_clearAll->setVisible(!packages.isEmpty());
    // The question was about what was listed when it was asked.
    setConfirmingClearAll(false);
    showSelection();
}

void DownloadsView::showSelection()
{
    const int count = int(m_packages->selectedPaths().size());
    m_batchDelete->setText(batchDeleteTitle(count));
    m_batchDelete->setVisible(count > 0);
}

QStringList DownloadsView::selectedPackagePaths() const
{
    return m_packages->selectedPaths();
}

void DownloadsView::onPartClicked(int row, LocalPackageDelegate::Part part)
{
    if (row < 0 || row >= m_packages->rowCount())
        return;
    const LocalPackage package = m_packages->package(row);
    // An outcome, or a question, stays on its row until the user does the next thing with that row.
    const Phase phase = m_packages->installState(package.filePath).phase;
    if (phase != Phase::idle && phase != Phase::installing)
        m_packages->setInstallState(package.filePath, {});
    switch (part) {
    case Part::toggle:
        m_packages->toggleSelected(package.filePath);
        break;
    case Part::install:
        installPackage(package);
        break;
    case Part::reveal:
        m_context.installer.workspace().reveal(package.filePath);
        break;
    case Part::remove:
        // A package may have taken long to download: the first click asks, the second deletes.
        if (phase == Phase::confirmingDelete)
            m_context.downloads.deletePackage(package.filePath);
        else if (phase != Phase::installing)
            m_packages->setInstallState(package.filePath, {Phase::confirmingDelete, {}});
        break;
    case Part::status:
    case Part::none:
        break;
    }
}

void DownloadsView::deleteSelected()
{
    const QStringList paths = m_packages->selectedPaths();
    m_packages->clearSelection();
    m_context.downloads.deletePackages(paths);
}

void DownloadsView::clearAll()
{
    // Everything at once cannot be taken back: the first click asks in place.
    if (!m_confirmingClearAll) {
        setConfirmingClearAll(true);
        return;
    }
    setConfirmingClearAll(false);
    m_packages->clearSelection();
    m_context.downloads.clearAllPackages();
}

void DownloadsView::setConfirmingClearAll(bool confirming)
{
    m_confirmingClearAll = confirming;
    m_clearAll->setText(confirming ? QStringLiteral("确认清空全部缓存？") : QStringLiteral("清空全部缓存"));
}

void DownloadsView::installPackage(const LocalPackage &package)
{
    const QString path = package.filePath;
    // The same bundle copied twice at once would race for one destination.
    if (package.unfinished || m_packages->installState(path).phase == Phase::installing)
        return;
    if (const std::optional<AppItem> app = package.appId ? m_context.store.app(*package.appId) : std::nullopt) {
        installForRecord(m_context.workflows.workflow(*app), path);
        return;
    }
    m_packages->setInstallState(path, {Phase::installing, {}});

    // The installer reports from its worker thread: the console line is
    // written there, the row learns the step on the main thread, and only
    // while this screen still exists.
    const QPointer<DownloadsView> self(this);
    const auto lastStep = std::make_shared<QString>();
    auto onProgress = [self, lastStep, path](const QString &message) {
        *lastStep = message;
        printConsoleLine(QStringLiteral("安装进度: ") + message);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, path, message] {
                if (self && self->m_packages->installState(path).phase == Phase::installing)
                    self->m_packages->setInstallState(path, {Phase::installing, message});
            },
            Qt::QueuedConnection);
    };
    // The installed map and the console must learn the outcome even when the
    // user has left this screen meanwhile (screens are rebuilt on every visit),
    // so that part continues on the store, which outlives every screen; only
    // the row's outcome depends on this screen still being there.
    AppStoreService &store = m_context.store;
    const InstalledDetector &detector = store.detector();
    m_context.installer.install(path, onProgress)
        .then(QtFuture::Launch::Async, [&detector](const QString &) { return detector.scanInstalledApps(); })
        .then(&store,
              [&store](InstalledAppMap installed) {
                  store.setInstalledAppMap(std::move(installed));
                  return std::optional<QString>();
              })
        // A handler without argument is called inside Qt's catch block, so
        // the failure is at hand whatever its type.
        .onFailed(&store,
                  [] {
                      const QString text = errorText(std::current_exception());
                      printConsoleLine(QStringLiteral("安装失败: ") + text);
                      return std::optional<QString>(text);
                  })
        .then(&store, [this, guard = QPointer<DownloadsView>(this), path, lastStep](const std::optional<QString> &error) {
            if (!guard)
                return;
            m_packages->setInstallState(path, {error ? Phase::failed : Phase::succeeded, error.value_or(*lastStep)});
            Q_EMIT installFinished(path, !error);
        });
}

void DownloadsView::installForRecord(InstallWorkflow &workflow, const QString &path)
{
    // The record's own road, as its card would take it: a package that turns out
    // unusable leaves the cache, the record learns its bundle, the card shows the outcome.
    if (workflow.isInstalling())
        return;
    m_packages->setInstallState(path, {Phase::installing, {}});
    auto connections = std::make_shared<std::array<QMetaObject::Connection, 2>>();
    auto finish = [this, path, connections](bool ok, const QString &text) {
        for (const QMetaObject::Connection &connection : *connections)
            disconnect(connection);
        m_packages->setInstallState(path, {ok ? Phase::succeeded : Phase::failed, text});
        Q_EMIT installFinished(path, ok);
    };
    (*connections)[0] = connect(&workflow, &InstallWorkflow::installSucceeded, this, [finish] { finish(true, {}); });
    (*connections)[1] =
        connect(&workflow, &InstallWorkflow::installFailed, this, [finish](const QString &error) { finish(false, error); });
    workflow.executeInstallPackage(path);
}

void DownloadsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Files added or removed behind the program's back show up whenever the screen comes into view.
    m_context.downloads.refreshLocalPackages();
}

void DownloadsView::applyColors(const QPalette &pal)
{
    const QColor secondary = ThemeColor::secondary(pal);
    const QColor red = ThemeColor::red(pal);
    Labels::setTextColor(m_subtitle, secondary);
    Labels::setTextColor(m_summary, secondary);
    Labels::setTextColor(m_emptyText, secondary);
    m_emptyIcon->setPixmap(Symbols::pixmap(QStringLiteral("shippingbox"), ThemeColor::withOpacity(secondary, 0.5),
                                           kEmptySymbolSize, devicePixelRatioF()));
    const QColor border = ThemeColor::withOpacity(ThemeColor::primary(pal), 0.15);
    const QColor fill = ThemeColor::controlBackground(pal);
    m_openFolder->setStyles(PillStyle{fill, ThemeColor::primary(pal), border, 1});
    m_batchDelete->setStyles(PillStyle{fill, red, border, 1});
    m_clearAll->setStyles(PillStyle{Qt::transparent, red, {}, 0});
}

