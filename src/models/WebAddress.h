#pragma once

#include <QString>
#include <QUrl>

// Every address that comes from data (records, listing pages, casks, icons,
// homepages) is fetched or opened only when it is a plain web address: http
// or https with a host. file:, data:, javascript:, smb: and the like would
// read local files or launch other programs on a single click.
bool isWebAddress(const QUrl &url);
bool isWebAddress(const QString &text);
