#include "views/JsonTemplateImportSection.h"

#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "models/ZelvoError.h"
#include "services/AppStoreService.h"
#include "views/components/FormStyle.h"
#include "views/components/MessageLine.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"
#include "views/components/ThemeWatcher.h"

namespace {

QString nativeJsonChooser(QWidget *parent)
{
    return QFileDialog::getOpenFileName(parent, QStringLiteral("选择 JSON 文件"), QString(),
                                        QStringLiteral("JSON (*.json)"));
}

// The model document and the editor keep a fixed monospaced size: code is
// read by its columns, not scaled with the prose around it.
QFont codeFont()
{
    return ThemeFont::font(ThemeFont::Face::Numeric, 11, QFont::Normal, 1.0);
}

QString codeBoxSheet(const QPalette &palette, bool bordered)
{
    const QColor base = ThemeColor::controlBackground(palette);
    const QColor border = bordered ? ThemeColor::withOpacity(ThemeColor::secondary(palette), 0.2) : base;
    return QStringLiteral("QPlainTextEdit { background: %1; border-radius: 6px; border: 1px solid %2; }")
               .arg(base.name(QColor::HexArgb), border.name(QColor::HexArgb)) +
           FormStyle::thinScrollBarRules(palette);
}

QWidget *captionRow(const QString &caption, QPushButton *button)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FormStyle::label(caption, 12, QFont::DemiBold));
    layout->addStretch(1);
    layout->addWidget(button);
    return row;
}

} // namespace

JsonTemplateImportSection::JsonTemplateImportSection(AppStoreService &store, QWidget *parent)
    : QWidget(parent), m_store(store), m_chooseFile(nativeJsonChooser), m_editor(new QPlainTextEdit),
      m_importButton(FormStyle::button(QStringLiteral("解析并导入"), FormStyle::ButtonKind::prominent,
                                       FormStyle::ButtonSize::regular, 12, QFont::Medium)),
      m_resultLine(new MessageLine)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(18);

    column->addWidget(FormStyle::sectionHeading(
        QStringLiteral("JSON 数据导入与规范模版"),
        QStringLiteral("支持粘贴单条或批量 JSON 数组，或从其他自动化工具生成的 .json 文件中直接导入。")));

    auto *copyButton = FormStyle::button(QStringLiteral("复制模版"), FormStyle::ButtonKind::bordered,
                                         FormStyle::ButtonSize::small, 11, QFont::Medium);
    copyButton->setObjectName(QStringLiteral("copyTemplateButton"));
    connect(copyButton, &QPushButton::clicked, this, [] {
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(jsonTemplateString());
    });
    auto *templateView = new QPlainTextEdit(jsonTemplateString());
    templateView->setObjectName(QStringLiteral("templateView"));
    templateView->setReadOnly(true);
    templateView->setFont(codeFont());
    templateView->setFixedHeight(140);
    templateView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ThemeWatcher::followStyleSheet(templateView, [](const QPalette &theme) { return codeBoxSheet(theme, false); });
    templateView->document()->setDocumentMargin(10);
    auto *templateBlock = new QVBoxLayout;
    templateBlock->setSpacing(8);
    templateBlock->addWidget(captionRow(QStringLiteral("标准 JSON 模版格式"), copyButton));
    templateBlock->addWidget(templateView);
    column->addLayout(templateBlock);

    auto *fileButton = FormStyle::button(QStringLiteral("从本地文件选择导入..."), FormStyle::ButtonKind::bordered,
                                         FormStyle::ButtonSize::small, 11, QFont::Medium);
    fileButton->setObjectName(QStringLiteral("chooseFileButton"));
    connect(fileButton, &QPushButton::clicked, this, &JsonTemplateImportSection::selectLocalJsonFile);
    m_editor->setObjectName(QStringLiteral("jsonEditor"));
    m_editor->setFont(codeFont());
    m_editor->setFixedHeight(160);
    ThemeWatcher::followStyleSheet(m_editor, [](const QPalette &theme) { return codeBoxSheet(theme, true); });
    m_editor->document()->setDocumentMargin(4);
    connect(m_editor, &QPlainTextEdit::textChanged, this, &JsonTemplateImportSection::updateImportButton);
    auto *pasteBlock = new QVBoxLayout;
    pasteBlock->setSpacing(8);
    pasteBlock->addWidget(captionRow(QStringLiteral("粘贴要导入的 JSON 内容："), fileButton));
    pasteBlock->addWidget(m_editor);
    column->addLayout(pasteBlock);

    m_importButton->setObjectName(QStringLiteral("importButton"));
    connect(m_importButton, &QPushButton::clicked, this, &JsonTemplateImportSection::executeImport);
    auto *fillButton = FormStyle::button(QStringLiteral("填入模版示例"), FormStyle::ButtonKind::bordered,
                                         FormStyle::ButtonSize::regular, 12, QFont::Medium);
    fillButton->setObjectName(QStringLiteral("fillTemplateButton"));
    connect(fillButton, &QPushButton::clicked, this,
            [this] { m_editor->setPlainText(jsonTemplateString()); });
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addWidget(m_importButton);
    buttons->addWidget(fillButton);
    buttons->addStretch(1);
    column->addLayout(buttons);

    // Below the buttons, so that its appearing moves nothing the user may click next.
    m_resultLine->setObjectName(QStringLiteral("resultLine"));
    m_resultLine->hide();
    column->addWidget(m_resultLine);
    // Spare height goes below everything, so nothing above moves when the line appears.
    column->addStretch(1);

    updateImportButton();
}

