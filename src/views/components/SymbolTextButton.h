#pragma once

#include <QAbstractButton>
#include <QColor>

#include <optional>

#include "views/components/PillPainter.h"

// A symbol followed by a text, as one borderless button: the back button, the
// homepage link and, given a pill background, the prominent "保存至应用库".
// The text follows the app-wide text scale; the symbol keeps its size.
class SymbolTextButton final : public QAbstractButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SymbolTextButton)

public:
    SymbolTextButton(const QString &symbol, qreal symbolSize, const QString &text, QWidget *parent = nullptr);

    // PingFang at size × scale.
    void setFontSpec(qreal size, QFont::Weight weight);
    // An invalid colour (the default) draws in the accent colour.
    void setColor(const QColor &color);
    // Draws a filled background with this padding; the style's text colour then wins.
    void setBackground(const PillStyle &style, qreal radius, qreal horizontalPadding, qreal verticalPadding);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QColor contentColor() const;

    QString m_symbol;
    qreal m_symbolSize;
    QColor m_color;
    std::optional<PillStyle> m_background;
    qreal m_radius = 6;
    qreal m_horizontalPadding = 0;
    qreal m_verticalPadding = 0;
};
