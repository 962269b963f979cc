#include "views/components/InstallControlPainter.h"

#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

#include "views/components/PillPainter.h"
#include "views/components/Symbols.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"

namespace {

constexpr qreal kPillRadius = 16;
constexpr qreal kPairGap = 8;
constexpr qreal kMarkGap = 8;
constexpr qreal kRingSide = 14;
constexpr qreal kRingWidth = 2.5;
constexpr qreal kSpinnerSide = 16 * 0.65;
constexpr qreal kSymbolGap = 3;
constexpr qreal kMarkSymbolSize = 11;

QString getText()
{
    return QStringLiteral("获取");
}
QString openText()
{
    return QStringLiteral("打开");
}
QString updateText()
{
    return QStringLiteral("更新");
}
QString installingText()
{
    return QStringLiteral("安装中...");
}
QString failureText(const InstallControlState &state)
{
    return state.failedStep == InstallControlState::FailedStep::download ? QStringLiteral("下载失败")
                                                                         : QStringLiteral("安装失败");
}

QFont statusFont()
{
    return pingFang(13, QFont::DemiBold);
}
QFont installingFont()
{
    return pingFang(12, QFont::DemiBold);
}
QFont percentFont()
{
    return appNumeric(11, QFont::Bold);
}
QFont markFont()
{
    return pingFang(11, QFont::Medium);
}

QString unknownLengthText()
{
    return QStringLiteral("下载中");
}

QString percentText(double progress)
{
    if (progress < 0)
        return unknownLengthText();
    const int percent = static_cast<int>(std::floor(std::clamp(progress, 0.0, 1.0) * 100.0));
    return QString::number(percent) + QLatin1Char('%');
}

qreal textWidth(const QFont &font, const QString &text)
{
    return std::ceil(QFontMetricsF(font).horizontalAdvance(text));
}

qreal textHeight(const QFont &font)
{
    return std::ceil(QFontMetricsF(font).height());
}

// The pills a state shows, as the (text, action) of each.
enum class Shape { statusPill, statusPair, installing, downloading };

Shape shapeOf(const AppInstallStatus &status)
{
    switch (status.kind) {
    case AppInstallStatus::Kind::installing:
        return Shape::installing;
    case AppInstallStatus::Kind::downloading:
        return Shape::downloading;
    case AppInstallStatus::Kind::updateAvailable:
        return Shape::statusPair;
    case AppInstallStatus::Kind::installed:
    case AppInstallStatus::Kind::notInstalled:
    case AppInstallStatus::Kind::failed:
        break;
    }
    return Shape::statusPill;
}

QSizeF statusPillSize(const QString &text)
{
    return PillPainter::sizeFor(text, statusFont(), 16, 5);
}

QSizeF installingPillSize()
{
    const QFont font = installingFont();
    return {kSpinnerSide + 6 + textWidth(font, installingText()) + 24, std::max(kSpinnerSide, textHeight(font)) + 10};
}

QSizeF downloadPillSize(double progress)
{
    const QFont font = percentFont();
    // Sized for the widest text so the pill does not jitter as the digits change.
    const qreal digits = std::max({textWidth(font, percentText(progress)), textWidth(font, QStringLiteral("100%")),
                                   textWidth(font, unknownLengthText())});
    return {kRingSide + 6 + digits + 28, std::max(kRingSide, textHeight(font)) + 12};
}

QSizeF markSize(const InstallControlState &state)
{
    const QFont font = markFont();
    return {Symbols::boxSize(kMarkSymbolSize) + kSymbolGap + textWidth(font, failureText(state)),
            std::max(Symbols::boxSize(kMarkSymbolSize), textHeight(font))};
}

QRectF placed(const QRectF &rect, qreal left, const QSizeF &size)
{
    return {left, rect.center().y() - size.height() / 2.0, size.width(), size.height()};
}

void paintStatusPill(QPainter *painter, const QRectF &box, const QString &text, const QPalette &palette,
                     InstallControlPainter::Action action, const InstallControlPainter::Interaction &interaction)
{
    PillStyle style{ThemeColor::controlBackground(palette), ThemeColor::accent(palette), {}, 0};
    if (text == openText())
        style.text = ThemeColor::primary(palette);
    else if (text == updateText())
        style = PillStyle{ThemeColor::accent(palette), ThemeColor::onAccent(palette), {}, 0};
    PillPainter::paint(painter, box, text, statusFont(), style, kPillRadius);
    if (action != InstallControlPainter::Action::none &&
        (interaction.pressed == action || interaction.hovered == action)) {
        const qreal opacity = interaction.pressed == action ? 0.14 : 0.06;
        PillPainter::paintBackground(
            painter, box, PillStyle{ThemeColor::withOpacity(ThemeColor::primary(palette), opacity), {}, {}, 0},
            kPillRadius);
    }
}

void paintSpinner(QPainter *painter, const QRectF &box, const QColor &color, qreal phase)
{
    // Twelve spokes fading behind the leading one, as the system's small
    // activity indicator draws them.
    constexpr int spokes = 12;
    const int lead = static_cast<int>(std::floor(phase * spokes)) % spokes;
    const qreal radius = box.width() / 2.0;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(box.center());
    for (int i = 0; i < spokes; ++i) {
        const int age = (lead - i + spokes) % spokes;
        QPen pen(ThemeColor::withOpacity(color, 1.0 - age * 0.07), std::max<qreal>(1.2, radius * 0.28), Qt::SolidLine,
                 Qt::RoundCap);
        painter->setPen(pen);
        painter->save();
        painter->rotate(i * 360.0 / spokes);
        painter->drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.95));
        painter->restore();
    }
    painter->restore();
}

