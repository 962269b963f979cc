#pragma once

#include <QWidget>

// A whole number on a capsule in the accent colour, as on the sidebar's
// downloads row. Shown only while the number is greater than zero.
class CountBadge final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CountBadge)

public:
    explicit CountBadge(QWidget *parent = nullptr);

    int count() const { return m_count; }
    void setCount(int count);
    QString text() const { return QString::number(m_count); }
    // On a row filled with the accent colour the badge turns white with accent text.
    void setInverted(bool inverted);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_count = 0;
    bool m_inverted = false;
};
