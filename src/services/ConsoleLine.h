#pragma once

#include <QString>

// Writes one line of the app's console report to standard output: the whole
// line in one write, so lines from worker threads never interleave, and
// flushed at once so they keep their order with child tools' output and
// survive an abrupt end of the process.
void printConsoleLine(const QString &line);
