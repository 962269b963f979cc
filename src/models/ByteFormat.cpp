#include "ByteFormat.h"

#include <array>
#include <cmath>

namespace ByteFormat {

QString fileSize(qint64 bytes)
{
    if (bytes == 0)
        return QStringLiteral("0 KB");
    const QString sign = bytes < 0 ? QStringLiteral("-") : QString();
    // Widen before negating so the most negative value does not overflow.
    const double magnitude = std::fabs(static_cast<double>(bytes));
    if (magnitude == 1)
        return sign + QStringLiteral("1 byte");
    if (magnitude < 1000)
        return sign + QStringLiteral("%1 bytes").arg(static_cast<qint64>(magnitude));

    struct Unit
    {
        const char *name;
        int decimals;
    };
    static constexpr std::array<Unit, 6> units{
        {{"KB", 0}, {"MB", 1}, {"GB", 2}, {"TB", 2}, {"PB", 2}, {"EB", 2}}};
    double value = magnitude / 1000;
    std::size_t index = 0;
    for (;;) {
        const double scale = std::pow(10.0, units[index].decimals);
        const double rounded = std::round(value * scale) / scale;
        // 999,999 bytes is "1 MB", not "1000 KB": carry a rounded-up value
        // into the next unit.
        if (rounded >= 1000 && index + 1 < units.size()) {
            value /= 1000;
            ++index;
            continue;
        }
        QString number = QString::number(rounded, 'f', units[index].decimals);
        if (number.contains(QLatin1Char('.'))) {
            while (number.endsWith(QLatin1Char('0')))
                number.chop(1);
            if (number.endsWith(QLatin1Char('.')))
                number.chop(1);
        }
        return sign + number + QLatin1Char(' ') + QLatin1String(units[index].name);
    }
}

QString speed(qint64 bytesPerSecond)
{
    return fileSize(bytesPerSecond) + QStringLiteral("/s");
}

} // namespace ByteFormat
