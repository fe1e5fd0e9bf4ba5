#include "Wisp/control/WispControl.h"

#include "common/HostMessages.h"
#include "common/MessageBlock.h"
#include "common/TraceLog.h"
#include "common/com/Bstr.h"
#include "common/com/ComError.h"
#include "common/com/Strings.h"
#include "common/com/Variant.h"
#include "Wisp/control/Module.h"
#include "Wisp/mail/EmailChecker.h"
#include "Wisp/mail/EmailVerifyRequest.h"
#include "Wisp/web/HttpResultBlock.h"
#include "Wisp/web/DefaultBrowser.h"
#include "Wisp/web/WebServices.h"
#include "Wisp/windows/QDMenuSet.h"

#include <exdispid.h>
#include <olectl.h>

#include <cstring>
#include <cwchar>
#include <new>
#include <string>
#include <vector>

namespace {

const LCID kNameLocale = 0x0800;   // LOCALE_SYSTEM_DEFAULT
const long kNavigateFlags = 14;    // navNoHistory | navNoReadFromCache | navNoWriteToCache
const int kWidthMargin = 6;

unsigned ThreadId()
{
    return static_cast<unsigned>(GetCurrentThreadId());
}

void TrimWorkingSet()
{
    SetProcessWorkingSetSize(GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
}

}  // namespace

CWispControl::CWispControl() : ControlBase(CLSID_WispControl, IID_IWispControl, kMiscStatus) {}

CWispControl::~CWispControl()
{
    // Tearing the browser down sends our window messages; none may reach a dying object.
    DetachWindow();
    // Never leave the browser holding a sink that dies with us.
    DisconnectBrowserEvents();
    m_spParentDispatch = nullptr;
    m_scriptObject.Reset();
    m_spBrowser = nullptr;
    if (m_axHost) {
        m_axHost->Detach();
        m_axHost = nullptr;
    }
    // What UnInit did not get to.
    delete m_pMenu;
    m_pMenu = nullptr;
    StopMailChecker();
}

// --- IDispatch -----------------------------------------------------------------------------

STDMETHODIMP CWispControl::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP CWispControl::GetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    return WispModule::GetTypeInfo(IID_IWispControl, info);
}

