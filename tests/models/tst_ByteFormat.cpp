#include <QTest>

#include <limits>

#include "models/ByteFormat.h"

class tst_ByteFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileSize_data();
    void fileSize();
};

void tst_ByteFormat::fileSize_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << "0 KB";
    QTest::newRow("one byte") << qint64(1) << "1 byte";
    QTest::newRow("below a kilobyte") << qint64(999) << "999 bytes";
    QTest::newRow("decimal kilobyte") << qint64(1000) << "1 KB";
    QTest::newRow("1024 is not a KiB") << qint64(1024) << "1 KB";
    QTest::newRow("kilobytes round") << qint64(1500) << "2 KB";
    QTest::newRow("carry into MB") << qint64(999'999) << "1 MB";
    QTest::newRow("MB one decimal") << qint64(1'234'567) << "1.2 MB";
    QTest::newRow("MB drops .0") << qint64(5'000'000) << "5 MB";
    QTest::newRow("GiB in GB") << qint64(1) * 1024 * 1024 * 1024 << "1.07 GB";
    QTest::newRow("GB two decimals") << qint64(3'454'000'000) << "3.45 GB";
    QTest::newRow("GB trailing zero") << qint64(3'400'000'000) << "3.4 GB";
    QTest::newRow("carry into GB") << qint64(999'960'000) << "1 GB";
    QTest::newRow("TB") << qint64(2'500'000'000'000) << "2.5 TB";
    QTest::newRow("largest") << std::numeric_limits<qint64>::max() << "9.22 EB";
    QTest::newRow("negative") << qint64(-2'000) << "-2 KB";
    QTest::newRow("most negative") << std::numeric_limits<qint64>::min() << "-9.22 EB";
}

void tst_ByteFormat::fileSize()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(ByteFormat::fileSize(bytes), text);
}

QTEST_GUILESS_MAIN(tst_ByteFormat)
#include "tst_ByteFormat.moc"
