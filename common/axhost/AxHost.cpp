#include "common/axhost/AxHost.h"

#include "common/TraceLog.h"
#include "common/WindowClass.h"
#include "common/com/Bstr.h"

#include <exdisp.h>

#include <cstring>
#include <cwchar>
#include <string>

const char AxHost::kWindowClass[] = "WispAxWin";

namespace {

const char kHostProperty[] = "WispAxHost";

// A name that is neither "{CLSID}" nor a registered ProgID is a URL for the WebBrowser.
bool ClassFromName(const wchar_t* name, CLSID& clsid)
{
    if (name[0] == L'{')
        return SUCCEEDED(CLSIDFromString(const_cast<LPOLESTR>(name), &clsid));
    if (std::wcschr(name, L':') || std::wcschr(name, L'\\') || std::wcschr(name, L'/'))
        return false;
    return SUCCEEDED(CLSIDFromProgID(name, &clsid));
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE) {
        ComPtr<AxHost> host = MakeComObject<AxHost>();
        host->Attach(window);
        // The window keeps the reference it was given; WM_NCDESTROY drops it.
        host->InternalAddRef();
        int length = GetWindowTextLengthW(window);
        if (length > 0) {
            std::wstring name(static_cast<std::size_t>(length) + 1, L'\0');
            GetWindowTextW(window, &name[0], length + 1);
            name.resize(static_cast<std::size_t>(length));
            HRESULT hr = host->CreateControl(name.c_str());
            if (FAILED(hr))
                TraceLog("AxHost::HostWindowProc - CreateControl failed. hr=0x%X\n", static_cast<unsigned>(hr));
        }
        return 0;
    }
    AxHost* host = AxHost::FromWindow(window);
    LRESULT result = 0;
    if (host && host->HandleMessage(message, wParam, lParam, result))
        return result;
    if (message == WM_NCDESTROY && host) {
        host->Detach();
        host->InternalRelease();
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool AxHost::RegisterWindowClass()
{
    if (!RegisterWindowClassOnce(ThisModule(), kWindowClass, HostWindowProc,
                                 reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1))) {
        TraceLog("AxHost::RegisterWindowClass - RegisterClassEx failed. Error %d\n",
                 static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

AxHost* AxHost::FromWindow(HWND window)
{
    return window ? static_cast<AxHost*>(GetPropA(window, kHostProperty)) : nullptr;
}

AxHost::~AxHost()
{
    m_destroying = true;
    Detach();
}

void AxHost::Attach(HWND window)
{
    if (m_window)
        RemovePropA(m_window, kHostProperty);
    m_window = window;
    if (window)
        SetPropA(window, kHostProperty, this);
}

void AxHost::Detach()
{
    ReleaseControl();
    m_uiHandler = nullptr;
    m_external = nullptr;
    if (m_window) {
        if (GetPropA(m_window, kHostProperty) == this)
            RemovePropA(m_window, kHostProperty);
        m_window = nullptr;
    }
}

HRESULT AxHost::CreateControl(const wchar_t* name, IStream* stream, IUnknown* sink, REFIID iidSink)
{
    if (!name || !*name)
        return E_INVALIDARG;
    if (!m_window)
        return E_UNEXPECTED;
    CLSID clsid;
    bool isUrl = !ClassFromName(name, clsid);
    if (isUrl)
        clsid = CLSID_WebBrowser;
    ComPtr<IUnknown> control;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, control.PutVoid());
    if (FAILED(hr))
        return hr;
    hr = Activate(control.Get(), isUrl ? name : nullptr, stream);
    if (FAILED(hr))
        return hr;
    if (sink && !IsEqualIID(iidSink, IID_NULL)) {
        hr = m_sinkAdvice.Advise(control.Get(), iidSink, sink);
        if (SUCCEEDED(hr))
            m_sink = ComPtr<IUnknown>(sink);
    }
    return hr;
}

HRESULT AxHost::AttachControl(IUnknown* control)
{
    if (!control)
        return E_POINTER;
    if (!m_window)
        return E_UNEXPECTED;
    return Activate(control, nullptr, nullptr);
}

HRESULT AxHost::Activate(IUnknown* control, const wchar_t* url, IStream* stream)
{
    ReleaseControl();
    m_control = ComPtr<IUnknown>(control);
    HRESULT hr = m_control.As(IID_IOleObject, m_oleObject);
    if (FAILED(hr)) {
        m_control = nullptr;
        return hr;
    }
    DWORD misc = 0;
    m_oleObject->GetMiscStatus(DVASPECT_CONTENT, &misc);
    IOleClientSite* site = this;
    if (misc & OLEMISC_SETCLIENTSITEFIRST)
        m_oleObject->SetClientSite(site);

    ComPtr<IPersistStreamInit> persist;
    if (SUCCEEDED(m_control.As(IID_IPersistStreamInit, persist))) {
        hr = stream ? persist->Load(stream) : persist->InitNew();
        if (FAILED(hr)) {
            ReleaseControl();
            return hr;
        }
    }
    if (!(misc & OLEMISC_SETCLIENTSITEFIRST))
        m_oleObject->SetClientSite(site);

    RECT rect;
    GetClientRect(m_window, &rect);
    if (!(misc & OLEMISC_INVISIBLEATRUNTIME)) {
        hr = m_oleObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, m_window, &rect);
        if (FAILED(hr))
            TraceLog("AxHost::Activate - DoVerb failed. hr=0x%X\n", static_cast<unsigned>(hr));
    }
    m_control.As(IID_IOleInPlaceObject, m_inPlaceObject);
    FitControl();

    if (url) {
        ComPtr<IWebBrowser2> browser;
        hr = m_control.As(IID_IWebBrowser2, browser);
        if (FAILED(hr))
            return hr;
        Bstr target(url);
        VARIANT empty;
        VariantInit(&empty);
        hr = browser->Navigate(target.Get(), &empty, &empty, &empty, &empty);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

void AxHost::ReleaseControl()
{
    if (!m_control)
        return;
    // Hold ourselves: the control's last calls into the site may come during Close.
    ComPtr<IUnknown> self;
    if (!m_destroying)
        self = ComPtr<IUnknown>(Identity());
    m_sinkAdvice.Unadvise();
    m_sink = nullptr;
    if (m_inPlaceObject) {
        if (m_uiActive)
            m_inPlaceObject->UIDeactivate();
        m_inPlaceObject->InPlaceDeactivate();
    }
    if (m_oleObject) {
        m_oleObject->Close(OLECLOSE_NOSAVE);
        m_oleObject->SetClientSite(nullptr);
    }
    m_activeObject = nullptr;
    m_windowless = nullptr;
    m_inPlaceObject = nullptr;
    m_oleObject = nullptr;
    m_control = nullptr;
    m_inPlaceActive = m_windowlessActive = m_uiActive = false;
}

HRESULT AxHost::QueryControl(REFIID iid, void** out) const
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!m_control)
        return E_FAIL;
    return m_control->QueryInterface(iid, out);
}

HRESULT AxHost::SetExternalUIHandler(IDocHostUIHandlerDispatch* handler)
{
    m_uiHandler = handler;
    return S_OK;
}

void AxHost::FitControl()
{
    if (!m_window || !m_inPlaceObject)
        return;
    RECT rect;
    GetClientRect(m_window, &rect);
    m_inPlaceObject->SetObjectRects(&rect, &rect);
    if (m_oleObject) {
        // The extent in HIMETRIC, for objects that size their view from it.
        HDC dc = ::GetDC(m_window);
        SIZEL extent = {MulDiv(rect.right - rect.left, 2540, GetDeviceCaps(dc, LOGPIXELSX)),
                        MulDiv(rect.bottom - rect.top, 2540, GetDeviceCaps(dc, LOGPIXELSY))};
        ::ReleaseDC(m_window, dc);
        m_oleObject->SetExtent(DVASPECT_CONTENT, &extent);
    }
}

bool AxHost::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_SIZE:
        FitControl();
        return false;
    case WM_SETFOCUS:
        if (m_inPlaceObject && m_oleObject && !m_windowlessActive) {
            RECT rect;
            GetClientRect(m_window, &rect);
            m_oleObject->DoVerb(OLEIVERB_UIACTIVATE, nullptr, this, 0, m_window, &rect);
        }
        return false;
    case WM_DESTROY:
        ReleaseControl();
        m_uiHandler = nullptr;
        m_external = nullptr;
        return false;
    default:
        break;
    }
    if (m_windowlessActive && m_windowless &&
        ((message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
         (message >= WM_KEYFIRST && message <= WM_KEYLAST))) {
        if (m_windowless->OnWindowMessage(message, wParam, lParam, &result) == S_OK)
            return true;
    }
    return false;
}

// --- IOleWindow, IOleClientSite ----------------------------------------------------------

STDMETHODIMP AxHost::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = m_window;
    return m_window ? S_OK : E_FAIL;
}

