#pragma once

#include <QString>

// The one way byte counts are shown to the user: sizes, speeds, cache totals.
// Decimal multiples (1 KB = 1000 bytes) with one unit word after the number,
// KB without decimals, MB with one, GB and above with two; trailing zeros are
// dropped. Zero is written "0 KB", counts below 1 KB in bytes ("999 bytes").
namespace ByteFormat {

QString fileSize(qint64 bytes);
// A transfer rate: the file size of one second's bytes followed by "/s".
QString speed(qint64 bytesPerSecond);

} // namespace ByteFormat
