#include "models/SafeText.h"

#include <QList>

bool isUnsafeTextChar(char32_t c)
{
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) // C0, DEL, C1 (CSI is U+009B)
        return true;
    if ((c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)) // embeddings, overrides, isolates
        return true;
    return c == 0x200E || c == 0x200F || c == 0x061C; // directional marks
}

QString neutralizeControls(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4())
        out += isUnsafeTextChar(c) ? QString(QChar(0xFFFD)) : QString::fromUcs4(&c, 1);
    return out;
}