STDMETHODIMP AxHost::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    if (moniker)
        *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP AxHost::GetContainer(IOleContainer** container)
{
    if (!container)
        return E_POINTER;
    *container = this;
    AddRef();
    return S_OK;
}

// --- IOleInPlaceSite(Ex, Windowless) -----------------------------------------------------

STDMETHODIMP AxHost::OnInPlaceActivate()
{
    m_inPlaceActive = true;
    OleLockRunning(m_control.Get(), TRUE, FALSE);
    m_windowlessActive = false;
    m_control.As(IID_IOleInPlaceObject, m_inPlaceObject);
    return S_OK;
}

STDMETHODIMP AxHost::OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags)
{
    if (noRedraw)
        *noRedraw = FALSE;
    OnInPlaceActivate();
    if (flags & ACTIVATE_WINDOWLESS) {
        m_windowlessActive = true;
        m_control.As(IID_IOleInPlaceObjectWindowless, m_windowless);
    }
    return S_OK;
}

STDMETHODIMP AxHost::OnUIActivate()
{
    m_uiActive = true;
    return S_OK;
}

STDMETHODIMP AxHost::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                      LPRECT clip, LPOLEINPLACEFRAMEINFO info)
{
    if (!frame || !doc || !pos || !clip)
        return E_POINTER;
    *frame = this;
    AddRef();
    *doc = nullptr;
    GetClientRect(m_window, pos);
    GetClientRect(m_window, clip);
    if (info) {
        info->fMDIApp = FALSE;
        info->hwndFrame = GetAncestor(m_window, GA_ROOT);
        info->haccel = nullptr;
        info->cAccelEntries = 0;
    }
    return S_OK;
}

