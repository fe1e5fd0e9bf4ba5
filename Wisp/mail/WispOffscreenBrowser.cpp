#include "Wisp/mail/WispOffscreenBrowser.h"

#include "common/HostMessages.h"
#include "common/TraceLog.h"
#include "common/WindowClass.h"
#include "common/com/Bstr.h"
#include "common/com/Strings.h"
#include "Wisp/mail/MessagePump.h"

#include <exdispid.h>

#include <cstring>

namespace {

const char kWindowClass[] = "WispOffscreenBrowserWindow";

std::string Narrow(const Bstr& text)
{
    return text.Get() ? AnsiFromWide(text.Get(), text.Length()) : std::string();
}

}  // namespace

const char CWispOffscreenBrowser::kWindowName[] = "WispOffscreenBrowser";

CWispOffscreenBrowser::CWispOffscreenBrowser() = default;

CWispOffscreenBrowser::~CWispOffscreenBrowser()
{
    Close();
    // A window that ignored the close message still goes with its owner object.
    if (m_hWnd)
        DestroyWindow(m_hWnd);
    ReleaseControl();
}

HWND CWispOffscreenBrowser::CreateWispOffscreenBrowser(const char* url)
{
    if (!url) {
        TraceLog("CWispOffscreenBrowser::CreateWispOffscreenBrowser - url is NULL.\n");
        return nullptr;
    }
    if (!m_hWnd && !CreateHostWindow())
        return nullptr;
    SetWindowLongPtrA(m_hWnd, GWL_EXSTYLE, static_cast<LONG_PTR>(kExStyle));
    SetWindowLongPtrA(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(kStyle));
    HRESULT hr = CreateControl(url);
    if (FAILED(hr)) {
        TraceLog("CWispOffscreenBrowser::CreateWispOffscreenBrowser - creating the control failed, hr=0x%X\n",
                 static_cast<unsigned>(hr));
        DestroyWindow(m_hWnd);
        return nullptr;
    }
    TraceLog("CWispOffscreenBrowser::CreateWispPopupWindow complete, m_hWnd = 0x%X\n",
             static_cast<unsigned>(reinterpret_cast<UINT_PTR>(m_hWnd)));
    EnableWindow(m_hWnd, FALSE);
    return m_hWnd;
}

