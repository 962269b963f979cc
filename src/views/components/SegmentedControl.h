#pragma once

#include <QRectF>
#include <QStringList>
#include <QWidget>

// A macOS-style segmented picker: equal segments on a grey track, the chosen
// one raised on the control background. Mouse and arrow keys choose.
class SegmentedControl final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SegmentedControl)

public:
    // Segment texts in PingFang of fontSize/weight (scaled with the app's text).
    SegmentedControl(QStringList segments, qreal fontSize, QFont::Weight weight, QWidget *parent = nullptr);

    QStringList segments() const { return m_segments; }
    // Shown in place of a segment's text when that does not fit.
    void setShortSegments(QStringList shortSegments) { m_shortSegments = std::move(shortSegments); update(); }
    // What the segment shows at the control's present width.
    QString shownText(int index) const;
    int currentIndex() const { return m_current; }
    // Emits currentChanged when the index changes; -1 chooses none.
    void setCurrentIndex(int index);
    // The segment under a point in this widget's coordinates, or -1.
    int segmentAt(const QPoint &point) const;
    QRect segmentRect(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void currentChanged(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    qreal segmentWidth() const;
    QRectF segmentBox(int index) const;

    QStringList m_segments;
    QStringList m_shortSegments;
    int m_current = -1;
};
