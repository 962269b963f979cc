#include "views/components/ThemeFont.h"

#include <cmath>
#include <optional>

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QScreen>
#include <QSettings>
#include <QVariant>
#include <QWidget>
#include <QtConcurrent/QtConcurrentRun>

#include "platform/Platform.h"
#include "views/components/Symbols.h"
#include "views/components/SystemFonts.h"

namespace {

const char *const kSizeProperty = "zelvoFontSize";
const char *const kWeightProperty = "zelvoFontWeight";
const char *const kFaceProperty = "zelvoFontFace";

QString firstInstalled(std::initializer_list<const char *> candidates, QFontDatabase::SystemFont fallback)
{
    // Asking for one family's faces reads that family alone; the list of all
    // families would read every face on the system first, a fifth of the start-up.
    for (const char *name : candidates) {
        if (!QFontDatabase::styles(QLatin1String(name)).isEmpty())
            return QLatin1String(name);
    }
    return QFontDatabase::systemFont(fallback).family();
}

const QString &sansFamily()
{
    // The first look into Qt's font database, from the pool as the window is
    // built: it waits for the system's list read ahead, so that Qt does not
    // read it a second time beside it.
    static const QString family = [] {
        SystemFonts::waitRead();
        return firstInstalled({"PingFang SC", "Noto Sans CJK SC"}, QFontDatabase::GeneralFont);
    }();
    return family;
}

const QString &numericFamily()
{
    // The platform names its own fixed-pitch face; a stock Mac registers
    // none of the monospaced names a list here could guess. The name may be an
    // alias ("Monospace"): the face behind it is looked up once, here, rather
    // than once for every size and weight a text asks of the alias.
    static const QString family = QFontInfo(QFontDatabase::systemFont(QFontDatabase::FixedFont)).family();
    return family;
}

// Each weight maps onto the nearest face the family really has (PingFang SC ships
// six, Noto Sans CJK two). Asking for the face itself rather than a weight between
// faces renders the same, and lets every weight that lands on one face share one
// font engine: each engine costs the first paint a font match and a face to load.
QFont::Weight faceWeight(QFont::Weight weight)
{
    // Initialised once, whichever thread asks first.
    static const QList<int> faces = [] {
        QList<int> weights;
        const QString &family = sansFamily();
        for (const QString &style : QFontDatabase::styles(family)) {
            if (!QFontDatabase::italic(family, style))
                weights.append(QFontDatabase::weight(family, style));
        }
        return weights;
    }();
    std::optional<int> nearest;
    for (const int face : faces) {
        const int distance = std::abs(face - weight);
        // Between two faces the heavier one wins, as a designer rounding a weight would.
        if (!nearest || distance < std::abs(*nearest - weight) ||
            (distance == std::abs(*nearest - weight) && face > *nearest))
            nearest = face;
    }
    return QFont::Weight(nearest.value_or(weight));
}

qreal logicalDpi()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 72.0;
}

// Point sizes keep the fraction that pixel sizes would round away.
void setLogicalSize(QFont &font, qreal size)
{
    font.setPointSizeF(std::max<qreal>(size, 1.0) * 72.0 / logicalDpi());
}

} // namespace

FontScaleManager::FontScaleManager(QSettings *settings, QObject *parent) : QObject(parent), m_settings(settings)
{
    bool ok = false;
    const double stored = m_settings->value(settingsKey()).toDouble(&ok);
    if (ok && stored >= minScale && stored <= maxScale)
        m_scale = stored;

    m_hideTimer.setSingleShot(true);
    m_hideTimer.setTimerType(Qt::PreciseTimer);
    m_hideTimer.setInterval(hudHideDelayMs);
    connect(&m_hideTimer, &QTimer::timeout, this, [this] { setShowHud(false); });
}

FontScaleManager::~FontScaleManager() = default;

FontScaleManager &FontScaleManager::shared()
{
    static const std::unique_ptr<QSettings> settings = Platform::openSettings();
    static FontScaleManager instance(settings.get());
    static const bool followed = [] {
        connect(&instance, &FontScaleManager::scaleChanged, &instance, [] { ThemeFont::refreshAll(); });
        // The instance outlives the application object; its timer must not.
        if (QCoreApplication *app = QCoreApplication::instance())
            connect(app, &QCoreApplication::aboutToQuit, &instance, [] { instance.m_hideTimer.stop(); });
        return true;
    }();
    Q_UNUSED(followed);
    return instance;
}