QString JsonTemplateImportSection::jsonTemplateString()
{
    return QStringLiteral(R"([
  {
    "id": "com.example.app",
    "name": "SampleApp",
    "chineseName": "示例应用",
    "category": "开发工具",
    "summary": "简单实用的 macOS 原生桌面工具",
    "description": "这是完整的详细介绍信息，支持 Markdown 和纯文本。",
    "homepage": "https://example.com",
    "sourceType": "direct",
    "currentVersion": "1.0.0",
    "versionPatternUrl": "https://example.com/dl/v{version}/SampleApp-{version}.dmg",
    "downloadUrl": "https://example.com/dl/v1.0.0/SampleApp-1.0.0.dmg",
    "packageType": "dmg"
  }
])");
}

QString JsonTemplateImportSection::jsonInputText() const
{
    return m_editor->toPlainText();
}

void JsonTemplateImportSection::executeImport()
{
    try {
        const ImportResult result = m_store.importFromJson(jsonInputText());
        if (!result.save.ok)
            showResult(QStringLiteral("保存失败: ") + result.save.error, true);
        else
            showResult(QStringLiteral("成功导入 / 更新了 %1 个应用！已同步保存到本地应用库。").arg(result.count),
                       false);
    } catch (const std::exception &error) {
        showResult(QStringLiteral("导入失败: ") + errorText(error), true);
    }
}

void JsonTemplateImportSection::selectLocalJsonFile()
{
    const QString path = m_chooseFile(this);
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        showResult(QStringLiteral("文件导入失败: ") + file.errorString(), true);
        return;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        showResult(QStringLiteral("文件导入失败: ") + file.errorString(), true);
        return;
    }
    try {
        const ImportResult result = m_store.importFromData(data);
        if (!result.save.ok)
            showResult(QStringLiteral("保存失败: ") + result.save.error, true);
        else
            showResult(QStringLiteral("从文件成功导入 / 更新了 %1 个应用！").arg(result.count), false);
    } catch (const std::exception &error) {
        showResult(QStringLiteral("文件导入失败: ") + errorText(error), true);
    }
}

void JsonTemplateImportSection::showResult(const QString &text, bool isError)
{
    m_importResult = text;
    m_isError = isError;
    if (isError)
        m_resultLine->setMessage(QStringLiteral("xmark.circle.fill"), text, &ThemeColor::red);
    else
        m_resultLine->setMessage(QStringLiteral("checkmark.circle.fill"), text, &ThemeColor::green);
    m_resultLine->show();
}

void JsonTemplateImportSection::updateImportButton()
{
    m_importButton->setEnabled(!jsonInputText().trimmed().isEmpty());
}
