#include "views/CustomFormImportSection.h"

#include <QPointer>
#include <QCoreApplication>
#include <QComboBox>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "models/TextTrim.h"
#include "models/ZelvoError.h"
#include "services/AppStoreService.h"
#include "services/NginxIndexParser.h"
#include "views/components/ActivitySpinner.h"
#include "views/components/ChipButton.h"
#include "views/components/ChipStrip.h"
#include "views/components/FormStyle.h"
#include "views/components/Labels.h"
#include "views/components/MessageLine.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"

namespace {

std::optional<QString> unlessEmpty(const QString &text)
{
    return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
}

} // namespace

CustomFormImportSection::CustomFormImportSection(AppStoreService &store, NginxIndexParser &scraper, QWidget *parent)
    : QWidget(parent), m_store(store), m_scraper(scraper)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(16);

    column->addWidget(FormStyle::sectionHeading(
        QStringLiteral("手动录入应用信息"),
        QStringLiteral("输入包名、版本占位符或通过 Nginx / HTTP 目录自动提取版本列表并下载。")));

    const auto pair = [](QWidget *left, QWidget *right) {
        auto *row = new QHBoxLayout;
        row->setSpacing(16);
        row->addWidget(left, 1);
        row->addWidget(right, 1);
        return row;
    };

    column->addLayout(pair(
        FormStyle::fieldGroup(QStringLiteral("唯一包名/ID (必填)"),
                              addField(m_id, QStringLiteral("idField"), QStringLiteral("例如: myapp 或 com.company.app"))),
        FormStyle::fieldGroup(QStringLiteral("中文名称"),
                              addField(m_chineseName, QStringLiteral("chineseNameField"), QStringLiteral("例如: 效率神器")))));

    m_category = FormStyle::comboBox(categories());
    m_category->setObjectName(QStringLiteral("categoryPicker"));
    column->addLayout(pair(FormStyle::fieldGroup(QStringLiteral("英文/原名 (必填)"),
                                                 addField(m_name, QStringLiteral("nameField"),
                                                          QStringLiteral("例如: SuperApp"))),
                           FormStyle::fieldGroup(QStringLiteral("分类"), m_category)));

    column->addWidget(FormStyle::fieldGroup(
        QStringLiteral("版本下载地址模板（支持 {version} 占位符）"),
        addField(m_versionPatternUrl, QStringLiteral("versionPatternField"),
                 QStringLiteral("例如: https://dl.example.com/download/v{version}/MyApp-{version}.dmg"))));

    m_fetchButton = FormStyle::button(QStringLiteral("在线抓取版本"), FormStyle::ButtonKind::bordered,
                                      FormStyle::ButtonSize::regular, 12, QFont::Medium);
    m_fetchButton->setObjectName(QStringLiteral("fetchButton"));
    m_spinner = new ActivitySpinner(12, m_fetchButton);
    auto *spinnerLayout = new QHBoxLayout(m_fetchButton);
    spinnerLayout->setContentsMargins(0, 0, 0, 0);
    spinnerLayout->addWidget(m_spinner, 0, Qt::AlignCenter);
    m_spinner->hide();
    connect(m_fetchButton, &QPushButton::clicked, this, &CustomFormImportSection::fetchNginxVersions);
    auto *listRow = new QHBoxLayout;
    listRow->setSpacing(8);
    listRow->addWidget(addField(m_versionListUrl, QStringLiteral("versionListField"),
                                QStringLiteral("例如: https://mirror.example.org/myapp/releases/")),
                       1);
    listRow->addWidget(m_fetchButton);
    auto *listBlock = new QVBoxLayout;
    listBlock->setSpacing(4);
    listBlock->addWidget(FormStyle::label(QStringLiteral("版本列表 URL (Nginx / autoindex 网页，可选)"), 12, QFont::Medium));
    listBlock->addLayout(listRow);
    column->addLayout(listBlock);

    m_versionsBlock = new QWidget;
    m_versionsBlock->setObjectName(QStringLiteral("versionsBlock"));
    auto *versionsColumn = new QVBoxLayout(m_versionsBlock);
    versionsColumn->setContentsMargins(0, 0, 0, 0);
    versionsColumn->setSpacing(6);
    m_versionsTitle = FormStyle::label(QString(), 12, QFont::DemiBold);
    Labels::followTextColor(m_versionsTitle, &ThemeColor::accent);
    versionsColumn->addWidget(m_versionsTitle);
    m_chipStrip = new ChipStrip;
    m_chipStrip->setObjectName(QStringLiteral("versionChips"));
    versionsColumn->addWidget(m_chipStrip);
    m_versionsBlock->hide();
    column->addWidget(m_versionsBlock);

    column->addLayout(pair(
        FormStyle::fieldGroup(QStringLiteral("默认/当前版本号"),
                              addField(m_currentVersion, QStringLiteral("currentVersionField"), QStringLiteral("例如: 1.0.0"))),
        FormStyle::fieldGroup(QStringLiteral("固定直接下载 URL (可选)"),
                              addField(m_directDownloadUrl, QStringLiteral("directDownloadField"), QStringLiteral("直接下载链接")))));

    column->addWidget(FormStyle::fieldGroup(
        QStringLiteral("一句话简述"), addField(m_summary, QStringLiteral("summaryField"), QStringLiteral("在列表展示的副标题"))));
    column->addWidget(FormStyle::fieldGroup(
        QStringLiteral("详细介绍"),
        addField(m_description, QStringLiteral("descriptionField"), QStringLiteral("详细功能介绍与说明"))));

    m_saveButton = FormStyle::button(QStringLiteral("保存录入到应用库"), FormStyle::ButtonKind::prominent,
                                     FormStyle::ButtonSize::large, 13, QFont::DemiBold);
    m_saveButton->setObjectName(QStringLiteral("saveButton"));
    connect(m_saveButton, &QPushButton::clicked, this, &CustomFormImportSection::saveCustomApp);
    column->addWidget(m_saveButton, 0, Qt::AlignLeft);

    // Below the save button, so that its appearing moves nothing the user may click next.
    m_tipLine = new MessageLine;
    m_tipLine->setObjectName(QStringLiteral("tipLine"));
    m_tipLine->hide();
    column->addWidget(m_tipLine);
    // Spare height goes below everything, so nothing above moves when the line appears.
    column->addStretch(1);

    m_currentVersion->setText(QStringLiteral("1.0.0"));
    updateButtons();
}