STDMETHODIMP CWispControl::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (!IsEqualIID(iid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    // Page script asks for this one name at every call; the type information answers the
    // same (names compare case-insensitively there too), only far slower.
    if (count == 1 && names && names[0] &&
        (std::wcscmp(names[0], L"CallApplicationMethod") == 0 ||
         _wcsicmp(names[0], L"CallApplicationMethod") == 0)) {
        if (!ids)
            return E_POINTER;
        ids[0] = kDispidCallApplicationMethod;
        return S_OK;
    }
    ComPtr<ITypeInfo> info;
    HRESULT hr = WispModule::GetTypeInfo(IID_IWispControl, info.Put());
    if (FAILED(hr))
        return hr;
    return info->GetIDsOfNames(names, count, ids);
}

STDMETHODIMP CWispControl::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                  UINT*)
{
    return ComBoundary("CWispControl::Invoke", [&]() -> HRESULT {
        switch (id) {
        case DISPID_DOCUMENTCOMPLETE:
            TraceLog("%d: CWispControl::Invoke - DISPID_DOCUMENTCOMPLETE\n", ThreadId());
            OnDocumentComplete();
            return S_OK;
        case kDispidCallApplicationMethod:
            CallApplicationMethodDispatch(params, result);
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    });
}

// --- stock properties ----------------------------------------------------------------------

STDMETHODIMP CWispControl::put_BorderStyle(long style)
{
    m_nBorderStyle = style;
    StockPropertyChanged(DISPID_BORDERSTYLE, "OnBorderStyleChanged\n");
    return S_OK;
}

STDMETHODIMP CWispControl::get_BorderStyle(long* pstyle)
{
    if (!pstyle)
        return E_POINTER;
    *pstyle = m_nBorderStyle;
    return S_OK;
}

STDMETHODIMP CWispControl::put_BorderWidth(long width)
{
    m_nBorderWidth = width;
    StockPropertyChanged(DISPID_BORDERWIDTH, "OnBorderWidthChanged\n");
    return S_OK;
}

STDMETHODIMP CWispControl::get_BorderWidth(long* width)
{
    if (!width)
        return E_POINTER;
    *width = m_nBorderWidth;
    return S_OK;
}

STDMETHODIMP CWispControl::get_HWND(HWND* pHWND)
{
    if (!pHWND)
        return E_POINTER;
    *pHWND = m_hWnd;
    return S_OK;
}

STDMETHODIMP CWispControl::put_BorderVisible(VARIANT_BOOL vbool)
{
    m_bBorderVisible = vbool;
    StockPropertyChanged(DISPID_BORDERVISIBLE, "OnBorderVisibleChanged\n");
    return S_OK;
}

STDMETHODIMP CWispControl::get_BorderVisible(VARIANT_BOOL* pbool)
{
    if (!pbool)
        return E_POINTER;
    *pbool = m_bBorderVisible ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

// --- IWispControl methods ------------------------------------------------------------------

STDMETHODIMP CWispControl::LoadHTML(BSTR bstrURL)
{
    if (!m_spBrowser)
        return E_POINTER;
    VARIANT flags, empty, postData;
    VariantInit(&flags);
    VariantInit(&empty);
    VariantInit(&postData);
    flags.vt = VT_I4;
    flags.lVal = kNavigateFlags;
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 0);
    if (bytes) {
        postData.vt = VT_ARRAY | VT_UI1;
        postData.parray = bytes;
    }
    HRESULT hr = m_spBrowser->Navigate(bstrURL, &flags, &empty, &postData, &empty);
    VariantClear(&postData);
    return hr;
}

STDMETHODIMP CWispControl::Init(BSTR bstrURL, HWND hWndNotify, IDispatch* pDispParent, IDispatch** pDispChild)
{
    // An [out, retval]: set on every path, so a caller never reads what it left there.
    if (pDispChild)
        *pDispChild = nullptr;
    return ComBoundary("CWispControl::Init", [&]() -> HRESULT {
        TraceLog("  CWispControl::Init(url='%s')\n", AnsiFromWide(bstrURL).c_str());
        return InitBrowser(bstrURL, hWndNotify, pDispParent, pDispChild);
    });
}

HRESULT CWispControl::InitBrowser(BSTR bstrURL, HWND hWndNotify, IDispatch* pDispParent, IDispatch** pDispChild)
{
    AxHost::RegisterWindowClass();
    if (m_hWnd)
        GetWindowLongPtrA(m_hWnd, GWL_STYLE);
    m_hWndNotify = hWndNotify;

    if (!m_axHost) {
        if (!m_hWnd)
            return E_UNEXPECTED;
        m_axHost = MakeComObject<AxHost>();
        m_axHost->Attach(m_hWnd);
    }
    // A second Init replaces the browser; its connection (held on the browser it was made on)
    // goes only once the host has let that browser go, so a refused Init leaves the page shown
    // with its events.
    HRESULT hr = m_axHost->CreateControl(bstrURL, nullptr, nullptr, IID_NULL);
    if (FAILED(hr)) {
        ComPtr<IWebBrowser2> shown;
        if (FAILED(m_axHost->QueryControl(IID_IWebBrowser2, shown.PutVoid())) || shown.Get() != m_spBrowser.Get())
            DisconnectBrowserEvents();
        return hr;
    }
    DisconnectBrowserEvents();
    // The page the host chose is what its pages are trusted by; a nested control keeps the
    // anchor it inherited, whatever page it is given. A refused Init keeps the page shown and
    // so its anchor.
    if (!m_bNested)
        m_anchor = Utf8FromWide(bstrURL ? bstrURL : L"", bstrURL ? SysStringLen(bstrURL) : 0);
    hr = m_axHost->QueryControl(IID_IWebBrowser2, m_spBrowser.PutVoid());
    if (FAILED(hr))
        return hr;
    m_scriptObject.Init(m_spBrowser.Get());

    // Handed out only when Init succeeds: a caller does not release what a failed call left.
    ComPtr<IDispatch> child;
    if (pDispChild) {
        hr = m_spBrowser->QueryInterface(IID_IDispatch, child.PutVoid());
        if (FAILED(hr))
            TraceLog("CWispControl::Init - failed getting getting IDispatch for browser window. hr=0x%X\n",
                     static_cast<unsigned>(hr));
    }
    if (pDispParent)
        m_spParentDispatch = ComPtr<IDispatch>(pDispParent);

    hr = ConnectBrowserEvents();
    if (FAILED(hr))
        return hr;
    IDocHostUIHandlerDispatch* handler = this;
    hr = m_axHost->SetExternalUIHandler(handler);
    if (SUCCEEDED(hr) && pDispChild)
        *pDispChild = child.Detach();
    return hr;
}

STDMETHODIMP CWispControl::CallApplicationMethod(DISPPARAMS*, VARIANT*)
{
    // Page script reaches the method table late-bound, through Invoke.
    return S_OK;
}

STDMETHODIMP CWispControl::CallScriptMethod(BSTR bstrMethod, VARIANT* pvaResult, ULONG ulNumArgs, VARIANT* pvaArgs)
{
    return ComBoundary("CWispControl::CallScriptMethod", [&]() -> HRESULT {
        // The caller's VARIANTs are taken over and go back after the call, however it ends.
        VariantArray result(1, pvaResult);
        VariantArray args(ulNumArgs, pvaArgs);
        VARIANT_BOOL exists = VARIANT_FALSE;
        HRESULT hr = bstrMethod ? ScriptMethodExists(bstrMethod, &exists) : E_POINTER;
        if (FAILED(hr) || !exists) {
            result.Release();
            args.Release();
            return E_FAIL;
        }
        std::string name = AnsiFromWide(bstrMethod);
        // The call writes a fresh result; what the caller had in it is released, not leaked.
        VariantClear(&result[0]);
        if (!CallScriptFunction(name.c_str(), args.Data(), ulNumArgs, &result[0])) {
            TraceLog("CWispControl::CallScriptMethod - failed calling '%s'\n", name.c_str());
            return E_FAIL;
        }
        return S_OK;
    });
}

bool CWispControl::CallScriptFunction(const char* name, const VARIANT* args, unsigned numArgs, VARIANT* result)
{
    ScriptObject script;
    script.Init(m_spBrowser.Get());
    return script.CallMethod(name, args, numArgs, result);
}

STDMETHODIMP CWispControl::ScriptMethodExists(BSTR bstrMethod, VARIANT_BOOL* pbool)
{
    if (!pbool)
        return E_POINTER;
    *pbool = VARIANT_FALSE;
    return ComBoundary("CWispControl::ScriptMethodExists", [&] { return LookUpScriptMethod(bstrMethod, pbool); });
}

HRESULT CWispControl::LookUpScriptMethod(BSTR bstrMethod, VARIANT_BOOL* pbool)
{
    std::string name = AnsiFromWide(bstrMethod);

    ComPtr<IDispatch> document;
    HRESULT hr = m_spBrowser ? m_spBrowser->get_Document(document.Put()) : E_POINTER;
    if (FAILED(hr)) {
        TraceLog("CWispControl::ScriptMethodExists(%s) - Failed getting document IDispatch.  hr=0x%X\n", name.c_str(),
                 static_cast<unsigned>(hr));
        return hr;
    }
    ComPtr<IHTMLDocument> html;
    hr = document ? document.As(IID_IHTMLDocument, html) : E_NOINTERFACE;
    if (FAILED(hr)) {
        TraceLog("CWispControl::ScriptMethodExists(%s) - Failed getting IHTMLDocument pointer from document "
                 "dispatch.  hr=0x%X\n",
                 name.c_str(), static_cast<unsigned>(hr));
        return hr;
    }
    ComPtr<IDispatch> script;
    hr = html->get_Script(script.Put());
    if (FAILED(hr)) {
        TraceLog("CWispControl::ScriptMethodExists(%s) - Failed getting script dispatch from IHTMLDocument.  "
                 "hr=0x%X\n",
                 name.c_str(), static_cast<unsigned>(hr));
        return hr;
    }
    if (!script || !bstrMethod)
        return S_OK;
    LPOLESTR names[1] = {bstrMethod};
    DISPID dispid = 0;
    if (SUCCEEDED(script->GetIDsOfNames(IID_NULL, names, 1, kNameLocale, &dispid)))
        *pbool = VARIANT_TRUE;
    return S_OK;
}

STDMETHODIMP CWispControl::InformParentOfUserEvents(VARIANT_BOOL inform)
{
    m_bInformParentOfUserEvents = inform != 0;
    return S_OK;
}

STDMETHODIMP CWispControl::MarkNested(const char* anchor, BOOL external)
{
    m_bNested = true;
    m_anchor = anchor ? anchor : "";
    m_bGiveExternal = external != FALSE;
    return S_OK;
}

STDMETHODIMP CWispControl::UnInit()
{
    HRESULT hr = DisconnectBrowserEvents();
    if (FAILED(hr))
        TraceLog("CWispControl::UnInit() - DispEventUnadvise Failed, hr=0x%X\n", static_cast<unsigned>(hr));
    delete m_pMenu;
    m_pMenu = nullptr;
    StopMailChecker();
    TrimWorkingSet();
    return S_OK;
}

// --- browser events ------------------------------------------------------------------------

HRESULT CWispControl::ConnectBrowserEvents()
{
    return m_browserEventsAdvice.Advise(m_spBrowser.Get(), DIID_DWebBrowserEvents2, &m_browserEvents);
}

HRESULT CWispControl::DisconnectBrowserEvents()
{
    return m_browserEventsAdvice.Unadvise();
}

STDMETHODIMP CWispControl::BrowserEvents::Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                                 VARIANT* result, EXCEPINFO* excepinfo, UINT* argError)
{
    // Only the page events matter; anything else the browser fires is answered as unknown.
    if (id != DISPID_DOCUMENTCOMPLETE)
        return DISP_E_MEMBERNOTFOUND;
    return m_owner->Invoke(id, iid, lcid, flags, params, result, excepinfo, argError);
}

