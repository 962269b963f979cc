#pragma once

#include <QColor>
#include <QWidget>

// A thin rounded track with the done part filled, like the system's linear
// progress indicator. The value is a fraction (0…1); values outside are clamped.
class LinearProgressBar final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinearProgressBar)

public:
    explicit LinearProgressBar(QWidget *parent = nullptr);

    double value() const { return m_value; }
    void setValue(double value);
    // An invalid colour (the default) fills with the palette's accent colour.
    void setFillColor(const QColor &color);
    const QColor &fillColor() const { return m_fill; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double m_value = 0;
    QColor m_fill;
};