const QStringList &CustomFormImportSection::categories()
{
    static const QStringList list = {
        QStringLiteral("开发工具"), QStringLiteral("网络浏览器"), QStringLiteral("效率办公"), QStringLiteral("通讯社交"),
        QStringLiteral("影音视听"), QStringLiteral("系统工具"),   QStringLiteral("图形设计"),
    };
    return list;
}

QLineEdit *CustomFormImportSection::addField(QLineEdit *&field, const QString &objectName, const QString &placeholder)
{
    field = FormStyle::lineEdit(placeholder);
    field->setObjectName(objectName);
    connect(field, &QLineEdit::textChanged, this, &CustomFormImportSection::updateButtons);
    return field;
}

void CustomFormImportSection::fetchNginxVersions()
{
    const QString listingUrl = m_versionListUrl->text();
    if (listingUrl.isEmpty() || m_isParsingNginx)
        return;
    const QString pattern = m_versionPatternUrl->text();
    setParsing(true);
    setTipMessage(std::nullopt);

    // Continued on the application, which outlives the fetch; the section may not.
    QPointer<CustomFormImportSection> guard(this);
    m_scraper.parseVersions(listingUrl, unlessEmpty(pattern))
        .then(qApp,
              [this, guard](const QList<AppVersion> &versions) {
                  if (!guard)
                      return;
                  m_parsedVersions = versions;
                  setParsing(false);
                  if (versions.isEmpty()) {
                      // Keeps what an earlier fetch found: this page simply has nothing.
                      setTipMessage(QStringLiteral("抓取版本失败: 该页面中没有找到任何版本号或安装包链接"),
                                    Tone::failure);
                      return;
                  }
                  m_parsedVersions = versions;
                  // The listing comes newest first; its head is the version to offer.
                  chooseVersion(versions.first());
                  showVersions(m_parsedVersions);
                  setTipMessage(QStringLiteral("成功解析出 %1 个版本！已自动选取最新版本 %2。")
                                    .arg(versions.size())
                                    .arg(m_currentVersion->text()),
                                Tone::success);
              })
        .onFailed(qApp,
                  [this, guard](const std::exception &error) {
                      if (!guard)
                          return;
                      setParsing(false);
                      setTipMessage(QStringLiteral("抓取版本失败: ") + errorText(error), Tone::failure);
                  })
        .onCanceled(qApp, [this, guard] {
            // Nothing cancels a fetch on purpose; never leave the spinner turning.
            if (!guard)
                return;
            setParsing(false);
            setTipMessage(QStringLiteral("抓取版本失败: 请求已取消"), Tone::failure);
        });
}

AppItem CustomFormImportSection::record() const
{
    AppItem app;
    app.id = trimSpacesAndTabs(m_id->text());
    app.name = trimSpacesAndTabs(m_name->text());
    app.chineseName = unlessEmpty(m_chineseName->text());
    app.category = m_category->currentText();
    app.summary = m_summary->text();
    app.description = m_description->text();
    app.sourceType = m_versionListUrl->text().isEmpty() ? AppSourceType::direct : AppSourceType::customList;
    app.versionPatternUrl = unlessEmpty(m_versionPatternUrl->text());
    app.versionListUrl = unlessEmpty(m_versionListUrl->text());
    app.currentVersion = m_currentVersion->text();
    app.downloadUrl = unlessEmpty(m_directDownloadUrl->text());
    if (!m_parsedVersions.isEmpty())
        app.versions = m_parsedVersions;
    // The address the record fetches names the package kind; without one
    // the kind is left to be worked out when there is something to go by.
    app.packageType = packageTypeFromUrlEnding(app.resolveDownloadUrl().value_or(QString())).value_or(PackageType::unknown);
    return app;
}

