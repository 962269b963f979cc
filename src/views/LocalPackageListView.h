#pragma once

#include <QListView>

#include "views/LocalPackageDelegate.h"

// The package cache list. It grows to the height of all its rows and leaves
// scrolling to the screen's scroll area, so the downloads above it and the
// packages scroll as one page, while rows are still painted by a delegate
// (only those in view) instead of being a widget each.
class LocalPackageListView final : public QListView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LocalPackageListView)

public:
    using Part = LocalPackageDelegate::Part;

    explicit LocalPackageListView(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;
    LocalPackageDelegate *packageDelegate() const { return m_delegate; }

    // Where a part of a row lies, in viewport coordinates.
    QRect partRect(int row, Part part) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void partClicked(int row, LocalPackageDelegate::Part part);

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    QStyleOptionViewItem rowOption(const QModelIndex &index) const;
    Part partAt(const QPoint &point, QModelIndex *index) const;
    int contentHeight() const;
    void contentChanged();

    LocalPackageDelegate *m_delegate = nullptr;
};