STDMETHODIMP AxHost::OnUIDeactivate(BOOL)
{
    m_uiActive = false;
    return S_OK;
}

STDMETHODIMP AxHost::OnInPlaceDeactivate()
{
    m_inPlaceActive = false;
    m_windowlessActive = false;
    m_windowless = nullptr;
    if (m_control)
        OleLockRunning(m_control.Get(), FALSE, FALSE);
    return S_OK;
}

STDMETHODIMP AxHost::OnPosRectChange(LPCRECT rect)
{
    if (!rect)
        return E_POINTER;
    // The control fills the window whatever it asks for.
    FitControl();
    return S_OK;
}

STDMETHODIMP AxHost::GetCapture()
{
    return m_capture ? S_OK : S_FALSE;
}

STDMETHODIMP AxHost::SetCapture(BOOL capture)
{
    m_capture = capture != FALSE;
    if (capture)
        ::SetCapture(m_window);
    else if (::GetCapture() == m_window)
        ::ReleaseCapture();
    return S_OK;
}

STDMETHODIMP AxHost::GetFocus()
{
    return m_focus ? S_OK : S_FALSE;
}

STDMETHODIMP AxHost::SetFocus(BOOL focus)
{
    m_focus = focus != FALSE;
    if (focus)
        ::SetFocus(m_window);
    return S_OK;
}

