#include "ProgressPrinter.h"

#include <cmath>

#include "cli/CliOutput.h"

namespace {

constexpr int barWidth = 30;
constexpr qint64 plainLineIntervalMs = 5000;

} // namespace

ProgressPrinter::ProgressPrinter(bool terminal) : m_terminal(terminal) {}

QString ProgressPrinter::detailText(const DownloadStatus &status)
{
    return status.received + QStringLiteral(" / ") + status.total + QStringLiteral(" · ") + status.speed;
}

QString ProgressPrinter::bar(double progress, int width)
{
    const int filled = std::clamp(int(std::floor(progress * width)), 0, width);
    return QStringLiteral("[") + QString(filled, QLatin1Char('#')) + QString(width - filled, QLatin1Char('-')) +
           QStringLiteral("]");
}

void ProgressPrinter::update(const DownloadTaskItem &task)
{
    if (!task.status.isDownloading())
        return;
    const double progress = task.status.progress;
    const QString percent = QStringLiteral("%1%").arg(int(progress * 100), 3);
    if (m_terminal) {
        // Carriage return and erase-to-end redraw the one line in place.
        CliOutput::errWrite(QStringLiteral("\r") + bar(progress, barWidth) + QLatin1Char(' ') + percent +
                            QStringLiteral("  ") + detailText(task.status) + QStringLiteral("\x1b[K"));
        m_drawn = true;
        return;
    }
    const bool sized = task.totalBytes > 0;
    const int step = sized ? int(progress * 10) : -1;
    const bool due = sized ? step != m_lastStep : (!m_sinceLine.isValid() || m_sinceLine.elapsed() >= plainLineIntervalMs);
    if (!due)
        return;
    m_lastStep = step;
    m_sinceLine.start();
    CliOutput::err((sized ? percent.trimmed() + QStringLiteral("  ") : QString()) + detailText(task.status));
}

void ProgressPrinter::finish()
{
    if (m_drawn)
        CliOutput::errWrite(QStringLiteral("\n"));
    m_drawn = false;
}
