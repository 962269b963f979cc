#include <QTest>

#include "models/NumericCompare.h"

class tst_NumericCompare final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void order_data();
    void order();
};

void tst_NumericCompare::order_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected"); // sign of numericCompare(a, b)

    const auto row = [](const char *name, const QString &a, const QString &b, int expected) {
        QTest::newRow(name) << a << b << expected;
    };
    row("two-digit part after one-digit part", "1.10.0", "1.9.0", 1);
    row("third part", "1.2.9", "1.2.10", -1);
    row("inside a file name", "MyApp-10.dmg", "MyApp-9.dmg", 1);
    row("leading zeros are the same value", "1.02", "1.2", 0);
    row("zero runs of different length", "0", "00", 0);
    row("leading zero before a larger run", "010", "9", 1);
    row("runs beyond 64 bits", "99999999999999999999", "100000000000000000000", -1);
    row("equally long runs beyond 64 bits", "1.18446744073709551616", "1.18446744073709551615", 1);
    row("longer text wins once the common part is equal", "2.0.0-beta.1.dmg", "2.0.0", 1);
    row("suffix numbers by value", "2.0.0-rc10", "2.0.0-rc9", 1);
    row("letters by code unit", "1.2a", "1.2b", -1);
    row("no case folding", "a", "B", 1);
    row("dot after hyphen by code unit", "1.0", "1-0", 1);
    row("letter against digit by code unit", "1.a", "1.1", 1);
    row("non-ASCII by code unit", QStringLiteral("版本2"), QStringLiteral("版本10"), -1);
    row("empty texts", "", "", 0);
    row("empty before anything", "", "0", -1);
    row("identical", "3.4.5", "3.4.5", 0);
}

void tst_NumericCompare::order()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);

    const auto sign = [](int value) { return (value > 0) - (value < 0); };
    QCOMPARE(sign(numericCompare(a, b)), expected);
    QCOMPARE(sign(numericCompare(b, a)), -expected);
}

QTEST_APPLESS_MAIN(tst_NumericCompare)
#include "tst_NumericCompare.moc"
