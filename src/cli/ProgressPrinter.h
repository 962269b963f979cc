#pragma once

#include <QElapsedTimer>
#include <QString>

#include "models/DownloadTaskItem.h"

// Shows a download's progress on standard error: a bar redrawn in place on a
// terminal, otherwise a plain line now and then (every tenth of the way, or
// every few seconds when the size is unknown), with the app's own size and
// speed texts.
class ProgressPrinter final
{
public:
    explicit ProgressPrinter(bool terminal);

    void update(const DownloadTaskItem &task);
    // Ends the bar's line, so what follows starts on a fresh one.
    void finish();

    // "12.3 MB / 45 MB · 1.2 MB/s", as the downloads screen writes it.
    static QString detailText(const DownloadStatus &status);
    static QString bar(double progress, int width);

private:
    bool m_terminal;
    bool m_drawn = false;
    int m_lastStep = -1;
    QElapsedTimer m_sinceLine;
};