STDMETHODIMP AxHost::GetDC(LPCRECT, DWORD, HDC* dc)
{
    if (!dc)
        return E_POINTER;
    *dc = ::GetDC(m_window);
    return *dc ? S_OK : E_FAIL;
}

STDMETHODIMP AxHost::ReleaseDC(HDC dc)
{
    ::ReleaseDC(m_window, dc);
    return S_OK;
}

STDMETHODIMP AxHost::InvalidateRect(LPCRECT rect, BOOL erase)
{
    ::InvalidateRect(m_window, rect, erase);
    return S_OK;
}

STDMETHODIMP AxHost::InvalidateRgn(HRGN region, BOOL erase)
{
    ::InvalidateRgn(m_window, region, erase);
    return S_OK;
}

STDMETHODIMP AxHost::OnDefWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (!result)
        return E_POINTER;
    *result = DefWindowProcW(m_window, message, wParam, lParam);
    return S_OK;
}

// --- IOleInPlaceFrame --------------------------------------------------------------------

STDMETHODIMP AxHost::GetBorder(LPRECT border)
{
    if (!border)
        return E_POINTER;
    GetClientRect(m_window, border);
    return S_OK;
}

STDMETHODIMP AxHost::SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR)
{
    m_activeObject = ComPtr<IOleInPlaceActiveObject>(object);
    return S_OK;
}

STDMETHODIMP AxHost::EnableModeless(BOOL enable)
{
    if (m_uiHandler)
        return m_uiHandler->EnableModeless(enable ? VARIANT_TRUE : VARIANT_FALSE);
    return S_OK;
}

// --- IServiceProvider --------------------------------------------------------------------

STDMETHODIMP AxHost::QueryService(REFGUID, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return E_NOINTERFACE;
}

// --- IDocHostUIHandler -------------------------------------------------------------------

STDMETHODIMP AxHost::ShowContextMenu(DWORD id, POINT* point, IUnknown* commandTarget, IDispatch* hit)
{
    // S_FALSE lets the browser show its own menu; the handler may answer S_OK (shown, so none).
    HRESULT result = S_FALSE;
    if (m_uiHandler) {
        POINT at = point ? *point : POINT{0, 0};
        m_uiHandler->ShowContextMenu(id, static_cast<DWORD>(at.x), static_cast<DWORD>(at.y),
                                     commandTarget, hit, &result);
    }
    return result;
}

STDMETHODIMP AxHost::GetHostInfo(DOCHOSTUIINFO* info)
{
    if (!info)
        return E_POINTER;
    DWORD flags = DOCHOSTUIFLAG_NO3DBORDER;
    DWORD doubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    if (m_uiHandler) {
        DWORD askFlags = flags, askDouble = doubleClick;
        if (SUCCEEDED(m_uiHandler->GetHostInfo(&askFlags, &askDouble))) {
            flags = askFlags;
            doubleClick = askDouble;
        }
    }
    info->dwFlags = flags;
    info->dwDoubleClick = doubleClick;
    return S_OK;
}

STDMETHODIMP AxHost::ShowUI(DWORD id, IOleInPlaceActiveObject* active, IOleCommandTarget* target,
                            IOleInPlaceFrame* frame, IOleInPlaceUIWindow* doc)
{
    HRESULT result = S_FALSE;
    if (m_uiHandler)
        m_uiHandler->ShowUI(id, active, target, frame, doc, &result);
    return result;
}

STDMETHODIMP AxHost::HideUI()
{
    return m_uiHandler ? m_uiHandler->HideUI() : S_OK;
}

STDMETHODIMP AxHost::UpdateUI()
{
    return m_uiHandler ? m_uiHandler->UpdateUI() : S_OK;
}

