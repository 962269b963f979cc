#include "models/TextTrim.h"

QString trimSpacesAndTabs(const QString &text)
{
    const auto isPadding = [](QChar c) { return c == u' ' || c == u'\t'; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isPadding(text.at(begin)))
        ++begin;
    while (end > begin && isPadding(text.at(end - 1)))
        --end;
    return text.sliced(begin, end - begin);
}
