#pragma once

#include <QWidget>

#include <functional>

struct AppContext;
class MessageLine;
class QComboBox;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// The page that manages the catalog sources: the Homebrew API base (the
// official service, a mainland mirror or a custom address), one row per
// source with its kind, record count, last refresh and state, refresh and
// remove, and subscribing to a catalog by its address. When the Homebrew
// catalog could not be fetched from the chosen base, its row offers the
// first other base that answered.
class SourceManagerView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SourceManagerView)

public:
    SourceManagerView(AppContext &context, std::function<void()> onBack, QWidget *parent = nullptr);

    // Fetches the typed address once and keeps it only if it is a usable catalog.
    void subscribe();
    void refresh(const QString &sourceId);
    void remove(const QString &sourceId);
    // The preset of this index, or the custom field's address for the last entry.
    void applyApiBase();

    QString messageText() const;

private:
    void rebuildRows();
    void showMessage(const QString &text, bool failure);

    AppContext &m_context;
    QComboBox *m_baseChoice = nullptr;
    QLineEdit *m_customBase = nullptr;
    QVBoxLayout *m_rows = nullptr;
    QLineEdit *m_address = nullptr;
    QPushButton *m_subscribe = nullptr;
    QWidget *m_messageRow = nullptr;
    MessageLine *m_message = nullptr;
};
