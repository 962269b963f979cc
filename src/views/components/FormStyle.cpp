#include "views/components/FormStyle.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "views/components/Labels.h"
#include "views/components/Symbols.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"
#include "views/components/ThemeWatcher.h"

namespace {

QString rgba(const QColor &color)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(QString::number(color.alphaF(), 'f', 3));
}

// Style sheets carry colours, borders and padding only: font sizes in a style
// sheet would override the text scale.
QString buttonSheet(const QPalette &palette, FormStyle::ButtonKind kind, FormStyle::ButtonSize size)
{
    const auto padding = size == FormStyle::ButtonSize::small   ? QStringLiteral("3px 9px")
                         : size == FormStyle::ButtonSize::large ? QStringLiteral("7px 20px")
                                                                : QStringLiteral("5px 14px");
    const int radius = size == FormStyle::ButtonSize::large ? 7 : 5;
    const QColor accent = ThemeColor::accent(palette);
    if (kind == FormStyle::ButtonKind::prominent) {
        return QStringLiteral("QPushButton { color: %8; background: %1; border: none; border-radius: %2px;"
                              " padding: %3; }"
                              "QPushButton:hover { background: %4; }"
                              "QPushButton:pressed { background: %5; }"
                              "QPushButton:disabled { color: %6; background: %7; }")
            .arg(rgba(accent))
            .arg(radius)
            .arg(padding, rgba(accent.lighter(108)), rgba(accent.darker(115)),
                 rgba(ThemeColor::withOpacity(ThemeColor::onAccent(palette), 0.85)), rgba(ThemeColor::withOpacity(accent, 0.4)))
            .arg(rgba(ThemeColor::onAccent(palette)));
    }
    const QColor primary = ThemeColor::primary(palette);
    return QStringLiteral("QPushButton { color: %1; background: %2; border: 1px solid %3; border-radius: %4px;"
                          " padding: %5; }"
                          "QPushButton:hover { background: %6; }"
                          "QPushButton:pressed { background: %7; }"
                          "QPushButton:disabled { color: %8; }")
        .arg(rgba(primary), rgba(ThemeColor::controlBackground(palette)),
             rgba(ThemeColor::withOpacity(primary, 0.18)))
        .arg(radius)
        .arg(padding, rgba(ThemeColor::controlBackground(palette).darker(104)),
             rgba(ThemeColor::controlBackground(palette).darker(112)), rgba(ThemeColor::secondary(palette)));
}

// The style sheet's rounded border hides the style's own arrow; the picker
// draws the symbol table's chevron in its place.
class PopUpPicker final : public QComboBox
{
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QComboBox::paintEvent(event);
        QPainter painter(this);
        const qreal side = Symbols::boxSize(kChevronSize);
        const QRectF box(width() - side - 8, (height() - side) / 2.0, side, side);
        Symbols::paint(&painter, box, QStringLiteral("chevron.down"), ThemeColor::secondary(palette()), kChevronSize);
    }

private:
    static constexpr qreal kChevronSize = 11;
};

} // namespace

QPushButton *FormStyle::button(const QString &text, ButtonKind kind, ButtonSize size, qreal fontSize,
                               QFont::Weight weight, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setCursor(Qt::PointingHandCursor);
    ThemeWatcher::followStyleSheet(button, [kind, size](const QPalette &theme) { return buttonSheet(theme, kind, size); });
    ThemeFont::apply(button, fontSize, weight);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return button;
}

QLineEdit *FormStyle::lineEdit(const QString &placeholder, QWidget *parent)
{
    auto *field = new QLineEdit(parent);
    field->setPlaceholderText(placeholder);
    ThemeWatcher::followStyleSheet(field, [](const QPalette &palette) {
        return QStringLiteral("QLineEdit { background: %1; border: 1px solid %2; border-radius: 6px;"
                                        " padding: 4px 7px; }"
                                        "QLineEdit:focus { border: 1px solid %3; }")
                             .arg(rgba(ThemeColor::controlBackground(palette)),
                                  rgba(ThemeColor::withOpacity(ThemeColor::primary(palette), 0.16)),
                                  rgba(ThemeColor::accent(palette)));
    });
    ThemeFont::apply(field, 12);
    return field;
}

QComboBox *FormStyle::comboBox(const QStringList &items, QWidget *parent)
{
    auto *picker = new PopUpPicker(parent);
    picker->addItems(items);
    picker->setCursor(Qt::PointingHandCursor);
    ThemeWatcher::followStyleSheet(picker, [](const QPalette &palette) {
        return QStringLiteral("QComboBox { background: %1; border: 1px solid %2; border-radius: 6px;"
                                         " padding: 4px 8px; }"
                                         "QComboBox:focus { border: 1px solid %3; }"
                                         "QComboBox::drop-down { border: none; width: 22px; }")
                              .arg(rgba(ThemeColor::controlBackground(palette)),
                                   rgba(ThemeColor::withOpacity(ThemeColor::primary(palette), 0.16)),
                                   rgba(ThemeColor::accent(palette)));
    });
    ThemeFont::apply(picker, 12);
    return picker;
}

QString FormStyle::thinScrollBarRules(const QPalette &palette)
{
    const QColor handle = ThemeColor::withOpacity(ThemeColor::primary(palette), 0.28);
    return QStringLiteral("QScrollBar:vertical { background: transparent; width: 8px; margin: 2px; }"
                          "QScrollBar::handle:vertical { background: %1; border-radius: 2px; min-height: 24px; }"
                          "QScrollBar::add-line, QScrollBar::sub-line { height: 0; width: 0; }"
                          "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }")
        .arg(rgba(handle));
}

QWidget *FormStyle::fieldGroup(const QString &title, QWidget *field, QWidget *parent)
{
    auto *group = new QWidget(parent);
    auto *column = new QVBoxLayout(group);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addWidget(label(title, 12, QFont::Medium));
    column->addWidget(field);
    return group;
}

QLabel *FormStyle::label(const QString &text, qreal size, QFont::Weight weight, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    ThemeFont::apply(label, size, weight);
    return label;
}

QLabel *FormStyle::secondaryLabel(const QString &text, qreal size, QWidget *parent)
{
    auto *label = FormStyle::label(text, size, QFont::Normal, parent);
    Labels::followTextColor(label, &ThemeColor::secondary);
    label->setWordWrap(true);
    return label;
}

QWidget *FormStyle::sectionHeading(const QString &title, const QString &note, QWidget *parent)
{
    auto *heading = new QWidget(parent);
    auto *column = new QVBoxLayout(heading);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(label(title, 15, QFont::DemiBold));
    column->addWidget(secondaryLabel(note, 12));
    return heading;
}
