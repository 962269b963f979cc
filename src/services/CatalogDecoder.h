#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

#include "models/AppItem.h"
#include "models/CatalogSource.h"

struct DecodedCatalog
{
    QList<AppItem> apps;
    // Entries that did not decode into a record; they cost only themselves.
    int skipped = 0;
    // What a library-format catalog says about itself.
    std::optional<QString> name;
    std::optional<QString> homepage;
};

// Turns a catalog document into records. A document the store cannot use as
// a whole (not JSON, a web page, the wrong shape, no usable record at all)
// throws DecodingError with a reason the user can read; the last good copy
// is then kept by the caller.
namespace CatalogDecoder {

// Far above today's cask list (tens of megabytes); a reply past this is no
// catalog and is refused while it is read.
constexpr qint64 maxCatalogBytes = 128 << 20;

DecodedCatalog decode(CatalogKind kind, const QByteArray &bytes);

} // namespace CatalogDecoder
