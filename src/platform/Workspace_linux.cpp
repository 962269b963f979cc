#include "Workspace.h"

Workspace::Tools Workspace::platformTools()
{
    return xdgOpenTools();
}
