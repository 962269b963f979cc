#pragma once

#include <QtGlobal>

// Disk room claimed for a file before it is written, so a download that
// cannot fit fails at its start instead of near its end, and the file system
// lays the file out in one go rather than block by block as it grows.
namespace FileSpace {

// Claims room for `length` more bytes after the first `from` the file holds,
// leaving its size as it is. Returns 0 or the errno: ENOSPC (or EDQUOT) when
// the disk has no room for them. A file system that cannot claim ahead
// counts as success; the writes then find out for themselves.
int reserve(int fd, qint64 from, qint64 length);

} // namespace FileSpace