void CWispControl::OnDocumentComplete()
{
    TraceLog("%d: CWispControl::OnDocumentComplete\n", ThreadId());
    m_bDocumentComplete = true;
    if (m_hWndNotify)
        PostMessageA(m_hWndNotify, RM_DOCUMENT_COMPLETE, 0, 0);
    RECT rect;
    if (m_hWnd && GetWindowRect(m_hWnd, &rect))
        OnWidthChange(rect.right - rect.left);
    TrimWorkingSet();
}

void CWispControl::OnWidthChange(int width)
{
    if (width < 1 || !m_bDocumentComplete)
        return;
    Bstr name(L"QDWindowWidthChanged");
    VARIANT_BOOL exists = VARIANT_FALSE;
    if (FAILED(ScriptMethodExists(name.Get(), &exists))) {
        TraceLog("Error while looking for QDWindowWidthChanged.\n");
        return;
    }
    if (!exists)
        return;
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = width - kWidthMargin;
    CallScriptMethod(name.Get(), nullptr, 1, &arg);
    VariantClear(&arg);
}

// --- script events from host and worker messages ---------------------------------------------

void CWispControl::FireScriptEvent(const char* function, const char* eventName)
{
    Bstr name = Bstr::FromAnsi(function);
    VARIANT_BOOL exists = VARIANT_FALSE;
    if (FAILED(ScriptMethodExists(name.Get(), &exists))) {
        TraceLog("WispControl::%s - ScriptMethodExists failed.\n", eventName);
        return;
    }
    if (!exists)
        return;
    if (FAILED(CallScriptMethod(name.Get(), nullptr, 0, nullptr)))
        TraceLog("WispControl::%s - CallScriptMethod failed.\n", eventName);
}

