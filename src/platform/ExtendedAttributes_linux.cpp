#include "ExtendedAttributes.h"

// Linux has no first-launch check of downloaded programs to hand a file to.
namespace ExtendedAttributes {

bool markDownloaded(const QString &)
{
    return true;
}

bool carryDownloadMark(const QString &, const QString &)
{
    return true;
}

} // namespace ExtendedAttributes
