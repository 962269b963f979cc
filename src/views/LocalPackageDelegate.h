#pragma once


#include <QFont>
#include <QRectF>
#include <QStyledItemDelegate>

// Paints one row of the package cache list as a rounded card — selection
// toggle, kind symbol, name, size and date, the installation state, then the
// "安装" and "定位" buttons and the delete symbol — and says which of its
// parts lies under a point, so the list can act on clicks without a widget
// per row. Texts are measured and drawn with the scaled font functions at
// paint time, so rows follow the app-wide text scale.
class LocalPackageDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LocalPackageDelegate)

public:
    enum class Part { none, toggle, install, reveal, remove, status };

    static constexpr int rowGap = 8;

    explicit LocalPackageDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

    // Where a part of the row drawn in rowRect lies (empty when the row has no such part).
    QRectF partRect(const QRect &rowRect, const QModelIndex &index, Part part) const;
    // The clickable part at point, or Part::none.
    Part partAt(const QRect &rowRect, const QModelIndex &index, const QPoint &point) const;

    static QString installTitle() { return QStringLiteral("安装"); }
    static QString revealTitle() { return QStringLiteral("定位"); }
    static QString removeHelp() { return QStringLiteral("删除此安装包"); }

private:
    mutable QFont m_measuredFont;
    mutable int m_rowHeight = 0;
};
