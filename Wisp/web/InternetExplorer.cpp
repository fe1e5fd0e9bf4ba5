#include "Wisp/web/InternetExplorer.h"

#include <mshtml.h>
#include <oleacc.h>
#include <servprov.h>

#include <string>

#include "common/TraceLog.h"
#include "common/com/Bstr.h"
#include "common/com/ComPtr.h"
#include "common/com/Variant.h"

namespace DefaultBrowser {

const char kQuillDesktopBarClsid[] = "{CACB935E-E569-478A-B04F-F44D62B93AFC}";

namespace {

const DWORD kGetObjectTimeoutMs = 1000;
const wchar_t kServerClass[] = L"Internet Explorer_Server";

struct ServerSearch {
    HWND frame;
    HWND found;
};

BOOL CALLBACK FindServerChild(HWND child, LPARAM lParam)
{
    auto* search = reinterpret_cast<ServerSearch*>(lParam);
    wchar_t name[64] = {};
    GetClassNameW(child, name, 64);
    if (wcscmp(name, kServerClass) == 0 && GetParent(GetParent(child)) == search->frame) {
        search->found = child;
        return FALSE;
    }
    return TRUE;
}

HWND GetIEServerHandle(HWND frame)
{
    ServerSearch search = {frame, nullptr};
    EnumChildWindows(frame, FindServerChild, reinterpret_cast<LPARAM>(&search));
    if (!search.found)
        TraceLog("DefaultBrowser::GetIEServerHandle - failed couldn't find server window. \n");
    return search.found;
}

bool GetIEFromHWNDUsingObjectFromLresult(HWND frame, ComPtr<IWebBrowser2>& browser)
{
    HWND server = GetIEServerHandle(frame);
    if (!server) {
        TraceLog("DefaultBrowser::GetIEFromHWNDUsingObjectFromLresult - Failed getting Explorer_Server hwnd.\n");
        return false;
    }
    static const UINT getObject = RegisterWindowMessageA("WM_HTML_GETOBJECT");
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(server, getObject, 0, 0, SMTO_ABORTIFHUNG, kGetObjectTimeoutMs, &answer)) {
        TraceLog("DefaultBrowser::GetIEFromHWNDUsingObjectFromLresult - SendMessageTimeout failed.\n");
        return false;
    }
    if (!answer) {
        TraceLog("DefaultBrowser::GetIEFromHWNDUsingObjectFromLresult - WM_HTML_GETOBJECT returned failed.\n");
        return false;
    }
    ComPtr<IHTMLDocument2> document;
    HRESULT hr = ObjectFromLresult(static_cast<LRESULT>(answer), IID_IHTMLDocument2, 0, document.PutVoid());
    if (FAILED(hr) || !document) {
        TraceLog("DefaultBrowser::GetIEFromHWNDUsingObjectFromLresult - ObjectFromLresult failed. hr=0x%X\n",
                 static_cast<unsigned>(hr));
        return false;
    }
    ComPtr<IServiceProvider> services;
    hr = document.As(IID_IServiceProvider, services);
    if (FAILED(hr)) {
        TraceLog("DefaultBrowser::GetIEFromHWNDUsingObjectFromLresult - Failed QueryInterface IID_IServiceProvider. hr=0x%X.\n",
                 static_cast<unsigned>(hr));
        return false;
    }
    hr = services->QueryService(IID_IWebBrowserApp, IID_IWebBrowser2, browser.PutVoid());
    if (FAILED(hr) || !browser) {
        TraceLog("DefaultBrowser::GetIEFromHWNDUsingObjectFromLresult - Failed to get IWebBrowser2 from IServiceProvider.\n");
        return false;
    }
    return true;
}

// The shell's list of its browser windows; null (traced with the caller's prefix) when the
// shell does not offer it in process.
ComPtr<IShellWindows> CreateShellWindows(const char* caller)
{
    ComPtr<IShellWindows> windows;
    HRESULT hr = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_INPROC_SERVER, IID_IShellWindows,
                                  windows.PutVoid());
    if (FAILED(hr)) {
        TraceLog("DefaultBrowser::%s - CoCreateInstance failed.  hr=0x%X\n", caller, static_cast<unsigned>(hr));
        windows = nullptr;
    }
    return windows;
}

// Item i of the list as a browser, or null (a failed get_Item is traced).
ComPtr<IWebBrowser2> ShellWindowItem(IShellWindows* windows, long i, const char* caller)
{
    ComPtr<IWebBrowser2> browser;
    Variant index = Variant::FromInt(i);
    ComPtr<IDispatch> item;
    HRESULT hr = windows->Item(*index.Get(), item.Put());
    if (FAILED(hr)) {
        TraceLog("DefaultBrowser::%s - get_Item failed.  hr=0x%X\n", caller, static_cast<unsigned>(hr));
        return browser;
    }
    if (item)
        item.As(IID_IWebBrowser2, browser);
    return browser;
}

