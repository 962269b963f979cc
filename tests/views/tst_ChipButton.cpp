#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include "views/components/ChipButton.h"
#include "views/components/FormStyle.h"
#include "views/components/Labels.h"
#include "views/components/MessageLine.h"
#include "views/components/ThemeColor.h"

class tst_ChipButton : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checkedChipLooksSelected_data();
    void checkedChipLooksSelected();
    void switchingAppearanceRecoloursEveryFollower();
};

void tst_ChipButton::checkedChipLooksSelected_data()
{
    QTest::addColumn<QString>("symbol");
    QTest::newRow("category chip") << QString();
    QTest::newRow("candidate capsule with checkmark") << QStringLiteral("checkmark");
}

void tst_ChipButton::checkedChipLooksSelected()
{
    QFETCH(QString, symbol);
    ChipButton chip(QStringLiteral("开发工具"));
    chip.setCheckable(true);
    chip.setFontSpec(12, QFont::Normal, QFont::DemiBold);
    if (!symbol.isEmpty())
        chip.setCheckedSymbol(symbol, 9);
    chip.show();
    const QSize unchecked = chip.sizeHint();
    const int normalWeight = chip.font().weight();

    QTest::mouseClick(&chip, Qt::LeftButton);
    QVERIFY(chip.isChecked());
    QVERIFY(chip.font().weight() > normalWeight);
    if (!symbol.isEmpty())
        QVERIFY(chip.sizeHint().width() > unchecked.width());

    // The heavier weight survives a scale change.
    FontScaleManager::shared().zoomIn();
    QVERIFY(chip.font().weight() > normalWeight);
    FontScaleManager::shared().setScale(FontScaleManager::defaultScale);
}

// Qt tells neither a child with its own text colour nor a widget under a style sheet
// that the application palette changed; a switch to dark must still reach both.
void tst_ChipButton::switchingAppearanceRecoloursEveryFollower()
{
    const QPalette light = ThemeColor::appPalette(QApplication::palette());
    QPalette darkBase;
    darkBase.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
    darkBase.setColor(QPalette::WindowText, Qt::white);
    const QPalette dark = ThemeColor::appPalette(darkBase);
    QApplication::setPalette(light);

    QWidget window;
    auto *column = new QVBoxLayout(&window);
    QLabel *label = Labels::text(QStringLiteral("说明"), 12, QFont::Normal, &ThemeColor::secondary);
    QLineEdit *field = FormStyle::lineEdit(QStringLiteral("包名"));
    auto *line = new MessageLine;
    line->setMessage(QStringLiteral("checkmark.circle.fill"), QStringLiteral("成功"), &ThemeColor::green);
    column->addWidget(label);
    column->addWidget(field);
    column->addWidget(line);
    window.show();
    const QString lightSheet = field->styleSheet();

    QApplication::setPalette(dark);
    QCOMPARE(label->palette().color(QPalette::WindowText), ThemeColor::secondary(dark));
    QCOMPARE(line->color(), ThemeColor::green(dark));
    QVERIFY(field->styleSheet() != lightSheet);
    QApplication::setPalette(light);
    QCOMPARE(field->styleSheet(), lightSheet);
    QCOMPARE(label->palette().color(QPalette::WindowText), ThemeColor::secondary(light));
}

QTEST_MAIN(tst_ChipButton)
#include "tst_ChipButton.moc"
