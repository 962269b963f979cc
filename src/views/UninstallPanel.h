#pragma once

#include <QWidget>

#include "models/AppItem.h"

struct AppContext;
class ChipButton;
class MessageLine;
class QCheckBox;
class QLabel;
class QVBoxLayout;
class SymbolTextButton;

// "卸载" on the detail page: a first click opens an inline confirmation
// (what happens, and the app's leftover files to tick), "确认卸载" does it,
// and the outcome stays on a message line. No alert window is involved.
class UninstallPanel final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UninstallPanel)

public:
    UninstallPanel(AppContext &context, const AppItem &app, QWidget *parent = nullptr);

    // Opens the confirmation (the installed list's "卸载…" lands here).
    void askToConfirm();
    bool isConfirming() const;
    // Once the app is gone the panel keeps only its outcome line.
    void setInstalled(bool installed);

private:
    void setConfirming(bool confirming);
    void showLeftovers(const QStringList &paths);
    void uninstall();
    void applyColors(const QPalette &pal);

    AppContext &m_context;
    AppItem m_app;
    SymbolTextButton *m_start = nullptr;
    QWidget *m_confirm = nullptr;
    QLabel *m_question = nullptr;
    QVBoxLayout *m_leftovers = nullptr;
    QList<QCheckBox *> m_leftoverBoxes;
    ChipButton *m_confirmButton = nullptr;
    ChipButton *m_cancelButton = nullptr;
    MessageLine *m_result = nullptr;
    bool m_running = false;
    bool m_installed = false;
};
