#include <QTest>

#include "views/components/ChipButton.h"

class tst_ChipButton : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checkedChipLooksSelected_data();
    void checkedChipLooksSelected();
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

QTEST_MAIN(tst_ChipButton)
#include "tst_ChipButton.moc"
