#pragma once

#include <QLabel>

// A one-line label that gives way when space runs short: it shrinks to a few
// characters, ends in "…" and shows its whole text on hover, instead of
// pushing its neighbours (and the window's edge) out of view.
class ElidedLabel final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ElidedLabel)

public:
    explicit ElidedLabel(const QString &text, QWidget *parent = nullptr);

    // What the label draws at its current width.
    QString shownText() const;

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void updateToolTip();
};
