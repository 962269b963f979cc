#include "Workspace.h"

Workspace::Tools Workspace::platformTools()
{
    return xdgOpenTools();
}

bool Workspace::isApplicationRunning(const QString &)
{
    // Bundles here are test fixtures and copies; nothing runs from them.
    return false;
}
