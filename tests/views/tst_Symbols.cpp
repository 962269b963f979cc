#include <QFontMetrics>
#include <QPainter>
#include <QTest>

#include "views/components/Symbols.h"

class tst_Symbols : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void embeddedFontLoads();
    void everyNameHasAGlyph();
};

void tst_Symbols::embeddedFontLoads()
{
    QVERIFY(Symbols::fontLoaded());
    QCOMPARE(QFontInfo(Symbols::font(13)).family(), QStringLiteral("Material Icons"));
}

void tst_Symbols::everyNameHasAGlyph()
{
    const QFontMetrics metrics(Symbols::font(13));
    for (const QString &name : Symbols::names()) {
        const QString glyph = Symbols::glyph(name);
        QVERIFY2(metrics.inFontUcs4(glyph.toUcs4().constFirst()), qPrintable(name));
        // A glyph that exists but draws nothing would still be a missing symbol.
        const QImage image = Symbols::pixmap(name, Qt::black, 13, 1.0).toImage();
        bool inked = false;
        for (int y = 0; y < image.height() && !inked; ++y)
            for (int x = 0; x < image.width() && !inked; ++x)
                inked = qAlpha(image.pixel(x, y)) > 0;
        QVERIFY2(inked, qPrintable(name));
    }
}

QTEST_MAIN(tst_Symbols)
#include "tst_Symbols.moc"
