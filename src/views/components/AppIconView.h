#pragma once

#include <QWidget>

#include <optional>

#include "models/AppItem.h"
#include "views/components/IconCache.h"

class QPainter;

// The square icon of one record: the installed bundle's own icon, else the
// remote icon, else the category symbol on the control background; rounded
// corners of 0.22 × size, a hairline outline and a faint shadow below.
class AppIconView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppIconView)

public:
    using Source = IconCache::Source;

    AppIconView(IconCache &cache, const AppItem &app, int size, std::optional<QString> installedPath = std::nullopt,
                QWidget *parent = nullptr);

    void setInstalledPath(std::optional<QString> installedPath);
    int iconSize() const { return m_size; }
    // Where what is drawn now comes from.
    Source source() const;

    // The symbol drawn for a category without any icon image.
    static QString fallbackSymbolName(const QString &category);
    // Space below the square taken by the shadow.
    static constexpr int shadowExtent = 3;

    // Draws an icon into square (a delegate calls this with IconCache::icon()'s
    // pixmap; a null pixmap draws the category symbol).
    static void paintIcon(QPainter *painter, const QRectF &square, const QPixmap &image, const QString &category,
                          const QPalette &palette);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap currentPixmap(Source *source) const;

    IconCache &m_cache;
    AppItem m_app;
    int m_size;
    std::optional<QString> m_installedPath;
};
