#pragma once

#include <functional>

#include <QFont>
#include <QObject>
#include <QString>
#include <QTimer>

class QSettings;
class QWidget;

// The one app-wide text scale (1.0 = 100 %), kept across launches under
// "AppTextScaleFactor", plus the short-lived flag that shows the text-size HUD.
//
// The steps are plain floating-point additions, neither rounded nor snapped:
// five zoom-ins from 1.0 end at exactly maxScale, and the values in between
// carry the usual binary residue (1.2000000000000002); percentText hides it.
class FontScaleManager final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FontScaleManager)

public:
    static constexpr double minScale = 0.8;
    static constexpr double maxScale = 1.45;
    static constexpr double defaultScale = 1.0;
    static constexpr double step = 0.1;
    static constexpr int hudHideDelayMs = 1800;
    static QString settingsKey() { return QStringLiteral("AppTextScaleFactor"); }

    // Reads the stored scale from settings (not owned; must outlive this object).
    // A missing or out-of-range value gives defaultScale and is not written back.
    explicit FontScaleManager(QSettings *settings, QObject *parent = nullptr);
    ~FontScaleManager() override;

    // The instance whose scale every font function and ThemeFont::apply read.
    // It stores into the application's default QSettings.
    static FontScaleManager &shared();

    double scale() const { return m_scale; }
    // Every assignment is stored, also one that leaves the value unchanged.
    void setScale(double scale);
    bool showHud() const { return m_showHud; }
    QString percentText() const { return percentText(m_scale); }
    static QString percentText(double scale);

    void zoomIn();
    void zoomOut();
    void reset();
    // Shows the HUD and restarts its hide countdown.
    void triggerHud();
    // The pending hide countdown, observable so tests need not sleep through it.
    const QTimer &hideTimer() const { return m_hideTimer; }

Q_SIGNALS:
    void scaleChanged(double scale);
    void showHudChanged(bool shown);

private:
    void setShowHud(bool shown);

    QSettings *m_settings;
    double m_scale = defaultScale;
    bool m_showHud = false;
    QTimer m_hideTimer;
};

// A font of the PingFang SC face matching the weight, at size × the current
// scale. Where PingFang SC is missing (Linux) Noto Sans CJK SC, else the
// system sans-serif, at the same effective size and the requested weight.
// Sizes are given in the reference platform's points, which are logical pixels.
QFont pingFang(qreal size, QFont::Weight weight = QFont::Normal);
// The monospaced system font at size × the current scale: for versions, sizes,
// identifiers and addresses, whose digits must line up.
QFont appNumeric(qreal size, QFont::Weight weight = QFont::Normal);

// How every text follows the scale, in one place.
//
// * Widgets declare their text once: ThemeFont::apply(label, 13, QFont::Medium)
//   sets the scaled font now and remembers size, weight and face on the widget.
//   When the shared FontScaleManager's scale changes, every widget that has
//   such a declaration gets its font rebuilt at the new scale, which makes Qt
//   re-lay it out and repaint it. Screens never re-apply fonts by hand.
// * Painted texts (item delegates, custom paintEvent) call pingFang() /
//   appNumeric() at paint time and measure with the same call in sizeHint.
//   The widget doing the painting (for an item view: the view itself) declares
//   a font with ThemeFont::apply too; its font-change then re-lays out and
//   repaints it (item views recompute their item sizes on a font change).
// * Texts the layout gives as fixed system fonts use Face::System: declared
//   the same way so the look is uniform, but never scaled.
// * Never set font sizes in style sheets: they would override all of this.
class ThemeFont final
{
public:
    enum class Face { PingFang, Numeric, System };

    static void apply(QWidget *widget, qreal size, QFont::Weight weight = QFont::Normal, Face face = Face::PingFang);
    // The font for a face at size × scale.
    static QFont font(Face face, qreal size, QFont::Weight weight, double scale);
    // A fixed-size font in the PingFang/system face, for texts that do not scale.
    static QFont systemFont(qreal size, QFont::Weight weight = QFont::Normal);
    // The size of a font built here, in logical pixels (the reference's points).
    static qreal logicalSize(const QFont &font);
    // Makes the app's face, unscaled at the body size, the font of every widget
    // that declares none (message boxes, and each text field until its own font
    // is set), so their texts need no other face loaded. Call it before the
    // window is built: widgets that exist already take the change only later.
    static void applyToApplication();
    // Rebuilds the font of every widget that declared one; called on each scale change.
    static void refreshAll();
    // Finds the faces on the pool while the window is built (Qt's font list, over
    // the system's list that SystemFonts reads ahead) and loads the symbol font,
    // warning when it cannot: a fifth of the start-up, which the first text
    // would otherwise wait for. `then` runs next on the same thread: other
    // start-up work that can wait for the fonts, without a third busy thread
    // taking a two-core machine's time from the window.
    static void prepareInBackground(std::function<void()> then = {});
};
