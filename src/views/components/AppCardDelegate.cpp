#include "views/components/AppCardDelegate.h"

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QEasingCurve>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

#include "services/InstallWorkflow.h"
#include "services/InstallWorkflowRegistry.h"
#include "views/AppListModel.h"
#include "views/components/AppIconView.h"
#include "views/components/IconCache.h"
#include "views/components/PillPainter.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"

namespace {

// The control is right-aligned in the card: a failure mark after the pills
// would push them left, under the pointer of a user about to retry.
constexpr auto kMarkSide = InstallControlPainter::MarkSide::leading;
constexpr qreal kLineSpacing = 4;
constexpr qreal kFactsExtraTop = 2;
constexpr qreal kTitleGap = 6;
constexpr qreal kFactsGap = 8;
constexpr qreal kTagPaddingH = 6;
constexpr qreal kTagPaddingV = 2;
constexpr qreal kTagRadius = 4;

QFont titleFont() { return pingFang(15, QFont::DemiBold); }
QFont smallFont() { return pingFang(12); }
QFont tagFont() { return pingFang(10, QFont::Medium); }
QFont versionFont() { return appNumeric(10, QFont::Medium); }
QFont packageFont() { return appNumeric(9, QFont::Bold); }

// Line heights of the text column at the current text scale.
struct ColumnMetrics
{
    qreal title = 0;
    qreal summary = 0;
    qreal facts = 0;

    ColumnMetrics()
    {
        const QFontMetricsF small(smallFont());
        title = std::max(QFontMetricsF(titleFont()).height(), small.height());
        summary = small.height();
        facts = std::max({QFontMetricsF(tagFont()).height() + 2 * kTagPaddingV, QFontMetricsF(versionFont()).height(),
                          QFontMetricsF(packageFont()).height()});
    }
    qreal height() const { return title + kLineSpacing + summary + kLineSpacing + kFactsExtraTop + facts; }
};

// The tallest look of the install control (a status pill), so every card has
// the same height whatever its control shows.
qreal controlHeight()
{
    return InstallControlPainter::sizeHint(InstallControlState{AppInstallStatus::notInstalled(), {}}).height();
}

qreal cardHeight(const ColumnMetrics &metrics)
{
    return std::ceil(2 * AppCardDelegate::cardPadding +
                     std::max({qreal(AppCardDelegate::iconSize), metrics.height(), controlHeight()}));
}

// Draws text on one line from the left of rect, cut with an ellipsis when it
// does not fit; returns the width used.
qreal drawLine(QPainter *painter, const QRectF &rect, const QString &text, const QFont &font, const QColor &color)
{
    const QFontMetricsF metrics(font);
    const QString shown = metrics.elidedText(text, Qt::ElideRight, rect.width());
    painter->setFont(font);
    painter->setPen(color);
    painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    return std::min(rect.width(), metrics.horizontalAdvance(shown));
}

qreal easeInOut(qreal t)
{
    static const QEasingCurve curve(QEasingCurve::InOutQuad);
    return curve.valueForProgress(std::clamp<qreal>(t, 0, 1));
}

} // namespace

AppCardDelegate::AppCardDelegate(QAbstractItemView &view, InstallWorkflowRegistry &registry, IconCache &icons)
    : QStyledItemDelegate(&view), m_view(view), m_registry(registry), m_icons(icons)
{
    m_fadeTimer.setInterval(16);
    connect(&m_fadeTimer, &QTimer::timeout, this, &AppCardDelegate::animate);
    m_spinnerTimer.setInterval(InstallControlPainter::spinnerFrameMs);
    connect(&m_spinnerTimer, &QTimer::timeout, this, [this] {
        // Stop once a whole frame went by without a card showing the spinner.
        if (!m_spinnerPainted)
            m_spinnerTimer.stop();
        m_spinnerPainted = false;
        m_view.viewport()->update(std::exchange(m_spinnerRegion, {}));
    });
    // A remote or bundle icon arrived: the cards showing it draw it now.
    connect(&icons, &IconCache::iconReady, this, [this] { m_view.viewport()->update(); });
}

const AppItem &AppCardDelegate::appAt(const QModelIndex &index, int *sourceRow, const AppListModel **model)
{
    QModelIndex source = index;
    while (const auto *proxy = qobject_cast<const QAbstractProxyModel *>(source.model()))
        source = proxy->mapToSource(source);
    const auto *list = qobject_cast<const AppListModel *>(source.model());
    Q_ASSERT(list);
    if (sourceRow)
        *sourceRow = source.row();
    if (model)
        *model = list;
    return list->app(source.row());
}

int AppCardDelegate::rowHeight()
{
    return int(cardHeight(ColumnMetrics())) + 2 * itemSpacing + 1;
}

