#include "NumericCompare.h"

namespace {

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

// End of the digit run starting at from.
qsizetype digitRunEnd(QStringView text, qsizetype from)
{
    while (from < text.size() && isAsciiDigit(text[from]))
        ++from;
    return from;
}

qsizetype skipZeros(QStringView text, qsizetype from)
{
    while (from < text.size() && text[from] == u'0')
        ++from;
    return from;
}

} // namespace

int numericCompare(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isAsciiDigit(a[i]) && isAsciiDigit(b[j])) {
            // Compared as digit strings rather than converted, so runs longer
            // than any integer type still order correctly.
            i = skipZeros(a, i);
            j = skipZeros(b, j);
            const qsizetype endA = digitRunEnd(a, i);
            const qsizetype endB = digitRunEnd(b, j);
            if (endA - i != endB - j)
                return endA - i < endB - j ? -1 : 1;
            for (; i < endA; ++i, ++j) {
                if (a[i] != b[j])
                    return a[i].unicode() < b[j].unicode() ? -1 : 1;
            }
            continue;
        }
        if (a[i] != b[j])
            return a[i].unicode() < b[j].unicode() ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}
