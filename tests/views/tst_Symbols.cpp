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
    void namesTheScreensUse_data();
    void namesTheScreensUse();
    void unknownNameDrawsFallback();
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

void tst_Symbols::namesTheScreensUse_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name :
         {"bag", "arrow.down.app", "arrow.down.circle", "plus.circle", "shippingbox.fill", "minus", "plus",
          "magnifyingglass", "xmark.circle.fill", "arrow.clockwise", "tray", "chevron.left", "checkmark.circle.fill",
          "safari", "square.grid.2x2", "tag", "sparkles", "desktopcomputer", "shippingbox", "app.badge", "globe",
          "chevron.left.forwardslash.chevron.right", "bubble.left.and.bubble.right.fill", "doc.text.fill",
          "play.tv.fill", "gearshape.fill", "app.fill", "arrow.down.circle.fill", "xmark.circle", "circle",
          "externaldrive.fill", "cube.box.fill", "doc.zipper", "doc.fill", "trash", "info.circle.fill",
          "exclamationmark.triangle.fill", "checkmark", "chevron.right", "arrow.up.forward.app", "info.circle",
          "chevron.down", "chevron.up", "folder", "square.and.arrow.down", "doc.on.doc"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void tst_Symbols::namesTheScreensUse()
{
    QFETCH(QString, name);
    QVERIFY(Symbols::contains(name));
    QVERIFY(Symbols::glyph(name) != Symbols::fallbackGlyph());
}

void tst_Symbols::unknownNameDrawsFallback()
{
#ifdef QT_NO_DEBUG
    QTest::ignoreMessage(QtWarningMsg, "Unknown symbol name: no.such.symbol");
    QCOMPARE(Symbols::glyph(QStringLiteral("no.such.symbol")), Symbols::fallbackGlyph());
#else
    QSKIP("unknown names assert in debug builds");
#endif
}

QTEST_MAIN(tst_Symbols)
#include "tst_Symbols.moc"
