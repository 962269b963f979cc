#include "views/AppDetailView.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QUrl>
#include <QVBoxLayout>

#include "models/WebAddress.h"
#include "services/AppStoreService.h"
#include "services/InstallWorkflow.h"
#include "services/InstallWorkflowRegistry.h"
#include "services/InstalledDetector.h"
#include "views/AppContext.h"
#include "views/UninstallPanel.h"
#include "views/components/ActionButton.h"
#include "views/components/AppIconView.h"
#include "views/components/ChipButton.h"
#include "views/components/ElidedLabel.h"
#include "views/components/IconCache.h"
#include "views/components/Labels.h"
#include "views/components/PillPainter.h"
#include "views/components/SeparatorLine.h"
#include "views/components/SymbolTextButton.h"
#include "views/components/Symbols.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"
#include "views/components/ThemeWatcher.h"

namespace {

constexpr int kMargin = 28;
constexpr int kSectionSpacing = 24;

// "最新推荐": white text on the accent colour, corners rounded by 4.
class Badge final : public QWidget
{
public:
    explicit Badge(const QString &text) : m_text(text)
    {
        setObjectName(QStringLiteral("latestBadge"));
        setAccessibleName(text);
        ThemeFont::apply(this, 9, QFont::Medium);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    QString text() const { return m_text; }
    QSize sizeHint() const override { return PillPainter::sizeFor(m_text, font(), 6, 2).toSize(); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::TextAntialiasing);
        PillPainter::paint(&painter, QRectF(rect()), m_text, font(),
                           PillStyle{ThemeColor::accent(palette()), ThemeColor::onAccent(palette()), {}, 0}, 4);
    }
    void changeEvent(QEvent *event) override
    {
        if (event->type() == QEvent::FontChange)
            updateGeometry();
        QWidget::changeEvent(event);
    }

private:
    QString m_text;
};

// A wrapping label cut after two lines, at whatever text scale.
class TwoLineLabel final : public QLabel
{
public:
    explicit TwoLineLabel(const QString &text) : QLabel(text)
    {
        setTextFormat(Qt::PlainText);
        setWordWrap(true);
        fitHeight();
    }

protected:
    void changeEvent(QEvent *event) override
    {
        if (event->type() == QEvent::FontChange)
            fitHeight();
        QLabel::changeEvent(event);
    }

private:
    void fitHeight() { setMaximumHeight(qCeil(2 * QFontMetricsF(font()).lineSpacing())); }
};

QHBoxLayout *row(int spacing)
{
    auto *layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QVBoxLayout *column(int spacing)
{
    auto *layout = new QVBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

// One fact: the symbol and title above, the value below.
QWidget *metricColumn(const QString &title, const QString &value, const QString &symbol, bool mayElide = false)
{
    auto *widget = new QWidget;
    widget->setObjectName(QStringLiteral("metric:") + title);
    auto *layout = column(4);
    auto *heading = row(4);
    heading->addWidget(Labels::symbol(symbol, 11, &ThemeColor::secondary));
    heading->addWidget(Labels::text(title, 11, QFont::Normal, &ThemeColor::secondary));
    heading->addStretch();
    layout->addLayout(heading);
    // A bundle id can be longer than the window is wide.
    auto *valueLabel = mayElide ? new ElidedLabel(value) : new QLabel(value);
    valueLabel->setTextFormat(Qt::PlainText);
    valueLabel->setObjectName(QStringLiteral("metricValue"));
    ThemeFont::apply(valueLabel, 13, QFont::DemiBold);
    Labels::followTextColor(valueLabel, &ThemeColor::primary);
    layout->addWidget(valueLabel);
    widget->setLayout(layout);
    return widget;
}

QString versionText(const QString &version)
{
    return QStringLiteral("v") + AppItem::displayVersionFor(version);
}

} // namespace

AppDetailView::AppDetailView(AppContext &context, const AppItem &app, const QString &backTitle,
                             std::function<void()> onBack, QWidget *parent)
    : QWidget(parent), m_context(context), m_app(app), m_onBack(std::move(onBack))
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setBackgroundRole(QPalette::Window);
    outer->addWidget(m_scroll);

    auto *content = new QWidget;
    content->setBackgroundRole(QPalette::Window);
    content->setAutoFillBackground(true);
    auto *page = new QVBoxLayout(content);
    page->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    page->setSpacing(kSectionSpacing);

    buildHeader(page, backTitle);
    page->addWidget(new SeparatorLine);

    // The facts row keeps 8 points above and below on top of the section spacing.
    m_facts = new QWidget;
    m_facts->setObjectName(QStringLiteral("factsRow"));
    auto *factsLayout = row(36);
    factsLayout->setContentsMargins(0, 8, 0, 8);
    m_facts->setLayout(factsLayout);
    page->addWidget(m_facts);
    page->addWidget(new SeparatorLine);

    auto *about = column(10);
    about->addWidget(Labels::text(QStringLiteral("关于此应用"), 16, QFont::DemiBold, &ThemeColor::primary));
    auto *description = new QLabel;
    description->setObjectName(QStringLiteral("descriptionText"));
    description->setWordWrap(true);
    description->setTextFormat(Qt::RichText);
    description->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Six points of extra line spacing over a 13-point line.
    description->setText(QStringLiteral("<div style=\"line-height:145%\">") +
                         descriptionText(m_app).toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")) +
                         QStringLiteral("</div>"));
    ThemeFont::apply(description, 13, QFont::Normal);
    Labels::followTextColor(description, ThemeColor::faded(&ThemeColor::primary, 0.9));
    about->addWidget(description);
    page->addLayout(about);

    if (m_app.versions && !m_app.versions->isEmpty())
        buildVersions(page);
    page->addStretch();
    m_scroll->setWidget(content);

    connect(&m_context.store, &AppStoreService::appsChanged, this, &AppDetailView::refreshLibraryMark);
    connect(&m_context.store, &AppStoreService::installedAppMapChanged, this, &AppDetailView::refreshStatus);
    refreshLibraryMark();
    refreshStatus();
}

void AppDetailView::buildHeader(QVBoxLayout *page, const QString &backTitle)
{
    auto *back = new SymbolTextButton(QStringLiteral("chevron.left"), 13, backTitle);
    back->setObjectName(QStringLiteral("backButton"));
    back->setFontSpec(13, QFont::Medium);
    connect(back, &QAbstractButton::clicked, this, [this] {
        if (m_onBack)
            m_onBack();
    });
    auto *backRow = row(0);
    backRow->addWidget(back);
    backRow->addStretch();
    page->addLayout(backRow);

    auto *header = row(20);
    header->setAlignment(Qt::AlignTop);
    m_icon = new AppIconView(m_context.icons, m_app, 88);
    m_icon->setObjectName(QStringLiteral("appIcon"));
    header->addWidget(m_icon, 0, Qt::AlignTop);

    auto *texts = column(6);
    auto *title = Labels::text(m_app.displayName(), 24, QFont::DemiBold, &ThemeColor::primary);
    title->setObjectName(QStringLiteral("titleLabel"));
    title->setWordWrap(true);
    texts->addWidget(title);
    if (m_app.chineseName) {
        auto *name = Labels::text(m_app.name, 14, QFont::Normal, &ThemeColor::secondary);
        name->setObjectName(QStringLiteral("nameLabel"));
        texts->addWidget(name);
    }
    auto *summary = new TwoLineLabel(m_app.summary);
    summary->setObjectName(QStringLiteral("summaryLabel"));
    ThemeFont::apply(summary, 13, QFont::Normal);
    Labels::followTextColor(summary, &ThemeColor::secondary);
    texts->addWidget(summary);
    texts->addSpacing(4);

    auto *actions = row(12);
    m_actionButton = new ActionButton(m_app, m_context);
    m_actionButton->setObjectName(QStringLiteral("actionButton"));
    actions->addWidget(m_actionButton);

    auto *mark = new QWidget;
    mark->setObjectName(QStringLiteral("inLibraryMark"));
    auto *markLayout = row(4);
    markLayout->addWidget(Labels::symbol(QStringLiteral("checkmark.circle.fill"), 12, &ThemeColor::green));
    markLayout->addWidget(Labels::text(QStringLiteral("已在应用库"), 12, QFont::Medium, &ThemeColor::secondary));
    mark->setLayout(markLayout);
    m_inLibraryMark = mark;
    actions->addWidget(mark);

    auto *save = new SymbolTextButton(QStringLiteral("plus.circle"), 12, QStringLiteral("保存至应用库"));
    save->setObjectName(QStringLiteral("saveButton"));
    save->setFontSpec(12, QFont::Medium);
    ThemeWatcher::follow(save, [save](const QPalette &theme) {
        save->setBackground(PillStyle{ThemeColor::accent(theme), ThemeColor::onAccent(theme), {}, 0}, 6, 10, 4);
    });
    connect(save, &QAbstractButton::clicked, this, &AppDetailView::saveToLibrary);
    m_saveButton = save;
    actions->addWidget(save);

    // The record stays in the library for this run even when the file could
    // not be written; this mark says so instead of pretending it was saved.
    auto *saveFailed = new QWidget;
    saveFailed->setObjectName(QStringLiteral("saveFailedMark"));
    auto *failedLayout = row(4);
    failedLayout->addWidget(Labels::symbol(QStringLiteral("exclamationmark.triangle.fill"), 12, &ThemeColor::red));
    failedLayout->addWidget(Labels::text(QStringLiteral("未能写入应用库文件"), 12, QFont::Medium, &ThemeColor::red));
    saveFailed->setLayout(failedLayout);
    saveFailed->hide();
    m_saveFailedMark = saveFailed;
    actions->addWidget(saveFailed);

    if (isLinkableHomepage(m_app.homepage)) {
        auto *link = new SymbolTextButton(QStringLiteral("safari"), 12, QStringLiteral("官方网站"));
        link->setObjectName(QStringLiteral("homepageLink"));
        link->setFontSpec(12, QFont::Normal);
        ThemeWatcher::follow(link, [link](const QPalette &theme) { link->setColor(ThemeColor::secondary(theme)); });
        link->setToolTip(*m_app.homepage);
        const QUrl url(*m_app.homepage);
        connect(link, &QAbstractButton::clicked, this, [url] { QDesktopServices::openUrl(url); });
        actions->addWidget(link);
    }
    actions->addStretch();
    texts->addLayout(actions);
    m_uninstall = new UninstallPanel(m_context, m_app);
    texts->addWidget(m_uninstall);

    header->addLayout(texts, 1);
    page->addLayout(header);
}

void AppDetailView::buildVersions(QVBoxLayout *page)
{
    page->addWidget(new SeparatorLine);

    m_versionSection = column(12);
    m_versionSection->addWidget(
        Labels::text(QStringLiteral("版本历史与切换"), 16, QFont::DemiBold, &ThemeColor::primary));
    auto *more = new ChipButton(QString());
    more->setObjectName(QStringLiteral("moreVersionsButton"));
    more->setFontSpec(11, QFont::Medium, QFont::Medium);
    more->setPadding(10, 4);
    more->setCornerRadius(6);
    ThemeWatcher::follow(more, [more](const QPalette &theme) {
        more->setStyles(PillStyle{ThemeColor::controlBackground(theme), ThemeColor::accent(theme), {}, 0});
    });
    connect(more, &QAbstractButton::clicked, this, &AppDetailView::showMoreVersions);
    m_moreVersions = more;
    m_versionSection->addWidget(more, 0, Qt::AlignLeft);
    page->addLayout(m_versionSection);
    showMoreVersions();
}

void AppDetailView::showMoreVersions()
{
    // A listing may hold tens of thousands of versions; a page at a time keeps
    // every update of the page short, and the newest come first.
    const QList<AppVersion> &versions = *m_app.versions;
    const qsizetype end = std::min(versions.size(), m_shownVersions + versionPageSize);
    for (; m_shownVersions < end; ++m_shownVersions)
        m_versionSection->insertWidget(m_versionSection->count() - 1, versionRow(versions.at(m_shownVersions)));
    const qsizetype left = versions.size() - m_shownVersions;
    m_moreVersions->setText(QStringLiteral("显示更多版本（还有 %1 个）").arg(left));
    m_moreVersions->setVisible(left > 0);
}

QWidget *AppDetailView::versionRow(const AppVersion &entry)
{
    auto *rowWidget = new QWidget;
    rowWidget->setObjectName(QStringLiteral("versionRow"));
    rowWidget->setProperty("version", entry.version);
    auto *layout = row(12);
    layout->setContentsMargins(0, 6, 0, 6);

    auto *left = column(2);
    auto *titleLine = row(8);
    auto *version = Labels::text(versionText(entry.version), 13, QFont::DemiBold, &ThemeColor::primary,
                              ThemeFont::Face::Numeric);
    version->setObjectName(QStringLiteral("versionLabel"));
    titleLine->addWidget(version);
    if (entry.version == m_app.currentVersion)
        titleLine->addWidget(new Badge(QStringLiteral("最新推荐")));
    titleLine->addStretch();
    left->addLayout(titleLine);
    if (AppItem::displayVersionFor(entry.version) != entry.version) {
        auto *build = Labels::text(QStringLiteral("构建标识: ") + entry.version, 10, QFont::Normal,
                                ThemeColor::faded(&ThemeColor::secondary, 0.8), ThemeFont::Face::Numeric);
        build->setObjectName(QStringLiteral("buildLabel"));
        left->addWidget(build);
    }
    if (entry.changelog) {
        auto *changelog = Labels::text(*entry.changelog, 11, QFont::Normal, &ThemeColor::secondary);
        changelog->setObjectName(QStringLiteral("changelogLabel"));
        changelog->setWordWrap(true);
        left->addWidget(changelog);
    }
    layout->addLayout(left, 1);

    auto *download = new ChipButton(QStringLiteral("下载此版本"));
    download->setObjectName(QStringLiteral("downloadVersionButton"));
    download->setProperty("version", entry.version);
    download->setFontSpec(11, QFont::Medium, QFont::Medium);
    download->setPadding(10, 4);
    download->setCornerRadius(6);
    download->setBorderedStyle();
    // Only a version with an address of its own can be fetched: the
    // record's own address is the current version's package.
    if (!InstallWorkflow::ownDownloadUrl(m_app, entry.version)) {
        download->setEnabled(false);
        download->setToolTip(QStringLiteral("此版本没有单独的下载地址"));
    }
    const QString versionText = entry.version;
    connect(download, &QAbstractButton::clicked, this, [this, versionText] {
        m_context.workflows.workflow(m_app).downloadVersion(versionText);
    });
    layout->addWidget(download, 0, Qt::AlignVCenter);
    rowWidget->setLayout(layout);
    return rowWidget;
}

void AppDetailView::refreshLibraryMark()
{
    const bool inLibrary = m_context.store.app(m_app.id).has_value();
    m_inLibraryMark->setVisible(inLibrary);
    m_saveButton->setVisible(!inLibrary);
    if (!inLibrary)
        m_saveFailedMark->hide();
}

void AppDetailView::refreshStatus()
{
    const AppInstallStatus status = InstalledDetector::checkStatus(m_app, m_context.store.installedAppMap());
    m_icon->setInstalledPath(status.isInstalledOrUpdatable() ? std::optional<QString>(status.path) : std::nullopt);
    m_uninstall->setInstalled(status.isInstalledOrUpdatable());
    if (m_shownStatus == status)
        return;
    m_shownStatus = status;
    rebuildFacts(status);
}

void AppDetailView::rebuildFacts(const AppInstallStatus &status)
{
    auto *layout = static_cast<QHBoxLayout *>(m_facts->layout());
    while (QLayoutItem *item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const bool outdated = status.kind == AppInstallStatus::Kind::updateAvailable;
    layout->addWidget(metricColumn(QStringLiteral("类别"), m_app.category, QStringLiteral("square.grid.2x2")));
    if (outdated) {
        layout->addWidget(metricColumn(QStringLiteral("最新版本"), versionText(m_app.currentVersion),
                                       QStringLiteral("sparkles")));
        layout->addWidget(metricColumn(QStringLiteral("本地已装"), versionText(status.installedVersion),
                                       QStringLiteral("desktopcomputer")));
    } else {
        layout->addWidget(
            metricColumn(QStringLiteral("当前版本"), versionText(m_app.currentVersion), QStringLiteral("tag")));
    }
    const QString medium =
        m_app.sourceType == AppSourceType::brew ? QStringLiteral("Homebrew") : title(m_app.resolvedPackageType());
    layout->addWidget(metricColumn(QStringLiteral("来源介质"), medium, QStringLiteral("shippingbox")));
    if (m_app.bundleId && !m_app.bundleId->isEmpty())
        layout->addWidget(
            metricColumn(QStringLiteral("包标识"), *m_app.bundleId, QStringLiteral("app.badge"), true), 1);
    layout->addStretch();
}

void AppDetailView::saveToLibrary()
{
    const SaveResult result = m_context.store.saveAppItem(m_app);
    m_saveFailedMark->setVisible(!result.ok);
    m_saveFailedMark->setToolTip(result.error);
}

QString AppDetailView::descriptionText(const AppItem &app)
{
    QString text = app.description;
    for (const QString &note : {QStringLiteral("\n\n来源：Homebrew Cask"), QStringLiteral("\n来源：Homebrew Cask")}) {
        const qsizetype at = text.indexOf(note);
        if (at >= 0)
            text.truncate(at);
    }
    text = text.trimmed();
    if (!text.isEmpty())
        return text;
    return app.summary.isEmpty() ? QStringLiteral("暂无详细描述") : app.summary;
}

bool AppDetailView::isLinkableHomepage(const std::optional<QString> &homepage)
{
    // One click opens it: smb:, vnc: or file: would start another program.
    return homepage && isWebAddress(*homepage);
}

void AppDetailView::askToUninstall()
{
    m_uninstall->askToConfirm();
}
