#include "views/components/Symbols.h"

#include <QFontDatabase>
#include <QHash>
#include <QPainter>

namespace {

// Reference name → Material Icons code point (Material's own name in the comment).
const QHash<QString, char32_t> &table()
{
    static const QHash<QString, char32_t> symbols = {
        // Sidebar, brand and HUD
        {QStringLiteral("bag"), 0xf1cc},                        // shopping_bag
        {QStringLiteral("arrow.down.app"), 0xeb71},             // install_desktop
        {QStringLiteral("arrow.down.circle"), 0xf181},          // arrow_circle_down
        {QStringLiteral("plus.circle"), 0xe148},                // add_circle_outline
        {QStringLiteral("shippingbox.fill"), 0xe1a1},           // inventory_2
        {QStringLiteral("minus"), 0xe15b},                      // remove
        {QStringLiteral("plus"), 0xe145},                       // add
        // Lists, search and message lines
        {QStringLiteral("magnifyingglass"), 0xe8b6},            // search
        {QStringLiteral("xmark.circle.fill"), 0xe5c9},          // cancel
        {QStringLiteral("xmark.circle"), 0xe888},               // highlight_off
        {QStringLiteral("arrow.clockwise"), 0xe5d5},            // refresh
        {QStringLiteral("arrow.triangle.2.circlepath"), 0xe923}, // update
        {QStringLiteral("tray"), 0xe156},                       // inbox
        {QStringLiteral("checkmark"), 0xe5ca},                  // check
        {QStringLiteral("checkmark.circle.fill"), 0xe86c},      // check_circle
        {QStringLiteral("circle"), 0xe836},                     // radio_button_unchecked
        {QStringLiteral("info.circle"), 0xe88f},                // info_outline
        {QStringLiteral("info.circle.fill"), 0xe88e},           // info
        {QStringLiteral("exclamationmark.triangle.fill"), 0xe002}, // warning
        // Navigation chevrons
        {QStringLiteral("chevron.left"), 0xe5cb},               // chevron_left
        {QStringLiteral("chevron.right"), 0xe5cc},              // chevron_right
        {QStringLiteral("chevron.down"), 0xe5cf},               // expand_more
        {QStringLiteral("chevron.up"), 0xe5ce},                 // expand_less
        {QStringLiteral("arrow.up.forward.app"), 0xe89e},       // open_in_new
        // Detail facts and links
        {QStringLiteral("safari"), 0xe87a},                     // explore
        {QStringLiteral("square.grid.2x2"), 0xe9b0},            // grid_view
        {QStringLiteral("tag"), 0xf05b},                        // sell
        {QStringLiteral("sparkles"), 0xe65f},                   // auto_awesome
        {QStringLiteral("desktopcomputer"), 0xe30b},            // desktop_mac
        {QStringLiteral("shippingbox"), 0xe1a1},                // inventory_2
        {QStringLiteral("app.badge"), 0xea67},                  // badge
        // Category fallbacks of the app icon
        {QStringLiteral("globe"), 0xe894},                      // language
        {QStringLiteral("chevron.left.forwardslash.chevron.right"), 0xe86f}, // code
        {QStringLiteral("bubble.left.and.bubble.right.fill"), 0xe0bf},      // forum
        {QStringLiteral("doc.text.fill"), 0xe873},              // description
        {QStringLiteral("play.tv.fill"), 0xe639},               // live_tv
        {QStringLiteral("gearshape.fill"), 0xe8b8},             // settings
        {QStringLiteral("app.fill"), 0xe5c3},                   // apps
        // Downloads and package cache
        {QStringLiteral("arrow.down.circle.fill"), 0xf000},     // download_for_offline
        {QStringLiteral("externaldrive.fill"), 0xe1db},         // storage
        {QStringLiteral("cube.box.fill"), 0xe9fe},              // view_in_ar
        {QStringLiteral("doc.zipper"), 0xeb2c},                 // folder_zip
        {QStringLiteral("doc.fill"), 0xe24d},                   // insert_drive_file
        {QStringLiteral("trash"), 0xe872},                      // delete
        {QStringLiteral("folder"), 0xe2c7},                     // folder
        {QStringLiteral("square.and.arrow.down"), 0xf090},      // download
        {QStringLiteral("doc.on.doc"), 0xe14d},                 // content_copy
    };
    return symbols;
}

constexpr char32_t kFallback = 0xe887; // help_outline

QString family()
{
    static const QString name = [] {
        const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/MaterialIcons-Regular.ttf"));
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QString() : families.constFirst();
    }();
    return name;
}

QString textOf(char32_t codePoint)
{
    return QString::fromUcs4(&codePoint, 1);
}

} // namespace

bool Symbols::contains(const QString &name)
{
    return table().contains(name);
}

QStringList Symbols::names()
{
    QStringList all = table().keys();
    all.sort();
    return all;
}

QString Symbols::glyph(const QString &name)
{
    const auto found = table().constFind(name);
    if (found == table().cend()) {
        Q_ASSERT_X(false, "Symbols::glyph", qPrintable(QStringLiteral("unknown symbol ") + name));
        qWarning("Unknown symbol name: %s", qPrintable(name));
        return fallbackGlyph();
    }
    return textOf(*found);
}

QString Symbols::fallbackGlyph()
{
    return textOf(kFallback);
}

QFont Symbols::font(qreal pointSize)
{
    QFont font(family());
    font.setPixelSize(std::max(1, qRound(boxSize(pointSize))));
    font.setHintingPreference(QFont::PreferNoHinting);
    // Set, so that a painter does not take them from a bold or italic widget:
    // the font has one face, and Qt would slant or thicken it by hand, each
    // such look a font of its own to load.
    font.setWeight(QFont::Normal);
    font.setStyle(QFont::StyleNormal);
    return font;
}

qreal Symbols::boxSize(qreal pointSize)
{
    return pointSize * 1.4;
}

bool Symbols::fontLoaded()
{
    return !family().isEmpty();
}

void Symbols::paint(QPainter *painter, const QRectF &rect, const QString &name, const QColor &color)
{
    paint(painter, rect, name, color, std::min(rect.width(), rect.height()) / boxSize(1.0));
}

void Symbols::paint(QPainter *painter, const QRectF &rect, const QString &name, const QColor &color, qreal pointSize)
{
    painter->save();
    painter->setFont(font(pointSize));
    painter->setPen(color);
    painter->drawText(rect, Qt::AlignCenter, glyph(name));
    painter->restore();
}

QPixmap Symbols::pixmap(const QString &name, const QColor &color, qreal pointSize, qreal devicePixelRatio)
{
    const int side = qCeil(boxSize(pointSize));
    QPixmap pixmap(QSize(side, side) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::TextAntialiasing);
    paint(&painter, QRectF(0, 0, side, side), name, color, pointSize);
    return pixmap;
}

QIcon Symbols::icon(const QString &name, const QColor &color, qreal pointSize)
{
    QIcon icon;
    icon.addPixmap(pixmap(name, color, pointSize, 1.0));
    icon.addPixmap(pixmap(name, color, pointSize, 2.0));
    return icon;
}
