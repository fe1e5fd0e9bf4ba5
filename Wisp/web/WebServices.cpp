#include "Wisp/web/WebServices.h"

#include "common/TraceLog.h"

// The HTTP client and the default-browser integration replace these.
bool StartAsyncHttpRequest(const HttpRequestParams&, HWND)
{
    TraceLog("StartAsyncHttpRequest - no HTTP client in this build.\n");
    return false;
}

bool ShowDesktopInDefaultBrowser(bool, bool)
{
    TraceLog("ShowDesktopInDefaultBrowser - no default-browser support in this build.\n");
    return false;
}
