#pragma once

#include <QWidget>

#include "views/components/PillPainter.h"

// A rounded panel filled and outlined from the palette, restyled whenever
// the palette changes: cards, drawers and tinted message lines.
class TintedPanel final : public QWidget
{
public:
    using StyleOf = PillStyle (*)(const QPalette &);

    TintedPanel(StyleOf style, qreal radius, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    StyleOf m_style;
    qreal m_radius;
};