LRESULT CWispControl::OnAsyncHttpComplete(WPARAM wParam, LPARAM lParam)
{
    void* block = reinterpret_cast<void*>(lParam);
    if (!block) {
        TraceLog("CWispControl::OnAsyncHTTPComplete - no result block.\n");
        return 0;
    }
    // Any process may post this message: only a result block posted in this process is read
    // and freed, once.
    UniqueMessageBlock hold = TakeMessageBlock(RM_ASYNC_HTTP_COMPLETE, lParam);
    if (!hold) {
        TraceLog("CWispControl::OnAsyncHTTPComplete - lParam %p is no result block of this process; ignored.\n",
                 block);
        return 0;
    }
    VariantArray args(3);
    args[0].vt = VT_UI4;
    args[0].ulVal = static_cast<ULONG>(wParam);
    args[1].vt = VT_UI4;
    args[1].ulVal = HttpResultStatus(block);
    try {
        const char* body = HttpResultText(block);
        Bstr text = Bstr::FromAnsi(body, std::strlen(body));
        if (!text.Get())
            ThrowComError(E_OUTOFMEMORY);
        args[2].vt = VT_BSTR;
        args[2].bstrVal = text.Detach();
    } catch (...) {
        args[2].vt = VT_ERROR;
        args[2].scode = E_OUTOFMEMORY;
    }
    CallScriptFunction("QDOnAsyncHTTPComplete", args.Data(), 3, nullptr);
    return 0;
}

