#pragma once

#include <QColor>
#include <QWidget>

#include "views/components/ThemeColor.h"

class QLabel;

// The outcome line of a screen: one symbol and a wrapping text, both in the
// same colour (red for a failure, green for a success, accent for a note).
class MessageLine final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MessageLine)

public:
    explicit MessageLine(QWidget *parent = nullptr);

    void setMessage(const QString &symbol, const QString &text, ThemeColor::Tone tone);
    QString text() const;
    QString symbol() const { return m_symbol; }
    QColor color() const { return m_color; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void alignIcon();
    void applyColor(const QPalette &theme);

    QLabel *m_icon;
    QLabel *m_text;
    QString m_symbol;
    ThemeColor::Tone m_tone;
    QColor m_color;
};
