#include "views/components/MessageLine.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

#include "views/components/Symbols.h"
#include "views/components/ThemeFont.h"

namespace {
constexpr qreal kSymbolSize = 12;
} // namespace

MessageLine::MessageLine(QWidget *parent) : QWidget(parent), m_icon(new QLabel(this)), m_text(new QLabel(this))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    m_icon->setFixedWidth(qCeil(Symbols::boxSize(kSymbolSize)));
    m_icon->setAlignment(Qt::AlignCenter);
    row->addWidget(m_icon, 0, Qt::AlignTop);
    m_text->setWordWrap(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ThemeFont::apply(m_text, 12);
    m_text->installEventFilter(this);
    row->addWidget(m_text, 1);
    alignIcon();
}

bool MessageLine::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_text && event->type() == QEvent::FontChange)
        alignIcon();
    return QWidget::eventFilter(watched, event);
}

// The symbol keeps its size while the text scales; it stays centred on the
// first line of the text.
void MessageLine::alignIcon()
{
    const int line = QFontMetrics(m_text->font()).height();
    m_icon->setFixedHeight(std::max(line, qCeil(Symbols::boxSize(kSymbolSize))));
}

void MessageLine::setMessage(const QString &symbol, const QString &text, const QColor &color)
{
    m_symbol = symbol;
    m_color = color;
    m_icon->setPixmap(Symbols::pixmap(symbol, color, kSymbolSize, devicePixelRatioF()));
    QPalette palette = m_text->palette();
    palette.setColor(QPalette::WindowText, color);
    m_text->setPalette(palette);
    m_text->setText(text);
}

QString MessageLine::text() const
{
    return m_text->text();
}
