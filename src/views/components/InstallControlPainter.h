#pragma once

#include <QPalette>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QStringList>

#include "models/InstallControlState.h"

class QPainter;

// How the install control looks, for the detail page's ActionButton and for
// the list delegate alike: "获取" / "打开" / "更新"+"打开" pills, the
// installing pill with its spinner, the download pill with its progress ring
// and percentage (a turning ring and "下载中" while the length is unknown),
// and the red "安装失败" / "下载失败" mark after a failure.
//
// Everything is laid out from the left edge of the given rect and centred
// vertically in it; a caller that wants the control right-aligned gives a
// rect of sizeHint() width. Texts use the scaled font functions at paint
// time, so the control follows the app-wide text scale.
class InstallControlPainter final
{
public:
    // What a click on a part of the control asks for.
    enum class Action { none, install, open };
    // Where the failure mark goes. A control aligned to the right puts it
    // first, so that the pills stay where the user just clicked.
    enum class MarkSide { trailing, leading };

    struct Interaction
    {
        Action hovered = Action::none;
        Action pressed = Action::none;
        // 0…1, one turn of the installing spinner; see spinnerPhaseNow().
        qreal spinnerPhase = 0;
    };

    // Where each part sits inside rect.
    struct Layout
    {
        QRectF first;  // the only pill, or "更新" of the pair
        QRectF second; // "打开" of the pair; empty otherwise
        QRectF failureMark;
        Action firstAction = Action::none;
        Action secondAction = Action::none;
    };

    static QSizeF sizeHint(const InstallControlState &state);
    static Layout layout(const InstallControlState &state, const QRectF &rect, MarkSide side = MarkSide::trailing);
    static void paint(QPainter *painter, const QRectF &rect, const InstallControlState &state, const QPalette &palette,
                      const Interaction &interaction, MarkSide side = MarkSide::trailing);
    static void paint(QPainter *painter, const QRectF &rect, const InstallControlState &state, const QPalette &palette);

    // The action of the pill under point, for clicks and the hand cursor.
    static Action hitTest(const InstallControlState &state, const QRectF &rect, const QPointF &point,
                          MarkSide side = MarkSide::trailing);
    // The failure's reason when point is over the failure mark (for its tooltip); else empty.
    static QString toolTipAt(const InstallControlState &state, const QRectF &rect, const QPointF &point,
                             MarkSide side = MarkSide::trailing);
    // The texts the control shows, in order ("更新", "打开"; "42%"; "安装中..."; "下载失败").
    static QStringList texts(const InstallControlState &state);

    // The installing spinner or the ring of a download of unknown length turns:
    // the owner repaints every spinnerFrameMs.
    static bool isAnimated(const InstallControlState &state);
    // Spinner phase from the clock, so a repaint timer is all an owner needs.
    static qreal spinnerPhaseNow();
    // Interval at which an owner repaints while installing.
    static constexpr int spinnerFrameMs = 80;
};
