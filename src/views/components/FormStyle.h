#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The form controls of the entry screens, drawn the way a macOS form draws
// them: bordered and prominent push buttons, rounded text fields, titled
// field groups. Every text is declared through ThemeFont so it follows the
// app-wide text scale; the colours come from the palette at creation time.
class FormStyle final
{
public:
    enum class ButtonKind { bordered, prominent };
    enum class ButtonSize { small, regular, large };

    static QPushButton *button(const QString &text, ButtonKind kind, ButtonSize size, qreal fontSize,
                               QFont::Weight weight, QWidget *parent = nullptr);
    // A single-line field with a rounded border, PingFang 12.
    static QLineEdit *lineEdit(const QString &placeholder, QWidget *parent = nullptr);
    // A pop-up picker with the same rounded border, PingFang 12.
    static QComboBox *comboBox(const QStringList &items, QWidget *parent = nullptr);
    // Style-sheet rules for thin, rounded scroll bars without arrow buttons.
    static QString thinScrollBarRules(const QPalette &palette);
    // The title (PingFang 12, medium) 4 points above the field.
    static QWidget *fieldGroup(const QString &title, QWidget *field, QWidget *parent = nullptr);
    // A PingFang label in the primary colour, or the secondary one.
    static QLabel *label(const QString &text, qreal size, QFont::Weight weight, QWidget *parent = nullptr);
    static QLabel *secondaryLabel(const QString &text, qreal size, QWidget *parent = nullptr);
    // The heading of an entry section: its title (PingFang 15, semibold) over a
    // secondary note (PingFang 12).
    static QWidget *sectionHeading(const QString &title, const QString &note, QWidget *parent = nullptr);
};