QSize AppCardDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    // Every card has the same height, so the view can lay out any number of
    // rows without measuring them. The width follows the view.
    return {2 * sideMargin + 2 * cardPadding + iconSize + cardSpacing, rowHeight()};
}

InstallControlState AppCardDelegate::stateAt(const QModelIndex &index) const
{
    return m_registry.state(appAt(index));
}

AppCardDelegate::Layout AppCardDelegate::layout(const QRect &itemRect, const InstallControlState &state)
{
    const ColumnMetrics metrics;
    Layout parts;
    const QRectF row(itemRect);
    parts.card = QRectF(row.left() + sideMargin, row.top(), std::max<qreal>(0, row.width() - 2 * sideMargin),
                        cardHeight(metrics));
    parts.divider = QRectF(parts.card.left() + dividerIndent, parts.card.bottom() + itemSpacing,
                           std::max<qreal>(0, parts.card.width() - dividerIndent), 1);
    const QRectF content = parts.card.adjusted(cardPadding, cardPadding, -cardPadding, -cardPadding);
    const qreal middle = content.center().y();
    parts.icon = QRectF(content.left(), middle - iconSize / 2.0, iconSize, iconSize);
    const QSizeF control = InstallControlPainter::sizeHint(state);
    parts.control = QRectF(content.right() - control.width(), middle - control.height() / 2, control.width(),
                           control.height());
    const qreal textLeft = parts.icon.right() + cardSpacing;
    const qreal textRight = parts.control.left() - cardSpacing;
    parts.text = QRectF(textLeft, middle - metrics.height() / 2, std::max<qreal>(0, textRight - textLeft),
                        metrics.height());
    return parts;
}

AppCardDelegate::Layout AppCardDelegate::layout(const QModelIndex &index) const
{
    return layout(m_view.visualRect(index), stateAt(index));
}

QRectF AppCardDelegate::actionRect(const QModelIndex &index, Action action) const
{
    const InstallControlState state = stateAt(index);
    const auto parts = InstallControlPainter::layout(state, layout(m_view.visualRect(index), state).control, kMarkSide);
    if (action != Action::none && parts.firstAction == action)
        return parts.first;
    if (action != Action::none && parts.secondAction == action)
        return parts.second;
    return {};
}

void AppCardDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const AppItem &app = appAt(index);
    const InstallControlState state = m_registry.state(app);
    const Layout parts = layout(option.rect, state);
    const QPalette &palette = option.palette;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::TextAntialiasing);

    if (const qreal hover = hoverOpacity(app.id); hover > 0 && exposed(parts.card)) {
        const QColor fill = ThemeColor::withOpacity(ThemeColor::controlBackground(palette), 0.7 * hover);
        PillPainter::paintBackground(painter, parts.card, PillStyle{fill, {}, {}, 0}, hoverRadius);
    }

    // The keyboard's current card (the view has the focus) carries the ring.
    if (option.state & QStyle::State_HasFocus && exposed(parts.card))
        PillPainter::paintFocusRing(painter, parts.card, ThemeColor::accent(palette), hoverRadius);

    if (exposed(parts.icon))
        paintIcon(painter, parts.icon, index, app, palette);
    if (exposed(parts.text))
        paintTexts(painter, parts.text, app, palette);

    m_controlSizes.insert(app.id, parts.control.size());
    if (exposed(parts.control)) {
        InstallControlPainter::Interaction interaction;
        if (app.id == m_hovered)
            interaction.hovered = m_hoveredAction;
        if (m_pressedIndex == index)
            interaction.pressed = m_pressedAction;
        if (InstallControlPainter::isAnimated(state)) {
            interaction.spinnerPhase = InstallControlPainter::spinnerPhaseNow();
            m_spinnerPainted = true;
            m_spinnerRegion += parts.control.toAlignedRect();
            if (!m_spinnerTimer.isActive())
                m_spinnerTimer.start();
        }
        InstallControlPainter::paint(painter, parts.control, state, palette, interaction, kMarkSide);
    }

    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->fillRect(parts.divider, ThemeColor::separator(palette));
    painter->restore();
}

bool AppCardDelegate::exposed(const QRectF &rect) const
{
    // Antialiased edges reach a pixel past the rectangle.
    return !m_exposed || m_exposed->intersects(rect.toAlignedRect().adjusted(-1, -1, 1, 1));
}

std::optional<QRectF> AppCardDelegate::controlRectIfSameSize(const QModelIndex &index) const
{
    const QRectF control = layout(index).control;
    const auto painted = m_controlSizes.constFind(appAt(index).id);
    if (painted == m_controlSizes.cend() || *painted != control.size())
        return std::nullopt;
    return control;
}