bool CWispOffscreenBrowser::CreateHostWindow()
{
    HINSTANCE module = ThisModule();
    if (!RegisterWindowClassOnce(module, kWindowClass, WindowProc)) {
        TraceLog("CWispOffscreenBrowser::CreateWispOffscreenBrowser - RegisterClass failed, LastError = %d\n",
                 static_cast<int>(GetLastError()));
        return false;
    }
    HWND window = CreateWindowExA(kExStyle, kWindowClass, kWindowName, kStyle, 0, 0, kWidth, kHeight,
                                  GetDesktopWindow(), nullptr, module, this);
    if (!window) {
        TraceLog("CWispOffscreenBrowser::CreateWispOffscreenBrowser - CreateWindowEx failed, LastError = %d\n",
                 static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

HRESULT CWispOffscreenBrowser::CreateControl(const char* url)
{
    // Its pages are the providers' remote sites: no anchor and no window.external.
    NestedPageTrust trust;
    trust.external = false;
    HRESULT hr = m_page.Create(m_hWnd, "CWispOffscreenBrowser::CreateWispOffscreenBrowser - WaitForSingleObject timed out.\n",
                               trust);
    if (FAILED(hr))
        return hr;
    Bstr address = Bstr::FromAnsi(url);
    hr = m_page.Init(address.Get(), m_hWnd, nullptr);
    if (FAILED(hr))
        return hr;
    IDispatch* page = m_page.PageDispatch();
    hr = page ? page->QueryInterface(IID_IWebBrowser2, m_spBrowser.PutVoid()) : E_NOINTERFACE;
    if (FAILED(hr))
        return hr;
    ConnectEvents();
    return S_OK;
}

void CWispOffscreenBrowser::ConnectEvents()
{
    if (FAILED(m_eventsAdvice.Advise(m_spBrowser.Get(), DIID_DWebBrowserEvents2, &m_events)))
        TraceLog("CWispOffscreenBrowser::CreateWispOffscreenBrowser - connecting the browser events failed.\n");
}

void CWispOffscreenBrowser::DisconnectEvents()
{
    m_eventsAdvice.Unadvise();
}

void CWispOffscreenBrowser::ReleaseControl()
{
    DisconnectEvents();
    m_spBrowser = nullptr;
    m_page.UnInit();
    m_page.Release();
}

HRESULT CWispOffscreenBrowser::Navigate(const char* url)
{
    mDocLoadComplete = 0;
    if (!m_page.Control() || !url)
        return E_POINTER;
    Bstr address = Bstr::FromAnsi(url);
    return m_page.LoadHTML(address.Get());
}

void CWispOffscreenBrowser::DoMessageLoops(DWORD ms)
{
    TraceLog("CWispOffscreenBrowser::DoMessageLoops \n");
    PumpMessagesInSeconds(ms);
}

void CWispOffscreenBrowser::Close()
{
    DisconnectEvents();
    if (m_hWnd)
        SendMessageA(m_hWnd, WM_CLOSE, 0, 0);
}

// --- page content ---------------------------------------------------------------------------

HRESULT CWispOffscreenBrowser::getLocationName(std::string& title)
{
    title.clear();
    if (!m_spBrowser)
        return -1;
    Bstr name;
    HRESULT hr = m_spBrowser->get_LocationName(name.Put());
    if (SUCCEEDED(hr))
        title = Narrow(name);
    return hr;
}

HRESULT CWispOffscreenBrowser::getLocationUrl(std::string& url)
{
    url.clear();
    ComPtr<IHTMLDocument2> document;
    HRESULT hr = GetDocument(document);
    if (FAILED(hr))
        return hr;
    Bstr address;
    hr = document->get_URL(address.Put());
    if (SUCCEEDED(hr))
        url = Narrow(address);
    return hr;
}

HRESULT CWispOffscreenBrowser::GetDocument(ComPtr<IHTMLDocument2>& document)
{
    document = nullptr;
    if (!m_spBrowser)
        return -1;
    ComPtr<IDispatch> dispatch;
    if (FAILED(m_spBrowser->get_Document(dispatch.Put())) || !dispatch)
        return -1;
    if (FAILED(dispatch.As(IID_IHTMLDocument2, document)) || !document)
        return -1;
    return S_OK;
}

HRESULT CWispOffscreenBrowser::BodyOf(IHTMLDocument2* document, ComPtr<IHTMLElement>& body)
{
    body = nullptr;
    if (!document || FAILED(document->get_body(body.Put())) || !body)
        return -1;
    return S_OK;
}

HRESULT CWispOffscreenBrowser::getPageSource(std::string& html)
{
    TraceLog("CWispOffscreenBrowser::getPageSource \n");
    html.clear();
    ComPtr<IHTMLDocument2> document;
    ComPtr<IHTMLElement> body;
    if (FAILED(GetDocument(document)) || FAILED(BodyOf(document.Get(), body)))
        return -1;
    Bstr text;
    HRESULT hr = body->get_innerHTML(text.Put());
    if (SUCCEEDED(hr))
        html = Narrow(text);
    return hr;
}

HRESULT CWispOffscreenBrowser::getPageText(std::string& text)
{
    TraceLog("CWispOffscreenBrowser::getPageText \n");
    text.clear();
    ComPtr<IHTMLDocument2> document;
    ComPtr<IHTMLElement> body;
    if (FAILED(GetDocument(document)) || FAILED(BodyOf(document.Get(), body)))
        return -1;
    Bstr inner;
    HRESULT hr = body->get_innerText(inner.Put());
    if (SUCCEEDED(hr))
        text = Narrow(inner);
    return hr;
}

HRESULT CWispOffscreenBrowser::getFrameSource(const char* frameName, std::string& html)
{
    TraceLog("CWispOffscreenBrowser::getFrameSource \n");
    html.clear();
    ComPtr<IHTMLDocument2> document;
    if (!frameName || FAILED(GetDocument(document)))
        return -1;
    ComPtr<IHTMLFramesCollection2> frames;
    if (FAILED(document->get_frames(frames.Put())) || !frames)
        return -1;
    Bstr name = Bstr::FromAnsi(frameName);
    VARIANT index, item;
    VariantInit(&index);
    VariantInit(&item);
    index.vt = VT_BSTR;
    index.bstrVal = name.Get();
    HRESULT hr = frames->item(&index, &item);
    ComPtr<IHTMLWindow2> frame;
    if (SUCCEEDED(hr) && (item.vt == VT_DISPATCH || item.vt == VT_UNKNOWN) && item.pdispVal)
        item.pdispVal->QueryInterface(IID_IHTMLWindow2, frame.PutVoid());
    VariantClear(&item);
    ComPtr<IHTMLDocument2> frameDocument;
    ComPtr<IHTMLElement> body;
    if (!frame || FAILED(frame->get_document(frameDocument.Put())) || !frameDocument ||
        FAILED(BodyOf(frameDocument.Get(), body)))
        return -1;
    Bstr text;
    hr = body->get_innerHTML(text.Put());
    if (SUCCEEDED(hr))
        html = Narrow(text);
    return hr;
}

HRESULT CWispOffscreenBrowser::getElement(const char* name, IHTMLElement** element)
{
    TraceLog("CWispOffscreenBrowser::getElement \n");
    if (!element)
        return E_POINTER;
    *element = nullptr;
    ComPtr<IHTMLDocument2> document;
    ComPtr<IHTMLElementCollection> all;
    if (!name || FAILED(GetDocument(document)) || FAILED(document->get_all(all.Put())) || !all)
        return -1;
    Bstr key = Bstr::FromAnsi(name);
    VARIANT byName, index;
    VariantInit(&byName);
    VariantInit(&index);
    byName.vt = VT_BSTR;
    byName.bstrVal = key.Get();
    index.vt = VT_I4;
    index.lVal = 0;
    ComPtr<IDispatch> found;
    if (FAILED(all->item(byName, index, found.Put())) || !found)
        return -1;
    if (FAILED(found->QueryInterface(IID_IHTMLElement, reinterpret_cast<void**>(element))) || !*element)
        return -1;
    return S_OK;
}

HRESULT CWispOffscreenBrowser::setElementAttribute(const char* elementName, const char* attributeName,
                                                  const VARIANT& value)
{
    ComPtr<IHTMLElement> element;
    HRESULT hr = getElement(elementName, element.Put());
    if (FAILED(hr))
        return hr;
    if (!attributeName)
        return E_POINTER;
    Bstr attribute = Bstr::FromAnsi(attributeName);
    return element->setAttribute(attribute.Get(), value, 0);
}

HRESULT CWispOffscreenBrowser::setElementAttribute(const char* elementName, const char* attributeName,
                                                  const char* value)
{
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    // Converted straight into the BSTR: a wide copy on the way would be freed unwiped.
    text.bstrVal = Bstr::FromAnsi(value ? value : "", value ? std::strlen(value) : 0).Detach();
    HRESULT hr = setElementAttribute(elementName, attributeName, text);
    // The text may be a password: its copy is wiped before it goes.
    if (text.bstrVal)
        SecureZeroMemory(text.bstrVal, SysStringByteLen(text.bstrVal));
    VariantClear(&text);
    return hr;
}

// --- events and messages -------------------------------------------------------------------

void CWispOffscreenBrowser::OnDocumentComplete()
{
    TraceLog("CWispOffscreenBrowser::OnDocumentComplete \n");
    ++mDocLoadComplete;
    TraceLog("    mDocLoadComplete = %d\n", static_cast<int>(mDocLoadComplete));
}

STDMETHODIMP CWispOffscreenBrowser::Events::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                                   EXCEPINFO*, UINT*)
{
    switch (id) {
    case DISPID_TITLECHANGE:
        if (params && params->cArgs >= 1 && params->rgvarg[params->cArgs - 1].vt == VT_BSTR && m_owner->m_hWnd) {
            const std::string title = AnsiFromWide(params->rgvarg[params->cArgs - 1].bstrVal);
            SetWindowTextA(m_owner->m_hWnd, title.c_str());
        }
        return S_OK;
    case DISPID_DOCUMENTCOMPLETE:
        TraceLog("CWispOffscreenBrowser::Invoke - DISPID_DOCUMENTCOMPLETE\n");
        m_owner->OnDocumentComplete();
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

LRESULT CALLBACK CWispOffscreenBrowser::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto* self = static_cast<CWispOffscreenBrowser*>(create->lpCreateParams);
        self->m_hWnd = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<CWispOffscreenBrowser*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
        LRESULT result = DefWindowProcA(window, message, wParam, lParam);
        TraceLog("CWispOffscreenBrowser::OnFinalMessage\n");
        return result;
    }
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT CWispOffscreenBrowser::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case RM_DOCUMENT_COMPLETE:
        OnDocumentComplete();
        return 0;
    case WM_ENABLE:
        if (wParam)
            EnableWindow(m_hWnd, FALSE);
        return 0;
    case WM_SETFOCUS: {
        HWND previous = reinterpret_cast<HWND>(wParam);
        if (previous && previous != m_hWnd && IsWindow(previous))
            SetFocus(previous);
        return 0;
    }
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_DESTROY:
        ReleaseControl();
        return 0;
    default:
        break;
    }
    LRESULT result = 0;
    AxHost* container = AxHost::FromWindow(m_hWnd);
    if (container && container->HandleMessage(message, wParam, lParam, result))
        return result;
    return DefWindowProcA(m_hWnd, message, wParam, lParam);
}
