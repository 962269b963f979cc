#pragma once

#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>

#include "models/AppItem.h"

struct AppContext;
class AppIconView;
class ChipStrip;
class MessageLine;
class QLabel;
class QLineEdit;
class QPushButton;
class QHBoxLayout;
class QVBoxLayout;
class QVariantAnimation;

// The Homebrew tab of the import screen: a cask name is looked up (candidate
// names from `brew search`, the record from the cask API or the local brew),
// falling back to the best candidate when no cask has exactly that name. The
// preview card can open the detail page, install the record, or save it.
//
// Lookups are never cancelled. When two overlap (Return pressed again while
// one runs) each writes its outcome when it ends, so the last to finish is
// what stays on screen.
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

    bool isResolving() const { return m_isResolving; }
    const std::optional<AppItem> &resolvedApp() const { return m_resolvedApp; }
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    const std::optional<QString> &successTip() const { return m_successTip; }
    bool isDetailExpanded() const { return m_isDetailExpanded; }
    const QStringList &candidateTokens() const { return m_candidateTokens; }
    const std::optional<QString> &selectedCandidate() const { return m_selectedCandidate; }

private:
    // A lookup's outcome, written whole when it ends.
    void finishLookup(const QString &name, const QStringList &candidates, std::optional<AppItem> exact);
    void finishFuzzyLookup(const QString &name, const QStringList &candidates, std::optional<AppItem> first);

    void setResolving(bool resolving);
    void setResolvedApp(std::optional<AppItem> app);
    void setCandidates(QStringList tokens, std::optional<QString> selected);
    void setMessages(std::optional<QString> error, std::optional<QString> success);

    void buildInputRow(QVBoxLayout *column);
    void refreshQueryButton();
    void rebuildCandidates();
    void rebuildCard();
    QWidget *buildCardHeader(const AppItem &app);
    QWidget *buildDrawer(const AppItem &app);
    void refreshLibraryMark();
    void refreshIcon();
    void refreshDrawerToggle();
    void openDetail();

    AppContext &m_context;
    OpenDetail m_onOpenDetail;

    bool m_isResolving = false;
    std::optional<AppItem> m_resolvedApp;
    std::optional<QString> m_errorMessage;
    std::optional<QString> m_successTip;
    bool m_isDetailExpanded = false;
    QStringList m_candidateTokens;
    std::optional<QString> m_selectedCandidate;

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
    QWidget *m_card = nullptr;
    QVBoxLayout *m_cardHolder = nullptr;
    AppIconView *m_icon = nullptr;
    QWidget *m_saveButton = nullptr;
    QWidget *m_inLibraryMark = nullptr;
    QLabel *m_drawerToggleText = nullptr;
    QLabel *m_drawerToggleSymbol = nullptr;
    QWidget *m_drawer = nullptr;
    QVariantAnimation *m_drawerAnimation = nullptr;
};
