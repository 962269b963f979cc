#include "views/components/SystemFonts.h"

#include <CoreText/CoreText.h>

void SystemFonts::read()
{
    // The call Qt's font database starts from: Core Text connects to the
    // system's font registry and lists the families, which later calls reuse.
    if (CFArrayRef families = CTFontManagerCopyAvailableFontFamilyNames())
        CFRelease(families);
}
