#pragma once

#include <QWidget>

// One line of text that changes many times a second (a download's figures).
// Setting it repaints the line and nothing else: a label asks every layout
// up to the window to be worked out again for each new text, which for a
// screen of downloads costs more than the bytes they move. The line takes the
// width its layout gives it and elides what does not fit.
class LiveTextLine final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LiveTextLine)

public:
    explicit LiveTextLine(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const { return m_text; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QString m_text;
};
