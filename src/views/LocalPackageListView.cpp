#include "views/LocalPackageListView.h"

#include <QMouseEvent>
#include <QWheelEvent>

#include "views/components/ThemeFont.h"

LocalPackageListView::LocalPackageListView(QWidget *parent) : QListView(parent)
{
    m_delegate = new LocalPackageDelegate(this);
    setItemDelegate(m_delegate);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::NoFocus);
    setAutoScroll(false);
    setMouseTracking(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setResizeMode(QListView::Adjust);
    viewport()->setAutoFillBackground(false);
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // Rows are painted with the scaled fonts; declaring one here makes a
    // scale change re-lay the rows out.
    ThemeFont::apply(this, 13);
}

void LocalPackageListView::setModel(QAbstractItemModel *model)
{
    if (QAbstractItemModel *old = this->model())
        disconnect(old, nullptr, this, nullptr);
    QListView::setModel(model);
    if (!model)
        return;
    connect(model, &QAbstractItemModel::modelReset, this, &LocalPackageListView::contentChanged);
    connect(model, &QAbstractItemModel::rowsInserted, this, &LocalPackageListView::contentChanged);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &LocalPackageListView::contentChanged);
    connect(model, &QAbstractItemModel::layoutChanged, this, &LocalPackageListView::contentChanged);
    // A row grows or shrinks when its installation line comes and goes.
    connect(model, &QAbstractItemModel::dataChanged, this, &LocalPackageListView::contentChanged);
    contentChanged();
}

void LocalPackageListView::contentChanged()
{
    updateGeometry();
    scheduleDelayedItemsLayout();
}

QStyleOptionViewItem LocalPackageListView::rowOption(const QModelIndex &index) const
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return option;
}

QRect LocalPackageListView::partRect(int row, Part part) const
{
    const QModelIndex index = model() ? model()->index(row, 0) : QModelIndex();
    if (!index.isValid())
        return {};
    return m_delegate->partRect(visualRect(index), index, part).toAlignedRect();
}

LocalPackageListView::Part LocalPackageListView::partAt(const QPoint &point, QModelIndex *index) const
{
    *index = indexAt(point);
    if (!index->isValid())
        return Part::none;
    return m_delegate->partAt(visualRect(*index), *index, point);
}

int LocalPackageListView::contentHeight() const
{
    if (!model())
        return 0;
    const int rows = model()->rowCount();
    if (rows == 0)
        return 0;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = QRect(0, 0, viewport()->width(), 0);
    int height = 0;
    for (int row = 0; row < rows; ++row)
        height += m_delegate->sizeHint(option, model()->index(row, 0)).height();
    // The gap below the last row belongs to no row.
    return height - LocalPackageDelegate::rowGap;
}

QSize LocalPackageListView::sizeHint() const
{
    return {320, contentHeight()};
}

QSize LocalPackageListView::minimumSizeHint() const
{
    return {200, contentHeight()};
}

void LocalPackageListView::mouseMoveEvent(QMouseEvent *event)
{
    QModelIndex index;
    const Part part = partAt(event->position().toPoint(), &index);
    viewport()->setCursor(part == Part::none || part == Part::status ? Qt::ArrowCursor : Qt::PointingHandCursor);
    viewport()->update();
    QListView::mouseMoveEvent(event);
}

void LocalPackageListView::mouseReleaseEvent(QMouseEvent *event)
{
    QModelIndex index;
    const Part part = event->button() == Qt::LeftButton ? partAt(event->position().toPoint(), &index) : Part::none;
    QListView::mouseReleaseEvent(event);
    if (part != Part::none && part != Part::status)
        Q_EMIT partClicked(index.row(), part);
}

void LocalPackageListView::leaveEvent(QEvent *event)
{
    viewport()->update();
    QListView::leaveEvent(event);
}

void LocalPackageListView::wheelEvent(QWheelEvent *event)
{
    // Nothing scrolls in here: let the screen's scroll area have the wheel.
    event->ignore();
}
