#include "views/components/AppIconView.h"

#include <QPainter>
#include <QPainterPath>

#include "views/components/Symbols.h"
#include "views/components/ThemeColor.h"

AppIconView::AppIconView(IconCache &cache, const AppItem &app, int size, std::optional<QString> installedPath,
                         QWidget *parent)
    : QWidget(parent), m_cache(cache), m_app(app), m_size(size), m_installedPath(std::move(installedPath))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(&m_cache, &IconCache::iconReady, this, [this](const QString &key) {
        if (key == m_app.iconUrl.value_or(QString()) || key == m_installedPath.value_or(QString()))
            update();
    });
}

void AppIconView::setInstalledPath(std::optional<QString> installedPath)
{
    if (installedPath == m_installedPath)
        return;
    m_installedPath = std::move(installedPath);
    update();
}

AppIconView::Source AppIconView::source() const
{
    Source source = Source::symbol;
    currentPixmap(&source);
    return source;
}

QPixmap AppIconView::currentPixmap(Source *source) const
{
    return m_cache.icon(m_app, m_installedPath, m_size, devicePixelRatioF(), source);
}

QString AppIconView::fallbackSymbolName(const QString &category)
{
    static const QHash<QString, QString> symbols{
        {QStringLiteral("网络浏览器"), QStringLiteral("globe")},
        {QStringLiteral("开发工具"), QStringLiteral("chevron.left.forwardslash.chevron.right")},
        {QStringLiteral("通讯社交"), QStringLiteral("bubble.left.and.bubble.right.fill")},
        {QStringLiteral("效率办公"), QStringLiteral("doc.text.fill")},
        {QStringLiteral("影音视听"), QStringLiteral("play.tv.fill")},
        {QStringLiteral("系统工具"), QStringLiteral("gearshape.fill")},
    };
    return symbols.value(category, QStringLiteral("app.fill"));
}

void AppIconView::paintIcon(QPainter *painter, const QRectF &square, const QPixmap &image, const QString &category,
                            const QPalette &palette)
{
    const qreal radius = 0.22 * square.width();
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);

    // A faint shadow two points down, softened by a wider, fainter ring.
    painter->setPen(Qt::NoPen);
    painter->setBrush(ThemeColor::shadow(0.03));
    painter->drawRoundedRect(square.translated(0, 2).adjusted(-0.5, -0.5, 0.5, 1), radius, radius);
    painter->setBrush(ThemeColor::shadow(0.06));
    painter->drawRoundedRect(square.translated(0, 2), radius, radius);

    QPainterPath shape;
    shape.addRoundedRect(square, radius, radius);
    painter->setClipPath(shape);
    painter->fillRect(square, ThemeColor::controlBackground(palette));
    if (image.isNull()) {
        const qreal symbolSize = 0.42 * square.width() / Symbols::boxSize(1.0);
        Symbols::paint(painter, square, fallbackSymbolName(category), ThemeColor::secondary(palette), symbolSize);
    } else {
        const QSizeF drawn = image.deviceIndependentSize().scaled(square.size(), Qt::KeepAspectRatio);
        const QRectF target(square.center().x() - drawn.width() / 2.0, square.center().y() - drawn.height() / 2.0,
                            drawn.width(), drawn.height());
        painter->drawPixmap(target, image, QRectF(image.rect()));
    }
    painter->setClipping(false);

    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(ThemeColor::separator(palette), 0.8));
    painter->drawRoundedRect(square.adjusted(0.4, 0.4, -0.4, -0.4), radius, radius);
    painter->restore();
}

QSize AppIconView::sizeHint() const
{
    return {m_size, m_size + shadowExtent};
}

void AppIconView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintIcon(&painter, QRectF(0, 0, m_size, m_size), currentPixmap(nullptr), m_app.category, palette());
}