void AppCardDelegate::paintIcon(QPainter *painter, const QRectF &square, const QModelIndex &index, const AppItem &app,
                                const QPalette &palette) const
{
    const AppListModel *model = nullptr;
    int row = 0;
    appAt(index, &row, &model);
    const AppInstallStatus status = model->status(row);
    std::optional<QString> installedPath;
    if (status.isInstalledOrUpdatable())
        installedPath = status.path;
    const qreal ratio = m_view.viewport()->devicePixelRatioF();
    QString imageKey;
    const QPixmap image = m_icons.icon(app, installedPath, iconSize, ratio, nullptr, &imageKey);
    // Keyed by what the tile shows, so a card scrolled back into view finds its tile again.
    const QString key = QStringLiteral("%1|%2|%3|%4")
                            .arg(image.isNull() ? QStringLiteral("symbol:") + app.category : imageKey)
                            .arg(ratio)
                            .arg(palette.color(QPalette::Base).rgba())
                            .arg(palette.color(QPalette::WindowText).rgba());
    // The tile has room around the square for the outline and the shadow.
    constexpr int margin = AppIconView::shadowExtent + 1;
    if (!m_iconTiles.contains(key)) {
        auto *tile = new QPixmap(QSize(iconSize + 2 * margin, iconSize + 2 * margin) * ratio);
        tile->setDevicePixelRatio(ratio);
        tile->fill(Qt::transparent);
        QPainter tilePainter(tile);
        AppIconView::paintIcon(&tilePainter, QRectF(margin, margin, iconSize, iconSize), image, app.category,
                               palette);
        tilePainter.end();
        m_iconTiles.insert(key, tile);
    }
    painter->drawPixmap(square.topLeft() - QPointF(margin, margin), *m_iconTiles.object(key));
}

void AppCardDelegate::paintTexts(QPainter *painter, const QRectF &column, const AppItem &app,
                                 const QPalette &palette) const
{
    const ColumnMetrics metrics;
    const QColor primary = ThemeColor::primary(palette);
    const QColor secondary = ThemeColor::secondary(palette);

    // Title line: the display name, then the original name when a Chinese one is set.
    QRectF line(column.left(), column.top(), column.width(), metrics.title);
    const qreal used = drawLine(painter, line, app.displayName(), titleFont(), primary);
    if (app.chineseName) {
        const QRectF rest(line.left() + used + kTitleGap, line.top(), line.width() - used - kTitleGap, line.height());
        if (rest.width() > 0)
            drawLine(painter, rest, app.name, smallFont(), secondary);
    }

    line = QRectF(column.left(), line.bottom() + kLineSpacing, column.width(), metrics.summary);
    drawLine(painter, line, app.summary.isEmpty() ? app.description : app.summary, smallFont(), secondary);

    // Facts line: category tag, version, package kind.
    line = QRectF(column.left(), line.bottom() + kLineSpacing + kFactsExtraTop, column.width(), metrics.facts);
    qreal x = line.left();
    if (!app.category.isEmpty()) {
        const QFont font = tagFont();
        QSizeF tag = PillPainter::sizeFor(app.category, font, kTagPaddingH, kTagPaddingV);
        tag.setWidth(std::min(tag.width(), line.width()));
        const QRectF tagRect(x, line.center().y() - tag.height() / 2, tag.width(), tag.height());
        PillPainter::paintBackground(painter, tagRect,
                                     PillStyle{ThemeColor::withOpacity(ThemeColor::separator(palette), 0.3), {}, {}, 0},
                                     kTagRadius);
        drawLine(painter, tagRect.adjusted(kTagPaddingH, 0, -kTagPaddingH, 0), app.category, font, secondary);
        x = tagRect.right() + kFactsGap;
    }
    const QString version = QStringLiteral("v") + app.displayVersion();
    x += drawLine(painter, QRectF(x, line.top(), std::max<qreal>(0, line.right() - x), line.height()), version,
                  versionFont(), secondary) +
         kFactsGap;
    if (x < line.right())
        drawLine(painter, QRectF(x, line.top(), line.right() - x, line.height()), packageLabel(app), packageFont(),
                 ThemeColor::withOpacity(secondary, 0.8));
}

QString AppCardDelegate::packageLabel(const AppItem &app)
{
    if (app.sourceType == AppSourceType::brew)
        return QStringLiteral("Brew");
    return rawValue(app.resolvedPackageType()).toUpper();
}

QStringList AppCardDelegate::cardTexts(const AppItem &app)
{
    QStringList texts{app.displayName()};
    if (app.chineseName)
        texts << app.name;
    texts << (app.summary.isEmpty() ? app.description : app.summary);
    if (!app.category.isEmpty())
        texts << app.category;
    texts << QStringLiteral("v") + app.displayVersion() << packageLabel(app);
    return texts;
}

