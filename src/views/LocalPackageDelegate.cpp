#include "views/LocalPackageDelegate.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QCursor>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include "views/LocalPackageListModel.h"
#include "views/components/PillPainter.h"
#include "views/components/Symbols.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"

namespace {

using Phase = LocalPackageListModel::InstallPhase;

constexpr qreal kPadding = 12;
constexpr qreal kSpacing = 12;
constexpr qreal kActionSpacing = 8;
constexpr qreal kCornerRadius = 8;
constexpr qreal kToggleSize = 15;
constexpr qreal kKindSize = 24;
constexpr qreal kTrashSize = 12;
constexpr qreal kTrashPadding = 4;
constexpr qreal kStatusSymbolSize = 11;
constexpr qreal kButtonPaddingH = 10;
constexpr qreal kButtonPaddingV = 3;
constexpr qreal kButtonRadius = 5;
constexpr qreal kLineGap = 2;
constexpr qreal kStatusGap = 4;
constexpr qreal kMetaGap = 8;

QFont nameFont()
{
    return pingFang(13, QFont::Medium);
}
QFont metaFont()
{
    return appNumeric(11);
}
QFont statusFont()
{
    return pingFang(11);
}
QFont buttonFont()
{
    return pingFang(12, QFont::Medium);
}

Phase phaseOf(const QModelIndex &index)
{
    return Phase(index.data(LocalPackageListModel::InstallPhaseRole).toInt());
}

QString statusText(const QModelIndex &index)
{
    const QString message = index.data(LocalPackageListModel::InstallMessageRole).toString();
    switch (phaseOf(index)) {
    case Phase::installing:
        return message.isEmpty() ? QStringLiteral("正在安装...") : message;
    case Phase::succeeded:
        return message.isEmpty() ? QStringLiteral("安装完成") : message;
    case Phase::failed:
        return QStringLiteral("安装失败: ") + message;
    case Phase::confirmingDelete:
        return QStringLiteral("再次点击删除按钮即删除此安装包");
    case Phase::idle:
        break;
    }
    return {};
}

// Every rectangle of one row, computed in one place for painting, sizing and hit tests.
struct RowGeometry
{
    QRectF card, toggle, kind, name, meta, status, install, reveal, remove;
    qreal contentHeight = 0;
};

RowGeometry layoutRow(const QRectF &rowRect, const QModelIndex &index)
{
    RowGeometry g;
    const QFontMetricsF name(nameFont()), meta(metaFont()), status(statusFont()), button(buttonFont());
    const bool hasStatus = phaseOf(index) != Phase::idle;

    const qreal buttonHeight = button.height() + 2 * kButtonPaddingV;
    // The installation line has its room whether it shows or not: a row that
    // grew when it appeared would move every row below under the pointer.
    const qreal textHeight =
        name.height() + kLineGap + meta.height() + kStatusGap + std::max(status.height(), Symbols::boxSize(kStatusSymbolSize));
    g.contentHeight = std::max({Symbols::boxSize(kKindSize), Symbols::boxSize(kToggleSize), textHeight, buttonHeight});

    g.card = QRectF(rowRect.left(), rowRect.top(), rowRect.width(), g.contentHeight + 2 * kPadding);
    const QRectF content = g.card.adjusted(kPadding, kPadding, -kPadding, -kPadding);
    const qreal middle = content.center().y();
    const auto centred = [middle](qreal x, qreal width, qreal height) {
        return QRectF(x, middle - height / 2, width, height);
    };

    const qreal toggleSide = Symbols::boxSize(kToggleSize);
    g.toggle = centred(content.left(), toggleSide, toggleSide);
    const qreal kindSide = Symbols::boxSize(kKindSize);
    g.kind = centred(g.toggle.right() + kSpacing, kindSide, kindSide);

    const qreal trashWidth = Symbols::boxSize(kTrashSize) + 2 * kTrashPadding;
    g.remove = centred(content.right() - trashWidth, trashWidth, buttonHeight);
    const qreal revealWidth = button.horizontalAdvance(LocalPackageDelegate::revealTitle()) + 2 * kButtonPaddingH;
    g.reveal = centred(g.remove.left() - kActionSpacing - revealWidth, revealWidth, buttonHeight);
    const qreal installWidth = button.horizontalAdvance(LocalPackageDelegate::installTitle()) + 2 * kButtonPaddingH;
    g.install = centred(g.reveal.left() - kActionSpacing - installWidth, installWidth, buttonHeight);
    const qreal textRight = g.install.left();
    // Half a package cannot be installed: the row offers no button that would only fail.
    if (index.data(LocalPackageListModel::UnfinishedRole).toBool())
        g.install = QRectF();

    const qreal textLeft = g.kind.right() + kSpacing;
    const qreal textWidth = std::max<qreal>(0, textRight - kSpacing - textLeft);
    qreal y = middle - textHeight / 2;
    g.name = QRectF(textLeft, y, textWidth, name.height());
    y += name.height() + kLineGap;
    g.meta = QRectF(textLeft, y, textWidth, meta.height());
    if (hasStatus) {
        y += meta.height() + kStatusGap;
        g.status = QRectF(textLeft, y, textWidth, std::max(status.height(), Symbols::boxSize(kStatusSymbolSize)));
    }
    return g;
}

QColor statusColor(Phase phase, const QPalette &palette)
{
    switch (phase) {
    case Phase::succeeded:
        return ThemeColor::green(palette);
    case Phase::failed:
    case Phase::confirmingDelete:
        return ThemeColor::red(palette);
    case Phase::installing:
    case Phase::idle:
        break;
    }
    return ThemeColor::accent(palette);
}

void paintButton(QPainter *painter, const QRectF &rect, const QString &title, const PillStyle &style, bool hovered,
                 bool enabled, const QPalette &palette)
{
    painter->save();
    if (!enabled)
        painter->setOpacity(0.45);
    PillPainter::paint(painter, rect, title, buttonFont(), style, kButtonRadius);
    if (hovered && enabled) {
        const QColor overlay = ThemeColor::withOpacity(ThemeColor::primary(palette), 0.06);
        PillPainter::paintBackground(painter, rect, PillStyle{overlay, {}, {}, 0}, kButtonRadius);
    }
    painter->restore();
}

} // namespace

