#pragma once

#include <QString>

#include "models/AppInstallStatus.h"

// What an install control shows for one record at this moment: the status
// control (or the installing / downloading pill) and, separately, the reason
// of the last failed download or installation, which stays beside the
// control until the next action on that record.
struct InstallControlState
{
    enum class FailedStep { install, download };

    AppInstallStatus status;
    QString failure;
    FailedStep failedStep = FailedStep::install;

    bool hasFailure() const { return !failure.isEmpty(); }
    bool operator==(const InstallControlState &) const = default;
};
