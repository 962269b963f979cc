#include "ZipExpander.h"

ToolCommand ZipExpander::platformTool()
{
    return dittoTool();
}