LocalPackageDelegate::LocalPackageDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

QSize LocalPackageDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    // Every row has one height at a given text scale; measuring fonts for every row of a long cache on
    // every layout would cost more than drawing the rows in view. The view
    // declares a scaled font, so its font changes exactly when the scale does.
    if (option.font != m_measuredFont) {
        m_measuredFont = option.font;
        m_rowHeight = 0;
    }
    if (m_rowHeight == 0)
        m_rowHeight = qCeil(layoutRow(QRectF(option.rect), index).card.height()) + rowGap;
    return {std::max(option.rect.width(), 320), m_rowHeight};
}

QRectF LocalPackageDelegate::partRect(const QRect &rowRect, const QModelIndex &index, Part part) const
{
    const RowGeometry g = layoutRow(QRectF(rowRect), index);
    switch (part) {
    case Part::toggle:
        return g.toggle;
    case Part::install:
        return g.install;
    case Part::reveal:
        return g.reveal;
    case Part::remove:
        return g.remove;
    case Part::status:
        return g.status;
    case Part::none:
        break;
    }
    return {};
}

LocalPackageDelegate::Part LocalPackageDelegate::partAt(const QRect &rowRect, const QModelIndex &index,
                                                        const QPoint &point) const
{
    const RowGeometry g = layoutRow(QRectF(rowRect), index);
    const QPointF at(point);
    // The toggle's target is a little larger than its glyph, as a button's would be.
    if (g.toggle.adjusted(-4, -4, 4, 4).contains(at))
        return Part::toggle;
    if (g.install.contains(at))
        return phaseOf(index) == Phase::installing ? Part::none : Part::install;
    if (g.reveal.contains(at))
        return Part::reveal;
    if (g.remove.contains(at))
        return Part::remove;
    if (g.status.contains(at))
        return Part::status;
    return Part::none;
}

void LocalPackageDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QPalette &pal = option.palette;
    const RowGeometry g = layoutRow(QRectF(option.rect), index);
    const Phase phase = phaseOf(index);
    Part hovered = Part::none;
    if (option.widget && (option.state & QStyle::State_MouseOver))
        hovered = partAt(option.rect, index, option.widget->mapFromGlobal(QCursor::pos()));

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::TextAntialiasing);
    PillPainter::paintBackground(painter, g.card, PillStyle{ThemeColor::controlBackground(pal), {}, {}, 0},
                                 kCornerRadius);

    const bool selected = index.data(LocalPackageListModel::SelectedRole).toBool();
    Symbols::paint(painter, g.toggle, selected ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle"),
                   selected ? ThemeColor::accent(pal) : ThemeColor::secondary(pal), kToggleSize);
    Symbols::paint(painter, g.kind, index.data(LocalPackageListModel::SymbolRole).toString(),
                   ThemeColor::secondary(pal), kKindSize);

    const QFont name = nameFont();
    painter->setFont(name);
    painter->setPen(ThemeColor::primary(pal));
    painter->drawText(g.name, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetricsF(name).elidedText(index.data().toString(), Qt::ElideMiddle, g.name.width()));

    const QFont meta = metaFont();
    const QFontMetricsF metaMetrics(meta);
    const QString size = index.data(LocalPackageListModel::FileSizeTextRole).toString();
    const QString date = index.data(LocalPackageListModel::UnfinishedRole).toBool()
                             ? QStringLiteral("未完成的下载")
                             : index.data(LocalPackageListModel::DateTextRole).toString();
    painter->setFont(meta);
    painter->setPen(ThemeColor::secondary(pal));
    const qreal sizeWidth = metaMetrics.horizontalAdvance(size);
    painter->drawText(g.meta, Qt::AlignLeft | Qt::AlignVCenter,
                      metaMetrics.elidedText(size, Qt::ElideRight, g.meta.width()));
    const QRectF dateRect = g.meta.adjusted(sizeWidth + kMetaGap, 0, 0, 0);
    if (dateRect.width() > 0)
        painter->drawText(dateRect, Qt::AlignLeft | Qt::AlignVCenter,
                          metaMetrics.elidedText(date, Qt::ElideRight, dateRect.width()));

    if (phase != Phase::idle) {
        const QColor color = statusColor(phase, pal);
        qreal textLeft = g.status.left();
        if (phase != Phase::installing) {
            const qreal side = Symbols::boxSize(kStatusSymbolSize);
            const QRectF symbol(g.status.left(), g.status.center().y() - side / 2, side, side);
            Symbols::paint(painter, symbol,
                           phase == Phase::succeeded          ? QStringLiteral("checkmark.circle.fill")
                           : phase == Phase::confirmingDelete ? QStringLiteral("exclamationmark.triangle.fill")
                                                              : QStringLiteral("xmark.circle.fill"),
                           color, kStatusSymbolSize);
            textLeft = symbol.right() + 4;
        }
        const QRectF textRect(textLeft, g.status.top(), std::max<qreal>(0, g.status.right() - textLeft),
                              g.status.height());
        const QFont status = statusFont();
        painter->setFont(status);
        painter->setPen(color);
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetricsF(status).elidedText(statusText(index), Qt::ElideRight, textRect.width()));
    }

    if (!g.install.isEmpty())
        paintButton(painter, g.install, installTitle(), PillStyle{ThemeColor::accent(pal), ThemeColor::onAccent(pal), {}, 0},
                hovered == Part::install, phase != Phase::installing, pal);
    paintButton(painter, g.reveal, revealTitle(),
                PillStyle{ThemeColor::windowBackground(pal), ThemeColor::primary(pal), ThemeColor::separator(pal), 1},
                hovered == Part::reveal, true, pal);
    if (hovered == Part::remove) {
        const QColor overlay = ThemeColor::withOpacity(ThemeColor::red(pal), 0.1);
        PillPainter::paintBackground(painter, g.remove, PillStyle{overlay, {}, {}, 0}, kButtonRadius);
    }
    Symbols::paint(painter, g.remove, QStringLiteral("trash"), ThemeColor::red(pal), kTrashSize);
    painter->restore();
}

bool LocalPackageDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                     const QModelIndex &index)
{
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QString tip;
    switch (partAt(option.rect, index, event->pos())) {
    case Part::remove:
        tip = removeHelp();
        break;
    case Part::status:
        tip = statusText(index); // the whole text where the row had to cut it short
        break;
    case Part::none:
        tip = index.data(LocalPackageListModel::FilePathRole).toString();
        break;
    case Part::toggle:
    case Part::install:
    case Part::reveal:
        break;
    }
    if (tip.isEmpty()) {
        QToolTip::hideText();
        return true;
    }
    QToolTip::showText(event->globalPos(), tip, view, option.rect);
    return true;
}
