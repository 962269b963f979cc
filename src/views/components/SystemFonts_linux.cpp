#include "views/components/SystemFonts.h"

#include <fontconfig/fontconfig.h>

void SystemFonts::read()
{
    // Loads the configuration and the font list into fontconfig's current
    // configuration, where Qt's own call finds them ready.
    FcInit();
}
