#pragma once

#include <QWidget>

// A one-pixel line in the separator colour; horizontal lines stretch across
// their layout, vertical ones down it.
class SeparatorLine final : public QWidget
{
public:
    explicit SeparatorLine(Qt::Orientation orientation = Qt::Horizontal, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *) override;
};
