#pragma once

#include <QTimer>
#include <QWidget>

// A small indeterminate progress indicator: a rotating arc in the secondary
// colour. It turns only while shown.
class ActivitySpinner final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ActivitySpinner)

public:
    explicit ActivitySpinner(int diameter = 14, QWidget *parent = nullptr);

    QSize sizeHint() const override { return {m_diameter, m_diameter}; }
    bool isSpinning() const { return m_timer.isActive(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    int m_diameter;
    int m_angle = 0;
    QTimer m_timer;
};