void paintInstallingPill(QPainter *painter, const QRectF &box, const QPalette &palette, qreal phase)
{
    PillPainter::paintBackground(painter, box, PillStyle{ThemeColor::controlBackground(palette), {}, {}, 0},
                                 kPillRadius);
    const QRectF spinner(box.left() + 12, box.center().y() - kSpinnerSide / 2.0, kSpinnerSide, kSpinnerSide);
    paintSpinner(painter, spinner, ThemeColor::secondary(palette), phase);
    painter->save();
    painter->setFont(installingFont());
    painter->setPen(ThemeColor::primary(palette));
    painter->drawText(QRectF(spinner.right() + 6, box.top(), box.right() - spinner.right() - 6, box.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, installingText());
    painter->restore();
}

void paintDownloadPill(QPainter *painter, const QRectF &box, double progress, const QPalette &palette, qreal phase)
{
    PillPainter::paintBackground(painter, box, PillStyle{ThemeColor::controlBackground(palette), {}, {}, 0},
                                 kPillRadius);
    const QColor accent = ThemeColor::accent(palette);
    const qreal inset = kRingWidth / 2.0;
    const QRectF ring = QRectF(box.left() + 14, box.center().y() - kRingSide / 2.0, kRingSide, kRingSide)
                            .adjusted(inset, inset, -inset, -inset);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(ThemeColor::withOpacity(ThemeColor::secondary(palette), 0.3), kRingWidth));
    painter->drawEllipse(ring);
    // From twelve o'clock, clockwise: Qt's angles run counter-clockwise from three o'clock.
    const double done = std::clamp(progress, 0.0, 1.0);
    if (progress < 0) {
        // Length unknown: a quarter arc going round, like the system's indeterminate ring.
        painter->setPen(QPen(accent, kRingWidth, Qt::SolidLine, Qt::RoundCap));
        painter->drawArc(ring, qRound((90 - phase * 360) * 16), -90 * 16);
    } else if (done > 0) {
        painter->setPen(QPen(accent, kRingWidth, Qt::SolidLine, Qt::FlatCap));
        painter->drawArc(ring, 90 * 16, -qRound(done * 360 * 16));
    }
    painter->setFont(percentFont());
    painter->setPen(accent);
    const qreal textLeft = box.left() + 14 + kRingSide + 6;
    painter->drawText(QRectF(textLeft, box.top(), box.right() - textLeft, box.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, percentText(progress));
    painter->restore();
}

void paintFailureMark(QPainter *painter, const QRectF &box, const QString &text, const QPalette &palette)
{
    const QColor red = ThemeColor::red(palette);
    const qreal side = Symbols::boxSize(kMarkSymbolSize);
    Symbols::paint(painter, QRectF(box.left(), box.center().y() - side / 2.0, side, side),
                   QStringLiteral("exclamationmark.triangle.fill"), red, kMarkSymbolSize);
    painter->save();
    painter->setFont(markFont());
    painter->setPen(red);
    painter->drawText(QRectF(box.left() + side + kSymbolGap, box.top(), box.width() - side - kSymbolGap, box.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, text);
    painter->restore();
}

} // namespace

InstallControlPainter::Layout InstallControlPainter::layout(const InstallControlState &state, const QRectF &rect,
                                                            MarkSide side)
{
    Layout result;
    const bool leadingMark = state.hasFailure() && side == MarkSide::leading;
    qreal left = rect.left();
    if (leadingMark) {
        result.failureMark = placed(rect, left, markSize(state));
        left = result.failureMark.right() + kMarkGap;
    }
    switch (shapeOf(state.status)) {
    case Shape::installing:
        result.first = placed(rect, left, installingPillSize());
        break;
    case Shape::downloading:
        result.first = placed(rect, left, downloadPillSize(state.status.progress));
        break;
    case Shape::statusPair:
        result.first = placed(rect, left, statusPillSize(updateText()));
        result.firstAction = Action::install;
        result.second = placed(rect, result.first.right() + kPairGap, statusPillSize(openText()));
        result.secondAction = Action::open;
        break;
    case Shape::statusPill: {
        const bool installed = state.status.kind == AppInstallStatus::Kind::installed;
        result.first = placed(rect, left, statusPillSize(installed ? openText() : getText()));
        result.firstAction = installed ? Action::open : Action::install;
        break;
    }
    }
    left = (result.second.isEmpty() ? result.first : result.second).right();
    if (state.hasFailure() && !leadingMark)
        result.failureMark = placed(rect, left + kMarkGap, markSize(state));
    // A right-aligned control ends exactly at the rect's right edge, mark or
    // not: sizes round up, and half a point would still move the pills.
    const qreal slack = rect.right() - left;
    if (side == MarkSide::leading && slack > 0) {
        for (QRectF *part : {&result.first, &result.second, &result.failureMark})
            if (!part->isEmpty())
                part->translate(slack, 0);
    }
    return result;
}

QSizeF InstallControlPainter::sizeHint(const InstallControlState &state)
{
    const Layout parts = layout(state, QRectF(0, 0, 0, 0));
    const QRectF whole = parts.first | parts.second | parts.failureMark;
    return {std::ceil(whole.width()), std::ceil(whole.height())};
}

void InstallControlPainter::paint(QPainter *painter, const QRectF &rect, const InstallControlState &state,
                                  const QPalette &palette, const Interaction &interaction, MarkSide side)
{
    const Layout parts = layout(state, rect, side);
    painter->save();
    painter->setRenderHint(QPainter::TextAntialiasing);
    switch (shapeOf(state.status)) {
    case Shape::installing:
        paintInstallingPill(painter, parts.first, palette, interaction.spinnerPhase);
        break;
    case Shape::downloading:
        paintDownloadPill(painter, parts.first, state.status.progress, palette, interaction.spinnerPhase);
        break;
    case Shape::statusPair:
        paintStatusPill(painter, parts.first, updateText(), palette, parts.firstAction, interaction);
        paintStatusPill(painter, parts.second, openText(), palette, parts.secondAction, interaction);
        break;
    case Shape::statusPill:
        paintStatusPill(painter, parts.first, parts.firstAction == Action::open ? openText() : getText(), palette,
                        parts.firstAction, interaction);
        break;
    }
    if (state.hasFailure())
        paintFailureMark(painter, parts.failureMark, failureText(state), palette);
    painter->restore();
}

void InstallControlPainter::paint(QPainter *painter, const QRectF &rect, const InstallControlState &state,
                                  const QPalette &palette)
{
    paint(painter, rect, state, palette, Interaction{});
}

InstallControlPainter::Action InstallControlPainter::hitTest(const InstallControlState &state, const QRectF &rect,
                                                             const QPointF &point, MarkSide side)
{
    const Layout parts = layout(state, rect, side);
    if (parts.first.contains(point))
        return parts.firstAction;
    if (parts.second.contains(point))
        return parts.secondAction;
    return Action::none;
}

QString InstallControlPainter::toolTipAt(const InstallControlState &state, const QRectF &rect, const QPointF &point,
                                         MarkSide side)
{
    if (!state.hasFailure() || !layout(state, rect, side).failureMark.contains(point))
        return {};
    return state.failure;
}

QStringList InstallControlPainter::texts(const InstallControlState &state)
{
    QStringList shown;
    switch (shapeOf(state.status)) {
    case Shape::installing:
        shown << installingText();
        break;
    case Shape::downloading:
        shown << percentText(state.status.progress);
        break;
    case Shape::statusPair:
        shown << updateText() << openText();
        break;
    case Shape::statusPill:
        shown << (state.status.kind == AppInstallStatus::Kind::installed ? openText() : getText());
        break;
    }
    if (state.hasFailure())
        shown << failureText(state);
    return shown;
}

bool InstallControlPainter::isAnimated(const InstallControlState &state)
{
    return state.status.kind == AppInstallStatus::Kind::installing ||
           (state.status.kind == AppInstallStatus::Kind::downloading && state.status.progress < 0);
}

qreal InstallControlPainter::spinnerPhaseNow()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return static_cast<qreal>(clock.elapsed() % 1000) / 1000.0;
}
