#pragma once

#include <QString>

#include "models/AppInstallStatus.h"

// What an install control shows for one record at this moment: the status
// control (or the installing / downloading pill) and, separately, the text of
// the last failed installation, which stays beside the control until the next
// action on that record.
struct InstallControlState
{
    AppInstallStatus status;
    QString failure;

    bool hasFailure() const { return !failure.isEmpty(); }
    bool operator==(const InstallControlState &) const = default;
};
