#pragma once

#include <QElapsedTimer>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

// Shared by the benchmark programs: the median of several runs, printed as
// "name<TAB>value<TAB>unit<TAB>note" for scripts/bench.
namespace Bench {

inline double medianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

inline void report(const QString &name, double value, const char *unit, const QString &note = {})
{
    std::printf("%s\t%.1f\t%s\t%s\n", qPrintable(name), value, unit, qPrintable(note));
    std::fflush(stdout);
}

inline void reportRatio(const QString &name, double value, double anchor, const QString &anchorName,
                        const QString &goal)
{
    report(name, value, "ms",
           QStringLiteral("%1× %2 (%3 ms); goal %4").arg(value / anchor, 0, 'f', 2).arg(anchorName).arg(anchor, 0, 'f', 1).arg(goal));
}

// Resident memory of this process in KiB (Linux; 0 elsewhere).
long residentKiB(const char *field = "VmRSS:");

} // namespace Bench
