// Methods about the control's own window, its hosting windows and the page's parent object.
#include <windows.h>
#include <exdisp.h>
#include <mshtml.h>

#include "common/HostMessages.h"
#include "common/QDUtilities.h"
#include "common/TraceLog.h"
#include "common/com/ComPtr.h"
#include "common/com/Strings.h"
#include "Wisp/control/WispControl.h"
#include "Wisp/methods/ApplicationMethods.h"

#include <cstring>

namespace methods {

namespace {

// Asks the control hosting another page to close its own pop-up: that page's window.external
// is the control, so ClosePopup without arguments runs there.
void ClosePopupOfPage(IDispatch* object)
{
    HRESULT hr = E_POINTER;
    ComPtr<IWebBrowser2> browser;
    if (object)
        hr = object->QueryInterface(IID_IWebBrowser2, browser.PutVoid());
    if (FAILED(hr) || !browser) {
        TraceLog("AppMethod ClosePopup: Failed getting IWebBrowser2 interface from paramter. hr=0x%X", static_cast<unsigned>(hr));
        return;
    }
    ComPtr<IDispatch> documentDispatch;
    hr = browser->get_Document(documentDispatch.Put());
    if (FAILED(hr) || !documentDispatch) {
        TraceLog("AppMethod ClosePopup: Failed getting IHTMLDocument2 dispatch interface from paramter. hr=0x%X", static_cast<unsigned>(hr));
        return;
    }
    ComPtr<IHTMLDocument2> document;
    hr = documentDispatch->QueryInterface(IID_IHTMLDocument2, document.PutVoid());
    if (FAILED(hr) || !document) {
        TraceLog("AppMethod ClosePopup: Failed getting IHTMLDocument2 interface from paramter. hr=0x%X", static_cast<unsigned>(hr));
        return;
    }
    ComPtr<IHTMLWindow2> window;
    hr = document->get_parentWindow(window.Put());
    if (FAILED(hr) || !window) {
        TraceLog("AppMethod ClosePopup: Failed getting IHTMLWindow2 interface from paramter. hr=0x%X", static_cast<unsigned>(hr));
        return;
    }
    ComPtr<IDispatch> external;
    hr = window->get_external(external.Put());
    if (FAILED(hr) || !external) {
        TraceLog("AppMethod ClosePopup: Failed getting External dispatch interface from paramter. hr=0x%X", static_cast<unsigned>(hr));
        return;
    }
    VARIANT name;
    VariantInit(&name);
    name.vt = VT_BSTR;
    name.bstrVal = SysAllocString(L"ClosePopup");
    DISPPARAMS params = {&name, nullptr, 1, 0};
    VARIANT result;
    VariantInit(&result);
    hr = external->Invoke(CWispControl::kDispidCallApplicationMethod, IID_NULL, LOCALE_USER_DEFAULT,
                          DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    VariantClear(&result);
    VariantClear(&name);
    if (FAILED(hr))
        TraceLog("AppMethod ClosePopup: Failed invoking ClosePopup method in paeramters external interface");
}

}  // namespace

void Trace(MethodCall& call)
{
    TraceLog("%s", call.args.String(0).c_str());
}

void ClosePopup(MethodCall& call)
{
    if (call.args.Count() == 2)
        ClosePopupOfPage(call.args.Object(0));
    else if (HWND control = call.control->ControlWindow())
        PostMessage(GetParent(control), RM_CLOSE_POPUP, 0, 0);
    call.SetShort(0);
}

// Pages hand over the browser object of another page (what Init answers as the child
// dispatch, as for ClosePopup's cross-page form) and get that page's title.
void GetPageLocationName(MethodCall& call)
{
    call.SetString("");
    IDispatch* object = call.args.Object(0);
    HRESULT hr = E_POINTER;
    ComPtr<IWebBrowser2> browser;
    if (object)
        hr = object->QueryInterface(IID_IWebBrowser2, browser.PutVoid());
    if (FAILED(hr) || !browser) {
        TraceLog("AppMethod GetPageLocationName: Failed getting IWebBrowser2 interface from parameter. hr=0x%X\n",
                 static_cast<unsigned>(hr));
        return;
    }
    BSTR name = nullptr;
    hr = browser->get_LocationName(&name);
    if (FAILED(hr)) {
        TraceLog("AppMethod GetPageLocationName: get_LocationName failed. hr=0x%X\n", static_cast<unsigned>(hr));
        return;
    }
    call.SetString(AnsiFromWide(name));
    SysFreeString(name);
}

void GetParent(MethodCall& call)
{
    call.SetObject(call.control->ParentDispatch());
}

void ShowMessageBox(MethodCall& call)
{
    const std::string text = call.args.String(0);
    const std::string caption = call.args.String(1);
    call.SetInt(call.control->ShowMessageBox(text.c_str(), caption.c_str(), static_cast<UINT>(call.args.Int(2))));
}

void GetWindowWidth(MethodCall& call)
{
    call.SetInt(call.control->GetWindowWidth());
}

void GetWindowHeight(MethodCall& call)
{
    call.SetInt(call.control->GetWindowHeight());
}

void ExitDialog(MethodCall& call)
{
    HWND control = call.control->ControlWindow();
    if (!control)
        return;
    HWND dialog = ::GetParent(::GetParent(control));
    // Only a dialog hosting the page: two levels up from a balloon's page or the main control
    // stands the host's own window, which a page must not close.
    char name[16] = "";
    if (!dialog || !GetClassNameA(dialog, name, sizeof name) || std::strcmp(name, "#32770") != 0) {
        TraceLog("AppMethod ExitDialog: the control is not inside a dialog.\n");
        return;
    }
    PostMessage(dialog, WM_CLOSE, 0, 0);
}

void ShowCursor(MethodCall& call)
{
    ::ShowCursor(call.args.Short(0) != 0);
}

void ShowWindow(MethodCall& call)
{
    HWND control = call.control->ControlWindow();
    if (control)
        ::ShowWindow(QDUtilities::GetAncestorDyn(control, GA_ROOT), static_cast<int>(call.args.Int(0)));
}

void IsWindowVisible(MethodCall& call)
{
    HWND control = call.control->ControlWindow();
    bool visible = false;
    RECT window, desktop, overlap;
    if (control && ::IsWindowVisible(control) && GetWindowRect(control, &window) &&
        GetClientRect(GetDesktopWindow(), &desktop))
        visible = IntersectRect(&overlap, &window, &desktop) != FALSE;
    call.SetBool(visible);
}

void GetPID(MethodCall& call)
{
    HWND control = call.control->ControlWindow();
    TraceLog("ApplicationMethods::GetPID - HWND = 0x%X\n", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(control)));
    HWND root = control ? QDUtilities::GetAncestorDyn(control, GA_ROOTOWNER) : nullptr;
    TraceLog("ApplicationMethods::GetPID - HWND GA_ROOTOWNER = 0x%X\n",
             static_cast<unsigned>(reinterpret_cast<UINT_PTR>(root)));
    call.SetInt(static_cast<long>(reinterpret_cast<LONG_PTR>(root)));
}

void GetTaskTrayX(MethodCall& call) { call.SetInt(QDUtilities::GetTaskTrayX()); }
void GetTaskTrayY(MethodCall& call) { call.SetInt(QDUtilities::GetTaskTrayY()); }
void GetTaskTrayW(MethodCall& call) { call.SetInt(QDUtilities::GetTaskTrayW()); }
void GetTaskTrayH(MethodCall& call) { call.SetInt(QDUtilities::GetTaskTrayH()); }
void GetTaskBarEdge(MethodCall& call) { call.SetInt(QDUtilities::GetTaskBarEdge()); }

}  // namespace methods
