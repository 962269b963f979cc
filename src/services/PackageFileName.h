#pragma once

#include <QString>

#include "models/AppItem.h"

class QNetworkReply;

// The names packages get in the cache folder. Servers and records suggest
// them; what reaches the disk is one plain, visible entry of the folder.
namespace PackageFileName {

// A suggested name reduced to one plain entry of the cache folder: no
// directory parts, not hidden, no control characters and no bidi overrides
// that make it read as something else. Empty when nothing usable is left.
QString safe(QString name);
// The server's name (Content-Disposition, then the address's last part),
// else one made from the key.
QString suggested(const QNetworkReply &reply, const QString &key);
// The name a package is cached under: its type comes from its bytes, so an
// untyped name gets the extension and a name that claims another type gets
// the right one instead.
QString typed(const QString &name, PackageType content);
// "App.dmg", "App (2).dmg", "App (3).dmg"...
QString numbered(const QString &name, int number);

} // namespace PackageFileName
