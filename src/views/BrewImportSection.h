#pragma once

#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>

#include "models/AppItem.h"

struct AppContext;
class BrewLookup;
class BrewPreviewCard;
class ChipStrip;
class MessageLine;
class QLabel;
class QLineEdit;
class QPushButton;
class QHBoxLayout;
class QVBoxLayout;

// The Homebrew tab of the import screen: the widgets over a BrewLookup,
// which does the looking up. The preview card can open the detail page,
// install the record, or save it.
class BrewImportSection final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BrewImportSection)

public:
    using OpenDetail = std::function<void(const AppItem &)>;

    BrewImportSection(AppContext &context, OpenDetail onOpenDetail, QWidget *parent = nullptr);

    // The first non-empty piece before a comma ("1.2.3,4567" → "1.2.3"); the
    // text unchanged when there is none.
    static QString shortVersion(const QString &version);

    QString packageName() const;
    void setPackageName(const QString &name);

    // Looks up the typed name, trimmed of spaces and tabs; nothing when that is empty.
    void startResolving();
    // Shows another candidate's record; the current card stays until it arrives.
    void resolveCandidate(const QString &token);
    // Saves the previewed record into the library.
    void saveResolvedApp();
    void setDetailExpanded(bool expanded);

    BrewLookup &lookup() const { return *m_lookup; }
    bool isResolving() const;
    const std::optional<AppItem> &resolvedApp() const;
    const std::optional<QString> &errorMessage() const;
    const std::optional<QString> &successTip() const;
    bool isDetailExpanded() const { return m_isDetailExpanded; }
    const QStringList &candidateTokens() const;
    const std::optional<QString> &selectedCandidate() const;

private:
    void showMessages();
    void showCandidates();

    void buildInputRow(QVBoxLayout *column);
    void refreshQueryButton();
    void rebuildCandidates();
    void rebuildCard();
    void openDetail();

    AppContext &m_context;
    OpenDetail m_onOpenDetail;

    BrewLookup *m_lookup = nullptr;
    bool m_isDetailExpanded = false;
    QStringList m_shownCandidates;

    QLineEdit *m_nameField = nullptr;
    QPushButton *m_queryButton = nullptr;
    QWidget *m_spinner = nullptr;
    QWidget *m_candidateBlock = nullptr;
    QLabel *m_candidateHeader = nullptr;
    ChipStrip *m_candidateStrip = nullptr;
    QWidget *m_errorLine = nullptr;
    MessageLine *m_errorText = nullptr;
    QWidget *m_successLine = nullptr;
    MessageLine *m_successText = nullptr;
    BrewPreviewCard *m_card = nullptr;
    QVBoxLayout *m_cardHolder = nullptr;
};
