#pragma once

#include <QScrollArea>

// A one-line strip of chips without scroll bars: as tall as its chips, and a
// plain mouse wheel scrolls it sideways (the candidate capsules of the
// Homebrew entry, the version chips of the entry form).
class ChipStrip final : public QScrollArea
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChipStrip)

public:
    explicit ChipStrip(QWidget *parent = nullptr);

    // Replaces the strip's content (a row of chips), shown at once.
    void setContent(QWidget *content);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
};