STDMETHODIMP AxHost::OnDocWindowActivate(BOOL activate)
{
    return m_uiHandler ? m_uiHandler->OnDocWindowActivate(activate ? VARIANT_TRUE : VARIANT_FALSE) : S_OK;
}

STDMETHODIMP AxHost::OnFrameWindowActivate(BOOL activate)
{
    return m_uiHandler ? m_uiHandler->OnFrameWindowActivate(activate ? VARIANT_TRUE : VARIANT_FALSE) : S_OK;
}

STDMETHODIMP AxHost::ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow)
{
    if (!m_uiHandler || !border)
        return S_OK;
    return m_uiHandler->ResizeBorder(border->left, border->top, border->right, border->bottom, window,
                                     frameWindow ? VARIANT_TRUE : VARIANT_FALSE);
}

STDMETHODIMP AxHost::TranslateAccelerator(LPMSG msg, const GUID* group, DWORD command)
{
    HRESULT result = S_FALSE;
    if (m_uiHandler && msg) {
        Bstr groupText;
        if (group) {
            wchar_t text[40];
            StringFromGUID2(*group, text, 40);
            groupText = Bstr(text);
        }
        m_uiHandler->TranslateAccelerator(reinterpret_cast<DWORD_PTR>(msg->hwnd), msg->message,
                                          static_cast<DWORD_PTR>(msg->wParam),
                                          static_cast<DWORD_PTR>(msg->lParam), groupText.Get(), command,
                                          &result);
    }
    return result;
}

STDMETHODIMP AxHost::GetOptionKeyPath(LPOLESTR* key, DWORD dw)
{
    if (!key)
        return E_POINTER;
    *key = nullptr;
    if (!m_uiHandler)
        return E_NOTIMPL;
    Bstr path;
    HRESULT hr = m_uiHandler->GetOptionKeyPath(path.Put(), dw);
    if (FAILED(hr) || !path.Get())
        return FAILED(hr) ? hr : S_FALSE;
    // The caller frees the answer with CoTaskMemFree.
    std::size_t bytes = (path.Length() + 1) * sizeof(wchar_t);
    *key = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!*key)
        return E_OUTOFMEMORY;
    std::memcpy(*key, path.Get(), bytes);
    return S_OK;
}

STDMETHODIMP AxHost::GetDropTarget(IDropTarget* target, IDropTarget** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!m_uiHandler)
        return E_NOTIMPL;
    ComPtr<IUnknown> answer;
    HRESULT hr = m_uiHandler->GetDropTarget(target, answer.Put());
    if (FAILED(hr) || !answer)
        return FAILED(hr) ? hr : E_NOTIMPL;
    return answer->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(out));
}

STDMETHODIMP AxHost::GetExternal(IDispatch** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (m_uiHandler)
        return m_uiHandler->GetExternal(out);
    if (m_external)
        return m_external.CopyTo(out);
    return E_NOINTERFACE;
}

STDMETHODIMP AxHost::TranslateUrl(DWORD translate, LPWSTR urlIn, LPWSTR* out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!m_uiHandler)
        return S_FALSE;
    Bstr in(urlIn), translated;
    HRESULT hr = m_uiHandler->TranslateUrl(translate, in.Get(), translated.Put());
    if (hr != S_OK || !translated.Get())
        return S_FALSE;
    std::size_t bytes = (translated.Length() + 1) * sizeof(wchar_t);
    *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*out)
        return E_OUTOFMEMORY;
    std::memcpy(*out, translated.Get(), bytes);
    return S_OK;
}

STDMETHODIMP AxHost::FilterDataObject(IDataObject* data, IDataObject** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!m_uiHandler)
        return S_FALSE;
    ComPtr<IUnknown> answer;
    HRESULT hr = m_uiHandler->FilterDataObject(data, answer.Put());
    if (hr != S_OK || !answer)
        return S_FALSE;
    return answer->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(out));
}
