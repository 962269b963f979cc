#include "views/components/MessageLine.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

#include "views/components/Labels.h"
#include "views/components/Symbols.h"
#include "views/components/ThemeFont.h"
#include "views/components/ThemeWatcher.h"

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
    ThemeWatcher::follow(this, [this](const QPalette &theme) { applyColor(theme); });
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

void MessageLine::setMessage(const QString &symbol, const QString &text, ThemeColor::Tone tone)
{
    m_symbol = symbol;
    m_tone = std::move(tone);
    applyColor(QApplication::palette());
    m_text->setText(text);
}

void MessageLine::applyColor(const QPalette &theme)
{
    if (!m_tone)
        return;
    m_color = m_tone(theme);
    m_icon->setPixmap(Symbols::pixmap(m_symbol, m_color, kSymbolSize, devicePixelRatioF()));
    Labels::setTextColor(m_text, m_color);
}

QString MessageLine::text() const
{
    return m_text->text();
}