bool AppCardDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                                  const QModelIndex &index)
{
    Q_UNUSED(model);
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseButtonDblClick)
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if (mouse->button() != Qt::LeftButton)
        return false;
    const InstallControlState state = stateAt(index);
    const Layout parts = layout(option.rect, state);
    const QPointF pos = mouse->position();
    const Action action = InstallControlPainter::hitTest(state, parts.control, pos, kMarkSide);

    if (type == QEvent::MouseButtonRelease) {
        const bool sameCard = m_pressedIndex.isValid() && m_pressedIndex == index && parts.card.contains(pos);
        const Action pressed = m_pressedAction;
        m_pressedIndex = QPersistentModelIndex();
        m_pressedAction = Action::none;
        m_view.viewport()->update(option.rect);
        if (!sameCard)
            return false;
        if (pressed == Action::none) {
            Q_EMIT cardClicked(index);
        } else if (pressed == action) {
            trigger(index, action);
        }
        return true;
    }
    if (!parts.card.contains(pos))
        return false;
    // A double click on a pill is two clicks on it, not one click and a card.
    if (type == QEvent::MouseButtonDblClick && action == Action::none)
        return true;
    m_pressedIndex = index;
    m_pressedAction = action;
    m_view.viewport()->update(option.rect);
    return true;
}

void AppCardDelegate::pressButton(const QModelIndex &index)
{
    if (index.isValid())
        trigger(index, InstallControlPainter::layout(stateAt(index), QRectF()).firstAction);
}

void AppCardDelegate::trigger(const QModelIndex &index, Action action)
{
    // The workflow is shared by every control of the record; the model
    // redraws this card when its state changes.
    InstallWorkflow &workflow = m_registry.workflow(appAt(index));
    if (action == Action::open)
        workflow.openInstalled();
    else if (action == Action::install)
        workflow.handleInstall();
}

bool AppCardDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                const QModelIndex &index)
{
    if (event->type() == QEvent::ToolTip && index.isValid()) {
        const InstallControlState state = stateAt(index);
        const QString tip =
            InstallControlPainter::toolTipAt(state, layout(option.rect, state).control, event->pos(), kMarkSide);
        if (!tip.isEmpty()) {
            QToolTip::showText(event->globalPos(), tip, view);
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

void AppCardDelegate::setHoverPosition(const QModelIndex &index, const QPoint &pos)
{
    QString hovered;
    Action action = Action::none;
    if (index.isValid()) {
        const InstallControlState state = stateAt(index);
        const Layout parts = layout(m_view.visualRect(index), state);
        if (parts.card.contains(pos)) {
            hovered = appAt(index).id;
            action = InstallControlPainter::hitTest(state, parts.control, pos, kMarkSide);
        }
    }
    if (action != m_hoveredAction) {
        m_hoveredAction = action;
        m_view.viewport()->setCursor(action == Action::none ? Qt::ArrowCursor : Qt::PointingHandCursor);
        m_view.viewport()->update();
    }
    if (hovered == m_hovered)
        return;
    if (!m_hovered.isNull())
        startFade(m_hovered, 0);
    m_hovered = hovered;
    if (!m_hovered.isNull())
        startFade(m_hovered, 1);
}

qreal AppCardDelegate::hoverOpacity(const QString &appId) const
{
    const auto fade = m_fades.constFind(appId);
    if (fade == m_fades.cend())
        return 0;
    const qreal t = fade->clock.isValid() ? qreal(fade->clock.elapsed()) / hoverFadeMs : 1;
    return fade->from + (fade->to - fade->from) * easeInOut(t);
}

void AppCardDelegate::startFade(const QString &appId, qreal to)
{
    Fade fade;
    fade.from = hoverOpacity(appId);
    fade.to = to;
    fade.clock.start();
    m_fades.insert(appId, fade);
    if (!m_fadeTimer.isActive())
        m_fadeTimer.start();
    m_view.viewport()->update();
}

void AppCardDelegate::animate()
{
    for (auto it = m_fades.begin(); it != m_fades.end();) {
        if (it->clock.isValid() && it->clock.elapsed() >= hoverFadeMs) {
            if (it->to <= 0) {
                it = m_fades.erase(it);
                continue;
            }
            it->clock.invalidate(); // settled at its target
        }
        ++it;
    }
    const bool running = std::any_of(m_fades.cbegin(), m_fades.cend(), [](const Fade &f) { return f.clock.isValid(); });
    if (!running)
        m_fadeTimer.stop();
    m_view.viewport()->update();
}