void CustomFormImportSection::saveCustomApp()
{
    if (!m_saveButton->isEnabled())
        return;
    const AppItem app = record();
    const SaveResult saved = m_store.saveAppItem(app);
    if (!saved.ok) {
        setTipMessage(QStringLiteral("保存失败: ") + saved.error, Tone::failure);
        return;
    }
    setTipMessage(QStringLiteral("应用「%1」已成功录入应用库！").arg(app.chineseName.value_or(app.name)), Tone::success);
}

void CustomFormImportSection::setParsing(bool parsing)
{
    m_isParsingNginx = parsing;
    // Disabling the focused button would hand the focus down the chain, into
    // the version field with its text selected, where the next key replaces
    // it; the address field the user just filled keeps it instead.
    if (parsing && m_fetchButton->hasFocus())
        m_versionListUrl->setFocus(Qt::OtherFocusReason);
    m_fetchButton->setText(parsing ? QString() : QStringLiteral("在线抓取版本"));
    // While the spinner turns the button keeps a 50-point frame for it.
    m_fetchButton->setMinimumWidth(parsing ? 50 + 2 * 14 : 0);
    m_spinner->setVisible(parsing);
    updateButtons();
}

void CustomFormImportSection::setTipMessage(std::optional<QString> message, Tone tone)
{
    m_tipMessage = std::move(message);
    if (m_tipMessage && tone == Tone::failure)
        m_tipLine->setMessage(QStringLiteral("exclamationmark.triangle.fill"), *m_tipMessage, &ThemeColor::red);
    else if (m_tipMessage)
        m_tipLine->setMessage(QStringLiteral("checkmark.circle.fill"), *m_tipMessage, &ThemeColor::green);
    m_tipLine->setVisible(m_tipMessage.has_value());
}

void CustomFormImportSection::showVersions(const QList<AppVersion> &versions)
{
    m_versionsTitle->setText(QStringLiteral("抓取到的版本列表 (%1 个)：").arg(versions.size()));
    auto *chips = new QWidget;
    m_chipRow = new QHBoxLayout(chips);
    m_chipRow->setContentsMargins(0, 0, 0, 0);
    m_chipRow->setSpacing(6);
    m_moreChip = versionChip(QString());
    m_moreChip->setObjectName(QStringLiteral("moreVersionsChip"));
    connect(m_moreChip, &ChipButton::clicked, this, &CustomFormImportSection::showMoreChips);
    m_chipRow->addWidget(m_moreChip);
    m_chipRow->addStretch(1);
    m_shownChips = 0;
    showMoreChips();
    static_cast<ChipStrip *>(m_chipStrip)->setContent(chips);
    m_versionsBlock->setVisible(!versions.isEmpty());
}

void CustomFormImportSection::showMoreChips()
{
    // A mirror may list tens of thousands of versions: a chip each would
    // freeze the window, so they come a page at a time, newest first.
    const qsizetype end = std::min(m_parsedVersions.size(), m_shownChips + chipPageSize);
    for (; m_shownChips < end; ++m_shownChips) {
        const AppVersion version = m_parsedVersions.at(m_shownChips);
        auto *chip = versionChip(QStringLiteral("v") + version.version);
        connect(chip, &ChipButton::clicked, this, [this, version] { chooseVersion(version); });
        m_chipRow->insertWidget(m_chipRow->indexOf(m_moreChip), chip);
        // Into a strip already on screen: shown now, not on the next turn of the event loop.
        chip->show();
    }
    const qsizetype left = m_parsedVersions.size() - m_shownChips;
    m_moreChip->setText(QStringLiteral("更多（还有 %1 个）…").arg(left));
    m_moreChip->setVisible(left > 0);
}

ChipButton *CustomFormImportSection::versionChip(const QString &text)
{
    auto *chip = new ChipButton(text);
    chip->setFontSpec(11, QFont::Medium, QFont::Medium, ThemeFont::Face::Numeric);
    chip->setPadding(8, 3);
    chip->setCornerRadius(5);
    chip->setBorderedStyle();
    return chip;
}

void CustomFormImportSection::chooseVersion(const AppVersion &version)
{
    m_currentVersion->setText(version.version);
    m_currentVersion->setCursorPosition(0);
    // An address an earlier chip filled in belongs to that version: kept, it
    // would fetch that version's package under this one's name. One the user
    // typed stays.
    const QString address = version.downloadUrl.value_or(QString());
    if (address.isEmpty() && m_directDownloadUrl->text() != m_filledAddress)
        return;
    m_directDownloadUrl->setText(address);
    // A filled-in address is checked by its host first.
    m_directDownloadUrl->setCursorPosition(0);
    m_filledAddress = address;
}

void CustomFormImportSection::updateButtons()
{
    m_fetchButton->setEnabled(!m_versionListUrl->text().isEmpty() && !m_isParsingNginx);
    m_saveButton->setEnabled(!trimSpacesAndTabs(m_id->text()).isEmpty() &&
                             !trimSpacesAndTabs(m_name->text()).isEmpty());
}
