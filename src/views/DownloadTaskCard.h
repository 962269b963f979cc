#pragma once

#include <QWidget>

#include "models/DownloadTaskItem.h"

class LinearProgressBar;
class LiveTextLine;
class QLabel;
class SymbolButton;

// One download of the current run on the downloads screen: name and version,
// the live progress line or the failure reason, a close button and a bar.
class DownloadTaskCard final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadTaskCard)

public:
    explicit DownloadTaskCard(const DownloadTaskItem &task, QWidget *parent = nullptr);

    void setTask(const DownloadTaskItem &task);
    const DownloadTaskItem &task() const { return m_task; }

    // What the card shows, for the screen's tests and accessibility.
    QString titleText() const;
    // Empty when the card shows no second line.
    QString detailText() const;
    double progress() const;

    // The second line of a card: the progress figures while downloading, the
    // reason after a failure, "已完成" once finished.
    static QString detailText(const DownloadTaskItem &task);
    // "剩余约 …" from the average rate since the download started; empty
    // while the length is unknown or too little has arrived to tell.
    static QString remainingText(const DownloadTaskItem &task, const QDateTime &now);

Q_SIGNALS:
    // The close button: the screen cancels a running download (after a second
    // click that confirms it) or dismisses a finished one.
    void closeRequested(const QString &taskId);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void showTask();
    void applyColors(const QPalette &pal);
    void setConfirmingCancel(bool confirming);

    DownloadTaskItem m_task;
    QLabel *m_icon = nullptr;
    QLabel *m_title = nullptr;
    // The running figures repaint in place; a failure's reason wraps and can be selected.
    LiveTextLine *m_figures = nullptr;
    QLabel *m_reason = nullptr;
    SymbolButton *m_close = nullptr;
    LinearProgressBar *m_bar = nullptr;
    bool m_confirmingCancel = false;
};
