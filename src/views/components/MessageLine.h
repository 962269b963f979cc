#pragma once

#include <QColor>
#include <QWidget>

class QLabel;

// The outcome line of a screen: one symbol and a wrapping text, both in the
// same colour (red for a failure, green for a success, accent for a note).
class MessageLine final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MessageLine)

public:
    explicit MessageLine(QWidget *parent = nullptr);

    void setMessage(const QString &symbol, const QString &text, const QColor &color);
    QString text() const;
    QString symbol() const { return m_symbol; }
    QColor color() const { return m_color; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void alignIcon();

    QLabel *m_icon;
    QLabel *m_text;
    QString m_symbol;
    QColor m_color;
};
