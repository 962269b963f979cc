#pragma once

#include <QHash>
#include <QWidget>

#include "views/AppContext.h"

class ChipButton;
class LinearProgressBar;
class MessageLine;
class QLabel;
class QVBoxLayout;
class UpdateRow;

// The "可更新" destination: every installed app a newer version is known
// for, with installed → available versions and its own "更新" button, and
// "全部更新", which queues them all and shows the whole run's progress and,
// once it ends, how many succeeded and failed (the reasons stay on their
// rows). What it lists comes from the update center, which it observes.
class UpdatesView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UpdatesView)

public:
    explicit UpdatesView(AppContext &context, QWidget *parent = nullptr);
    ~UpdatesView() override;

private:
    QWidget *buildHeader();
    void showRows();
    void showProgress();
    void showRow(const QString &bundlePath);
    void applyColors(const QPalette &pal);

    AppContext &m_context;
    QLabel *m_title = nullptr;
    QLabel *m_subtitle = nullptr;
    ChipButton *m_check = nullptr;
    ChipButton *m_updateAll = nullptr;
    LinearProgressBar *m_progress = nullptr;
    QLabel *m_progressText = nullptr;
    MessageLine *m_summary = nullptr;
    QVBoxLayout *m_rows = nullptr;
    QLabel *m_empty = nullptr;
    QHash<QString, UpdateRow *> m_rowByBundle;
};
