#include "Wisp/web/WebServices.h"

#include "common/TraceLog.h"

// The default-browser integration replaces this.
bool ShowDesktopInDefaultBrowser(bool, bool)
{
    TraceLog("ShowDesktopInDefaultBrowser - no default-browser support in this build.\n");
    return false;
}
