#include "Wisp/windows/WindowShape.h"

#include "common/TraceLog.h"

void PathCorner(HDC dc, const RECT& box, POINT from, POINT to)
{
    if (box.right <= box.left || box.bottom <= box.top) {
        LineTo(dc, to.x, to.y);
        return;
    }
    SetArcDirection(dc, AD_COUNTERCLOCKWISE);
    ArcTo(dc, box.left, box.top, box.right, box.bottom, from.x, from.y, to.x, to.y);
}

bool SetPathAsWindowRegion(HWND window, HDC dc)
{
    HRGN region = dc ? PathToRegion(dc) : nullptr;
    if (!region) {
        TraceLog("  SimpleRgn failed creation\n");
        return false;
    }
    // The window owns the region from here on.
    if (!SetWindowRgn(window, region, TRUE)) {
        DeleteObject(region);
        return false;
    }
    return true;
}