void CWispControl::StopMailChecker()
{
    if (m_pEmailChecker)
        EmailChecker::Stop();
    if (m_hMailThread) {
        // The thread owns all it works with, so it may outlive the checker; an idle one ends
        // within a second, and one in a pass is given a little time to finish it.
        if (WaitForSingleObject(m_hMailThread, kMailThreadStopWaitMs) != WAIT_OBJECT_0)
            TraceLog("CWispControl::UnInit - the mail thread is still checking; it ends after its pass.\n");
        CloseHandle(m_hMailThread);
        m_hMailThread = nullptr;
    }
    delete m_pEmailChecker;
    m_pEmailChecker = nullptr;
}

void CWispControl::OnMailCheckComplete(LPARAM lParam)
{
    void* block = reinterpret_cast<void*>(lParam);
    // Any process may post this message: only a snapshot posted in this process is read and
    // freed, once.
    UniqueMessageBlock hold = TakeMessageBlock(RM_EMAIL_CHECK_COMPLETE, lParam);
    if (!hold)
        return;
    const auto* snapshot = static_cast<const MailCheckSnapshot*>(block);
    // A pass of a checker already deleted (UnInit ran meanwhile) has nobody to tell.
    if (m_pEmailChecker && snapshot->checker == m_pEmailChecker)
        m_pEmailChecker->CompleteMailCheckNotification(*snapshot);
}

LRESULT CWispControl::OnEmailVerifyComplete(LPARAM lParam)
{
    auto* request = reinterpret_cast<EmailVerifyRequest*>(lParam);
    if (!request) {
        TraceLog("CWispControl::OnEmailVerifyComplete can't get data! bailing \n");
        return 0;
    }
    // Any process may post this message, and the worker fills its record until it posts it:
    // only a posted record of this process is read and freed, once.
    UniqueMessageBlock hold = TakeMessageBlock(RM_EMAIL_VERIFY_COMPLETE, lParam);
    if (!hold) {
        TraceLog("CWispControl::OnEmailVerifyComplete - lParam %p is no verification record of this process; "
                 "ignored.\n",
                 static_cast<void*>(request));
        return 0;
    }
    VariantArray args(2);
    args[0].vt = VT_BOOL;
    args[0].boolVal = request->verified ? VARIANT_TRUE : VARIANT_FALSE;
    args[1].vt = VT_BOOL;
    args[1].boolVal = request->stopped ? VARIANT_TRUE : VARIANT_FALSE;
    const char* callback = request->callbackName ? request->callbackName : "";
    Bstr name = Bstr::FromAnsi(callback);
    if (FAILED(CallScriptMethod(name.Get(), nullptr, 2, args.Data()))) {
        TraceLog("Callback: '%s' failed.\n", callback);
        return -1;
    }
    return 0;
}

void CWispControl::OnDefaultBrowserNavigateComplete()
{
    Bstr name(L"OnDefaultBrowserNavigateComplete");
    VARIANT_BOOL exists = VARIANT_FALSE;
    if (SUCCEEDED(ScriptMethodExists(name.Get(), &exists)) && exists)
        CallScriptMethod(name.Get(), nullptr, 0, nullptr);
}

// --- window --------------------------------------------------------------------------------

LRESULT CWispControl::OnCreate()
{
    TraceLog("%d: CWispControl::OnCreate - m_hWnd = 0x%X\n", ThreadId(),
             static_cast<unsigned>(reinterpret_cast<UINT_PTR>(m_hWnd)));
    // The control's window is also the container of its browser.
    m_axHost = MakeComObject<AxHost>();
    m_axHost->Attach(m_hWnd);
    // Activated again after an in-place deactivation: the old set's menus belong to the
    // window that went, and would leak if the set were simply replaced.
    delete m_pMenu;
    m_pMenu = new (std::nothrow) QDMenuSet(m_hWnd, &m_scriptObject);
    return 0;
}

