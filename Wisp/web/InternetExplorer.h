// Running Internet Explorer windows: attaching to one by its frame window (through the page's
// server window, else through the shell's window list), showing the product's explorer bar in
// it and refreshing them all.
#pragma once

#include <windows.h>
#include <exdisp.h>

namespace DefaultBrowser {

// The product's explorer bar, registered by the host application.
extern const char kQuillDesktopBarClsid[];   // "{CACB935E-E569-478A-B04F-F44D62B93AFC}"

// *piBrowser2 gets a reference the caller releases.
bool GetIEFromHWND(HWND hWnd, IWebBrowser2** piBrowser2);
bool IEShowQuillDesktop(IWebBrowser2* piBrowser2, bool show);
bool IEShowQuillDesktop(HWND hWnd, bool show);
void RefreshAllIEBrowsers();

}  // namespace DefaultBrowser
