#pragma once

#include <QWidget>

#include <functional>
#include <optional>

class AppStoreService;
class MessageLine;
class QPlainTextEdit;
class QPushButton;

// The JSON tab of the import screen: a model document to copy or load, an
// editor to paste records into, and a file import. Outcomes go to one result
// line, green or red.
class JsonTemplateImportSection final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(JsonTemplateImportSection)

public:
    // Asks the user for one .json file; an empty text means cancelled.
    using FileChooser = std::function<QString(QWidget *parent)>;

    explicit JsonTemplateImportSection(AppStoreService &store, QWidget *parent = nullptr);

    // The model document: one complete record, valid import input as it stands.
    static QString jsonTemplateString();

    // Imports the editor's text as it stands.
    void executeImport();
    // Imports the records of one file the user chooses; the editor is not touched.
    void selectLocalJsonFile();
    // Replaces the native open panel (tests answer it themselves).
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

    QString jsonInputText() const;
    std::optional<QString> importResult() const { return m_importResult; }
    bool isError() const { return m_isError; }

private:
    void showResult(const QString &text, bool isError);
    void updateImportButton();

    AppStoreService &m_store;
    FileChooser m_chooseFile;
    QPlainTextEdit *m_editor;
    QPushButton *m_importButton;
    MessageLine *m_resultLine;
    std::optional<QString> m_importResult;
    bool m_isError = false;
};