void FontScaleManager::setScale(double scale)
{
    m_settings->setValue(settingsKey(), scale);
    if (scale == m_scale)
        return;
    m_scale = scale;
    Q_EMIT scaleChanged(m_scale);
}

QString FontScaleManager::percentText(double scale)
{
    return QString::number(std::llround(scale * 100.0)) + QLatin1Char('%');
}

void FontScaleManager::zoomIn()
{
    double next = m_scale + step;
    if (next > maxScale)
        next = maxScale;
    setScale(next);
    triggerHud();
}

void FontScaleManager::zoomOut()
{
    double next = m_scale - step;
    if (next <= minScale)
        next = minScale;
    setScale(next);
    triggerHud();
}

void FontScaleManager::reset()
{
    setScale(defaultScale);
    triggerHud();
}

void FontScaleManager::triggerHud()
{
    setShowHud(true);
    m_hideTimer.start();
}

void FontScaleManager::setShowHud(bool shown)
{
    if (m_showHud == shown)
        return;
    m_showHud = shown;
    Q_EMIT showHudChanged(m_showHud);
}

QFont pingFang(qreal size, QFont::Weight weight)
{
    return ThemeFont::font(ThemeFont::Face::PingFang, size, weight, FontScaleManager::shared().scale());
}

QFont appNumeric(qreal size, QFont::Weight weight)
{
    return ThemeFont::font(ThemeFont::Face::Numeric, size, weight, FontScaleManager::shared().scale());
}

QFont ThemeFont::font(Face face, qreal size, QFont::Weight weight, double scale)
{
    QFont font;
    switch (face) {
    case Face::PingFang:
    case Face::System:
        font.setFamilies({sansFamily()});
        font.setStyleHint(QFont::SansSerif);
        font.setWeight(faceWeight(weight));
        break;
    case Face::Numeric:
        font.setFamilies({numericFamily()});
        font.setStyleHint(QFont::Monospace);
        font.setFixedPitch(true);
        font.setWeight(weight);
        break;
    }
    setLogicalSize(font, face == Face::System ? size : size * scale);
    return font;
}

QFont ThemeFont::systemFont(qreal size, QFont::Weight weight)
{
    return font(Face::System, size, weight, 1.0);
}

qreal ThemeFont::logicalSize(const QFont &font)
{
    if (font.pixelSize() > 0)
        return font.pixelSize();
    return font.pointSizeF() * logicalDpi() / 72.0;
}

void ThemeFont::apply(QWidget *widget, qreal size, QFont::Weight weight, Face face)
{
    widget->setProperty(kSizeProperty, size);
    widget->setProperty(kWeightProperty, int(weight));
    widget->setProperty(kFaceProperty, int(face));
    widget->setFont(font(face, size, weight, FontScaleManager::shared().scale()));
}

void ThemeFont::applyToApplication()
{
    QApplication::setFont(systemFont(13));
}

void ThemeFont::prepareInBackground(std::function<void()> then)
{
    // The font database may be asked from any thread; the pool is waited for at exit.
    [[maybe_unused]] const auto done = QtConcurrent::run([then = std::move(then)] {
        faceWeight(QFont::Normal);
        numericFamily();
        if (!Symbols::fontLoaded())
            qWarning("The embedded symbol font could not be loaded; symbols will not show.");
        if (then)
            then();
    });
}

void ThemeFont::refreshAll()
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    const double scale = FontScaleManager::shared().scale();
    const QWidgetList widgets = QApplication::allWidgets();
    for (QWidget *widget : widgets) {
        const QVariant size = widget->property(kSizeProperty);
        if (!size.isValid())
            continue;
        const auto face = Face(widget->property(kFaceProperty).toInt());
        if (face == Face::System)
            continue;
        const auto weight = QFont::Weight(widget->property(kWeightProperty).toInt());
        widget->setFont(font(face, size.toReal(), weight, scale));
    }
}
