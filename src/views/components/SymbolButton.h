#pragma once

#include <QAbstractButton>
#include <QColor>

// A borderless button showing one symbol (refresh, clear search, delete, close
// card, HUD minus/plus). Symbols keep their size whatever the text scale.
class SymbolButton final : public QAbstractButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SymbolButton)

public:
    SymbolButton(const QString &symbol, qreal pointSize, QWidget *parent = nullptr);

    QString symbol() const { return m_symbol; }
    void setSymbol(const QString &symbol);
    // An invalid colour (the default) draws in the palette's secondary colour.
    void setColor(const QColor &color);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_symbol;
    qreal m_pointSize;
    QColor m_color;
};
