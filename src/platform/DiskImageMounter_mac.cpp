#include "DiskImageMounter.h"

DiskImageMounter::Tools DiskImageMounter::platformTools()
{
    return hdiutilTools();
}