bool GetIEFromHWNDUsingIShell(HWND frame, ComPtr<IWebBrowser2>& found)
{
    const char kCaller[] = "GetIEFromHWNDUsingIShell";
    ComPtr<IShellWindows> windows = CreateShellWindows(kCaller);
    if (!windows)
        return false;
    long count = 0;
    HRESULT hr = windows->get_Count(&count);
    if (FAILED(hr)) {
        TraceLog("DefaultBrowser::GetIEFromHWNDUsingIShell - get_Count failed.  hr=0x%X\n", static_cast<unsigned>(hr));
        return false;
    }
    for (long i = 0; i < count; ++i) {
        ComPtr<IWebBrowser2> browser = ShellWindowItem(windows.Get(), i, kCaller);
        if (!browser)
            continue;
        Bstr fullName;
        browser->get_FullName(fullName.Put());
        SHANDLE_PTR handle = 0;
        hr = browser->get_HWND(&handle);
        if (FAILED(hr)) {
            TraceLog("DefaultBrowser::GetIEFromHWNDUsingIShell - '%s' - get_HWND failed.   hr=0x%X\n",
                     fullName.ToAnsi().c_str(), static_cast<unsigned>(hr));
            continue;
        }
        if (reinterpret_cast<HWND>(handle) == frame) {
            found = browser;
            return true;
        }
    }
    return false;
}

}  // namespace

bool GetIEFromHWND(HWND hWnd, IWebBrowser2** piBrowser2)
{
    if (!hWnd) {
        TraceLog("DefaultBrowser::GetIEFromHWND - hWnd is NULL.\n");
        return false;
    }
    if (!piBrowser2) {
        TraceLog("DefaultBrowser::GetIEFromHWND - piBrowser2 is NULL.\n");
        return false;
    }
    *piBrowser2 = nullptr;
    ComPtr<IWebBrowser2> browser;
    if (!GetIEFromHWNDUsingObjectFromLresult(hWnd, browser)) {
        TraceLog("DefaultBrowser::GetIEFromHWND - trying using GetIEFromHWNDUsingIShell()\n");
        if (!GetIEFromHWNDUsingIShell(hWnd, browser)) {
            TraceLog("DefaultBrowser::GetIEFromHWND - Failed attaching to browser.\n");
            return false;
        }
    }
    *piBrowser2 = browser.Detach();
    return true;
}

bool IEShowQuillDesktop(IWebBrowser2* piBrowser2, bool show)
{
    if (!piBrowser2) {
        TraceLog("DefaultBrowser::IEShowQuillDesktop - Failed, piBrowser2 is NULL.\n");
        return false;
    }
    Variant clsid = Variant::FromBstr(Bstr::FromAnsi(kQuillDesktopBarClsid).Detach());
    Variant visible = Variant::FromBool(show);
    Variant size = Variant::FromInt(0);
    HRESULT hr = piBrowser2->ShowBrowserBar(clsid.Get(), visible.Get(), size.Get());
    if (FAILED(hr)) {
        TraceLog("DefaultBrowser::IEShowQuillDesktop - ShowBrowserBar failed.  hr=0x%X\n", static_cast<unsigned>(hr));
        return false;
    }
    return true;
}

bool IEShowQuillDesktop(HWND hWnd, bool show)
{
    if (!hWnd) {
        TraceLog("DefaultBrowser::IEShowQuillDesktop - Failed, hWnd is NULL.\n");
        return false;
    }
    ComPtr<IWebBrowser2> browser;
    if (!GetIEFromHWND(hWnd, browser.Put())) {
        TraceLog("DefaultBrowser::IEShowQuillDesktop - Failed getting IWebBrowser2 interface from HWND.\n");
        return false;
    }
    if (!browser) {
        TraceLog("DefaultBrowser::IEShowQuillDesktop - Failed, iWebBrowse2 is NULL.\n");
        return false;
    }
    if (!IEShowQuillDesktop(browser.Get(), show)) {
        TraceLog("DefaultBrowser::IEShowQuillDesktop - Failed.\n");
        return false;
    }
    return true;
}

void RefreshAllIEBrowsers()
{
    const char kCaller[] = "RefreshAllIEBrowsers";
    ComPtr<IShellWindows> windows = CreateShellWindows(kCaller);
    if (!windows)
        return;
    long count = 0;
    HRESULT hr = windows->get_Count(&count);
    if (FAILED(hr)) {
        TraceLog("DefaultBrowser::RefreshAllIEBrowsers - get_Count failed.  hr=0x%X\n", static_cast<unsigned>(hr));
        return;
    }
    for (long i = 0; i < count; ++i) {
        ComPtr<IWebBrowser2> browser = ShellWindowItem(windows.Get(), i, kCaller);
        if (!browser)
            continue;
        Variant level = Variant::FromInt(REFRESH_NORMAL);
        hr = browser->Refresh2(level.Get());
        if (FAILED(hr))
            TraceLog("DefaultBrowser::RefreshAllIEBrowsers - Refresh2 failed.  hr=0x%X\n", static_cast<unsigned>(hr));
    }
}

}  // namespace DefaultBrowser