bool CWispControl::ProcessControlMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_MOUSEMOVE:
    case WM_RBUTTONDOWN:
    case WM_LBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (m_bInformParentOfUserEvents) {
            if (HWND parent = GetParent(m_hWnd))
                SendMessageA(parent, message, wParam, lParam);
        }
        result = 0;
        return true;
    case RM_NEW_CONTENT_AVAILABLE:
        TraceLog("WispControl::OnNewContentAvailable\n");
        FireScriptEvent("QDOnNewContentAvailable", "OnNewContentAvailable");
        result = 0;
        return true;
    case RM_DESKTOP_LOADED:
        FireScriptEvent("QDOnDesktopLoaded", "OnDesktopLoaded");
        result = 0;
        return true;
    case RM_NEW_DESKTOP_INSTANCE:
        FireScriptEvent("QDOnNewDesktopInstance", "OnNewDesktopInstance");
        result = 0;
        return true;
    case RM_ASYNC_HTTP_COMPLETE:
        result = OnAsyncHttpComplete(wParam, lParam);
        return true;
    case WM_CREATE:
        result = OnCreate();
        return true;
    case WM_ERASEBKGND:
        result = 0;
        return true;
    case WM_PAINT:
        return false;
    case RM_EMAIL_CHECK_COMPLETE:
        OnMailCheckComplete(lParam);
        result = 0;
        return true;
    case RM_EMAIL_VERIFY_COMPLETE:
        result = OnEmailVerifyComplete(lParam);
        return true;
    case WM_WINDOWPOSCHANGED: {
        const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
        // The default handling still runs: it sends the WM_SIZE that resizes the hosted browser.
        DefaultWindowProc(message, wParam, lParam);
        if (pos)
            OnWidthChange(pos->cx);
        result = 0;
        return true;
    }
    case RM_DEFAULT_BROWSER_NAVIGATE_COMPLETE:
        OnDefaultBrowserNavigateComplete();
        result = 0;
        return true;
    default:
        return false;
    }
}

LRESULT CWispControl::ControlWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    // Page events call into script, which may release the last outside reference to us.
    ComPtr<IUnknown> self(Identity());
    try {
        LRESULT result = 0;
        if (message == WM_DESTROY) {
            // Results still queued for this window would be dropped with it, blocks and all.
            const UINT kinds[] = {RM_EMAIL_CHECK_COMPLETE, RM_EMAIL_VERIFY_COMPLETE, RM_ASYNC_HTTP_COMPLETE};
            FreeQueuedMessageBlocks(m_hWnd, kinds, sizeof kinds / sizeof kinds[0]);
        }
        if (ProcessControlMessage(message, wParam, lParam, result))
            return result;
        if (m_dynamicChain.Offer(m_hWnd, message, wParam, lParam, result))
            return result;
        if (m_axHost && m_axHost->HandleMessage(message, wParam, lParam, result))
            return result;
        if (message == WM_DESTROY && m_axHost) {
            m_axHost->Detach();
            m_axHost = nullptr;
        }
        // Reflected notifications (OCM_ range) are not for us either.
        return DefaultWindowProc(message, wParam, lParam);
    } catch (const ComError& e) {
        TraceLog("CWispControl::ControlWindowProc - failed, hr=0x%X\n", static_cast<unsigned>(e.hr));
    } catch (...) {
        TraceLog("CWispControl::ControlWindowProc - exception caught, message 0x%X\n", message);
    }
    return 0;
}

HRESULT CWispControl::CoClassTypeInfo(ITypeInfo** info)
{
    return WispModule::GetTypeInfo(CLSID_WispControl, info);
}

// --- IDocHostUIHandlerDispatch -------------------------------------------------------------

STDMETHODIMP CWispControl::ShowContextMenu(DWORD dwID, DWORD, DWORD, IUnknown*, IDispatch*, HRESULT* pdwRetVal)
{
    TraceLog("IWispControl - ShowContextMenu, MenuID id=%d\n", static_cast<int>(dwID));
    // Edit fields keep the browser's own menu; everywhere else the menu counts as shown.
    if (dwID == CONTEXT_MENU_CONTROL)
        return E_NOTIMPL;
    if (pdwRetVal)
        *pdwRetVal = 0;
    return S_OK;
}

