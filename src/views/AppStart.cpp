#include "views/AppStart.h"

#include "platform/StartupHeap.h"
#include "views/components/SystemFonts.h"

void AppStart::beforeApplication()
{
    SystemFonts::startReading();
    StartupHeap::prepare();
}
