#include "ZipExpander.h"

ZipExpander::Tools ZipExpander::platformTools()
{
    return bsdtarTools();
}