STDMETHODIMP CWispControl::GetHostInfo(DWORD*, DWORD*) { return E_NOTIMPL; }
STDMETHODIMP CWispControl::ShowUI(DWORD, IUnknown*, IUnknown*, IUnknown*, IUnknown*, HRESULT*) { return E_NOTIMPL; }
STDMETHODIMP CWispControl::HideUI() { return E_NOTIMPL; }
STDMETHODIMP CWispControl::UpdateUI() { return E_NOTIMPL; }
STDMETHODIMP CWispControl::EnableModeless(VARIANT_BOOL) { return E_NOTIMPL; }
STDMETHODIMP CWispControl::OnDocWindowActivate(VARIANT_BOOL) { return E_NOTIMPL; }
STDMETHODIMP CWispControl::OnFrameWindowActivate(VARIANT_BOOL) { return E_NOTIMPL; }
STDMETHODIMP CWispControl::ResizeBorder(long, long, long, long, IUnknown*, VARIANT_BOOL) { return E_NOTIMPL; }
STDMETHODIMP CWispControl::TranslateAccelerator(DWORD_PTR, DWORD, DWORD_PTR, DWORD_PTR, BSTR, DWORD, HRESULT*)
{
    return E_NOTIMPL;
}
STDMETHODIMP CWispControl::GetOptionKeyPath(BSTR*, DWORD) { return E_NOTIMPL; }
STDMETHODIMP CWispControl::GetDropTarget(IUnknown*, IUnknown**) { return E_NOTIMPL; }

STDMETHODIMP CWispControl::GetExternal(IDispatch** ppDispatch)
{
    if (!ppDispatch)
        return E_POINTER;
    *ppDispatch = nullptr;
    // The offscreen browser's pages are remote sites the scraping reads from native code: they
    // never need to call in, so they get nothing to call.
    if (!m_bGiveExternal)
        return E_NOTIMPL;
    IWispControl* face = this;
    face->AddRef();
    *ppDispatch = face;
    return S_OK;
}

STDMETHODIMP CWispControl::TranslateUrl(DWORD, BSTR, BSTR*) { return E_NOTIMPL; }
STDMETHODIMP CWispControl::FilterDataObject(IUnknown*, IUnknown**) { return E_NOTIMPL; }

// --- application methods that live on the control ----------------------------------------------

bool CWispControl::ShowQuillDesktopInBrowser(bool flag)
{
    if (!DefaultBrowser::ShowQuillDesktop(flag, true)) {
        TraceLog("CWispControl::ShowQuillDesktopInBrowser(%d) - Failed.\n", flag ? 1 : 0);
        return false;
    }
    return true;
}

int CWispControl::GetWindowWidth()
{
    RECT rect;
    if (!m_hWnd || !GetWindowRect(m_hWnd, &rect)) {
        TraceLog("CWispControl::GetWindowWidth() - GetWindowRect failed.  LastError = %d\n",
                 static_cast<int>(GetLastError()));
        return 0;
    }
    return rect.right - rect.left;
}

int CWispControl::GetWindowHeight()
{
    RECT rect;
    if (!m_hWnd || !GetWindowRect(m_hWnd, &rect)) {
        TraceLog("CWispControl::GetWindowHeight() - GetWindowRect failed. LastError = %d\n",
                 static_cast<int>(GetLastError()));
        return 0;
    }
    return rect.bottom - rect.top;
}

bool CWispControl::HTTP(unsigned long requestId, const char* verb, const char* server, const char* serverPath,
                        const char* localPath, const char* postData, unsigned long postDataLength,
                        unsigned short port, unsigned long accessType, bool secure)
{
    auto text = [](const char* s) { return s ? s : "(null)"; };
    TraceLog("CWispControl::HTTP - Verb='%s', server='%s', serverPath='%s', localPath='%s', postData='%s'\n",
             text(verb), text(server), text(serverPath), text(localPath), text(postData));
    HttpRequestParams params = {requestId, verb, server, serverPath, localPath, postData, postDataLength,
                                port,      accessType, secure};
    return StartAsyncHttpRequest(params, m_hWndNotify);
}

int CWispControl::ShowMessageBox(const char* text, const char* caption, UINT style)
{
    return MessageBoxA(GetDesktopWindow(), text ? text : "", caption ? caption : "", style);
}

int CWispControl::AddMenu(const char* path)
{
    return m_pMenu ? m_pMenu->Load(path) : -1;
}

bool CWispControl::DeleteMenu(int id)
{
    return m_pMenu && m_pMenu->Remove(id);
}

int CWispControl::ShowMenu(int id)
{
    if (id < 0)
        return -1;
    SetFocus(m_hWnd);
    if (!m_pMenu)
        return -1;
    // Init bound the script object while the first page was still loading, and a page loaded
    // since (LoadHTML) has script of its own: menu callbacks go to the page shown now.
    if (m_spBrowser)
        m_scriptObject.Init(m_spBrowser.Get());
    return m_pMenu->Show(id);
}
