#include "OutdatedApp.h"

QString OutdatedApp::note() const
{
    switch (kind) {
    case Kind::selfUpdates:
        return QStringLiteral("此应用会自行更新");
    case Kind::unversioned:
        return QStringLiteral("版本标记为 latest，无法比较");
    case Kind::outdated:
        break;
    }
    return caskToken ? QStringLiteral("通过 Homebrew 更新") : QString();
}
