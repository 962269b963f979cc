#include "models/WebAddress.h"

bool isWebAddress(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == u"http" || scheme == u"https";
}

bool isWebAddress(const QString &text)
{
    return isWebAddress(QUrl(text.trimmed(), QUrl::StrictMode));
}
