#include "UpdateFinder.h"

#include <QSet>

#include "services/InstalledDetector.h"

QList<OutdatedApp> UpdateFinder::find(const InstalledAppMap &installed, const QList<QList<AppItem>> &candidates,
                                      const QHash<QString, QString> &casks)
{
    QList<OutdatedApp> rows;
    // A bundle is judged once: by the most trusted record that knows it,
    // even when that record says it is current.
    QSet<QString> judged;
    for (const QList<AppItem> &list : candidates) {
        for (const AppItem &app : list) {
            const InstalledAppInfo *match = InstalledDetector::findMatch(app, installed);
            if (!match || judged.contains(match->bundlePath))
                continue;
            judged.insert(match->bundlePath);

            OutdatedApp row;
            row.installedVersion = match->version.value_or(QStringLiteral("0.0.0"));
            if (app.currentVersion.trimmed().compare(QLatin1String("latest"), Qt::CaseInsensitive) == 0)
                row.kind = OutdatedApp::Kind::unversioned;
            else if (!InstalledDetector::isVersionOlder(row.installedVersion, app.currentVersion))
                continue;
            else if (app.autoUpdates.value_or(false))
                row.kind = OutdatedApp::Kind::selfUpdates;
            row.app = app;
            row.installed = *match;
            if (const QString token = caskTokenOf(app); !token.isEmpty() && casks.contains(token))
                row.caskToken = token;
            rows.append(row);
        }
    }
    return rows;
}

QString UpdateFinder::caskTokenOf(const AppItem &app)
{
    if (app.brewName && !app.brewName->isEmpty())
        return *app.brewName;
    return app.sourceType == AppSourceType::brew ? app.id : QString();
}

int UpdateFinder::countedUpdates(const QList<OutdatedApp> &rows)
{
    return int(std::count_if(rows.cbegin(), rows.cend(), [](const OutdatedApp &row) { return row.counted(); }));
}
