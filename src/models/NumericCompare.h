#pragma once

#include <QStringView>

// Orders texts the way people read version numbers and file names: runs of
// ASCII digits compare by their value (1.10 after 1.9; 007 equals 7, however
// long the run), every other character by its UTF-16 code unit. No locale is
// involved, so the order is the same on every machine. When one text is a
// prefix of the other, the longer one is the greater.
// Returns a negative number, zero or a positive number.
int numericCompare(QStringView a, QStringView b);
