#pragma once

#include <QByteArray>
#include <QString>

#include "models/AppItem.h"

// What a file's own bytes say it is, whatever its name claims. A server may
// answer 200 with a login page or a JSON error, and a name can say anything:
// the download manager and the installer both judge a package by this.
namespace PackageContent {

// How many bytes at either end the judgement needs.
constexpr qint64 headBytes = 64 * 1024;
constexpr qint64 tailBytes = 512;

// zip (a ZIP archive), pkg (a xar archive) or dmg (a disk image: the UDIF
// "koly" trailer in the last 512 bytes, or a raw image's volume or partition
// map: ISO 9660, HFS+/HFSX, GPT, APFS, encrypted and sparse images); unknown
// for anything else.
PackageType typeOfBytes(const QByteArray &head, const QByteArray &tail);
// The same for a file; unknown when it cannot be read or is not a regular file.
PackageType typeOfFile(const QString &path);
// A web page, judged by its start (a BOM and leading space skipped) and, for
// pages announced as HTML, by a leading '<'.
bool looksLikeWebPage(const QByteArray &contentType, QByteArray head);

} // namespace PackageContent
