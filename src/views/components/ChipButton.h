#pragma once

#include <optional>

#include <QAbstractButton>

#include "views/components/PillPainter.h"
#include "views/components/ThemeFont.h"

// A borderless pill-shaped button whose whole pill is the click target:
// category chips, candidate capsules, version chips, install pills. Checkable
// chips draw their checked style (by default white text on the accent colour)
// and may switch to a heavier weight and show a trailing symbol when checked.
class ChipButton final : public QAbstractButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChipButton)

public:
    explicit ChipButton(const QString &text, QWidget *parent = nullptr);
    // A plain action pill (12-point medium text, not checkable), styled by the caller.
    static ChipButton *action(const QString &objectName, const QString &text, QWidget *parent);

    void setPadding(qreal horizontal, qreal vertical);
    void setCornerRadius(qreal radius);
    void setFontSpec(qreal size, QFont::Weight weight, QFont::Weight checkedWeight,
                     ThemeFont::Face face = ThemeFont::Face::PingFang);
    // Without explicit styles: primary text on the control background, checked
    // white text on the accent colour.
    void setStyles(const PillStyle &normal, const PillStyle &checked);
    void setStyles(const PillStyle &both) { setStyles(both, both); }
    // The plain bordered chip on the control background, following the theme.
    void setBorderedStyle();
    // A symbol drawn after the text while the chip is checked ("checkmark").
    void setCheckedSymbol(const QString &name, qreal pointSize);

    PillStyle currentStyle() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void applyFont();
    qreal symbolWidth() const;

    qreal m_horizontalPadding = 14;
    qreal m_verticalPadding = 6;
    qreal m_radius = 14;
    qreal m_fontSize = 12;
    QFont::Weight m_weight = QFont::Normal;
    QFont::Weight m_checkedWeight = QFont::DemiBold;
    ThemeFont::Face m_face = ThemeFont::Face::PingFang;
    std::optional<PillStyle> m_normalStyle;
    std::optional<PillStyle> m_checkedStyle;
    QString m_checkedSymbol;
    qreal m_checkedSymbolSize = 9;
};
