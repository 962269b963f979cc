#pragma once

#include <QList>
#include <QWidget>

#include <optional>

#include "models/AppItem.h"

class ActivitySpinner;
class ChipButton;
class AppStoreService;
class MessageLine;
class NginxIndexParser;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;

// The hand-written entry tab of the import screen: a form for one record,
// which can read every version a download mirror's folder listing offers and
// fill in the newest. Saving keeps the form, so an entry can be corrected and
// saved again under the same id.
class CustomFormImportSection final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CustomFormImportSection)

public:
    CustomFormImportSection(AppStoreService &store, NginxIndexParser &scraper, QWidget *parent = nullptr);

    // Version chips shown at first, and added by each "更多" chip.
    static constexpr int chipPageSize = 40;

    // The choices of the "分类" picker, in order.
    static const QStringList &categories();

    // Reads the versions of the listing address (as typed) in the background.
    void fetchNginxVersions();
    // Saves the record the form describes; the form keeps its contents.
    void saveCustomApp();
    // The record the form describes now.
    AppItem record() const;

    bool isParsingNginx() const { return m_isParsingNginx; }
    const QList<AppVersion> &parsedVersions() const { return m_parsedVersions; }
    std::optional<QString> tipMessage() const { return m_tipMessage; }

private:
    QLineEdit *addField(QLineEdit *&field, const QString &objectName, const QString &placeholder);
    void setParsing(bool parsing);
    enum class Tone { success, failure };
    void setTipMessage(std::optional<QString> message, Tone tone = Tone::success);
    void showVersions(const QList<AppVersion> &versions);
    void showMoreChips();
    ChipButton *versionChip(const QString &text);
    void chooseVersion(const AppVersion &version);
    void updateButtons();

    AppStoreService &m_store;
    NginxIndexParser &m_scraper;

    QLineEdit *m_id = nullptr;
    QLineEdit *m_name = nullptr;
    QLineEdit *m_chineseName = nullptr;
    QComboBox *m_category = nullptr;
    QLineEdit *m_versionListUrl = nullptr;
    QLineEdit *m_versionPatternUrl = nullptr;
    QLineEdit *m_currentVersion = nullptr;
    QLineEdit *m_directDownloadUrl = nullptr;
    QLineEdit *m_summary = nullptr;
    QLineEdit *m_description = nullptr;

    QPushButton *m_fetchButton = nullptr;
    ActivitySpinner *m_spinner = nullptr;
    QWidget *m_versionsBlock = nullptr;
    QLabel *m_versionsTitle = nullptr;
    QScrollArea *m_chipStrip = nullptr;
    QHBoxLayout *m_chipRow = nullptr;
    ChipButton *m_moreChip = nullptr;
    qsizetype m_shownChips = 0;
    MessageLine *m_tipLine = nullptr;
    QPushButton *m_saveButton = nullptr;

    bool m_isParsingNginx = false;
    QList<AppVersion> m_parsedVersions;
    std::optional<QString> m_tipMessage;
    // The download address the last chosen version put into its field.
    QString m_filledAddress;
};
