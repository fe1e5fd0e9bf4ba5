#include "TestContainer.h"

#include <exdispid.h>
#include <shlwapi.h>

namespace browser_tests {

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!done()) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

void PumpFor(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

std::wstring FixturePath(const wchar_t* file)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    path = path.substr(0, path.find_last_of(L"\\/") + 1);
    return path + L"fixtures\\browser\\" + file;
}

std::wstring FixtureUrl(const wchar_t* file)
{
    wchar_t url[2048];
    DWORD size = 2048;
    UrlCreateFromPathW(FixturePath(file).c_str(), url, &size, 0);
    return url;
}

External::External()
{
    m_members.Method(L"Record", [this](const DispArgs& args, VARIANT* result) {
        std::wstring line;
        for (UINT i = 0; i < args.Count(); ++i)
            line += (i ? L"," : L"") + args.String(i);
        calls.push_back(line);
        result->vt = VT_I4;
        result->lVal = static_cast<LONG>(calls.size());
        return S_OK;
    });
}

STDMETHODIMP EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*)
{
    Event e{id, L"", false};
    auto arg = [&](UINT fromLast) -> VARIANT* {   // natural position counted from the end
        return params && params->cArgs > fromLast ? &params->rgvarg[fromLast] : nullptr;
    };
    auto isBrowser = [&](VARIANT* v) {
        if (!v || v->vt != VT_DISPATCH || !v->pdispVal)
            return false;
        ComPtr<IUnknown> a;
        v->pdispVal->QueryInterface(IID_IUnknown, a.PutVoid());
        ComPtr<IUnknown> b;
        m_browser->QueryInterface(IID_IUnknown, b.PutVoid());
        return a.Get() == b.Get();
    };
    switch (id) {
    case DISPID_BEFORENAVIGATE2:
        if (params && params->cArgs == 7) {
            e.text = VariantToString(params->rgvarg[5].pvarVal);
            e.fromBrowser = isBrowser(&params->rgvarg[6]);
            lastHeaders = VariantToString(params->rgvarg[1].pvarVal);
            VARIANT* post = params->rgvarg[2].pvarVal;
            lastPostData.clear();
            if (post && post->vt == (VT_ARRAY | VT_UI1)) {
                char* data = nullptr;
                SafeArrayAccessData(post->parray, reinterpret_cast<void**>(&data));
                lastPostData.assign(data, data + post->parray->rgsabound[0].cElements);
                SafeArrayUnaccessData(post->parray);
            }
            if (cancelNext) {
                *params->rgvarg[0].pboolVal = VARIANT_TRUE;
                cancelNext = false;
            }
        }
        break;
    case DISPID_NAVIGATECOMPLETE2:
    case DISPID_DOCUMENTCOMPLETE:
        if (params && params->cArgs == 2) {
            e.text = VariantToString(params->rgvarg[0].pvarVal);
            e.fromBrowser = isBrowser(arg(1));
        }
        break;
    case DISPID_TITLECHANGE:
        if (params && params->cArgs == 1)
            e.text = VariantToString(&params->rgvarg[0]);
        break;
    case DISPID_NAVIGATEERROR:
        if (params && params->cArgs == 5)
            e.text = VariantToString(params->rgvarg[3].pvarVal);
        break;
    default:
        break;
    }
    events.push_back(e);
    lastThread = GetCurrentThreadId();
    return S_OK;
}

int EventSink::Count(DISPID id) const
{
    int n = 0;
    for (auto& e : events)
        n += e.id == id;
    return n;
}

bool EventSink::TopComplete() const
{
    for (auto& e : events)
        if (e.id == DISPID_DOCUMENTCOMPLETE && e.fromBrowser)
            return true;
    return false;
}

Container::Container() : external(MakeComObject<External>())
{
    window = CreateWindowExW(0, L"STATIC", L"browser test host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 640,
                             480, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

Container::~Container()
{
    if (window)
        DestroyWindow(window);
}

bool Container::Embed(std::string& error)
{
    HRESULT hr = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IWebBrowser2, browser.PutVoid());
    if (FAILED(hr)) {
        error = "CoCreateInstance(CLSID_WebBrowser) failed, hr=" + std::to_string(hr);
        return false;
    }
    ComPtr<IOleObject> ole;
    if (FAILED(browser.As(IID_IOleObject, ole))) {
        error = "no IOleObject";
        return false;
    }
    ole->SetClientSite(this);
    RECT r = {0, 0, 400, 300};
    hr = ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, window, &r);
    if (FAILED(hr)) {
        error = "DoVerb failed, hr=" + std::to_string(hr);
        return false;
    }
    sink = MakeComObject<EventSink>(browser.Get());
    ComPtr<IConnectionPointContainer> points;
    ComPtr<IConnectionPoint> point;
    if (FAILED(browser.As(IID_IConnectionPointContainer, points)) ||
        FAILED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put())) ||
        FAILED(point->Advise(static_cast<IDispatch*>(sink.Get()), &m_cookie))) {
        error = "could not connect DWebBrowserEvents2";
        return false;
    }
    return true;
}

void Container::Unembed()
{
    if (!browser)
        return;
    ComPtr<IConnectionPointContainer> points;
    ComPtr<IConnectionPoint> point;
    if (m_cookie && SUCCEEDED(browser.As(IID_IConnectionPointContainer, points)) &&
        SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put())))
        point->Unadvise(m_cookie);
    m_cookie = 0;
    ComPtr<IOleObject> ole;
    if (SUCCEEDED(browser.As(IID_IOleObject, ole))) {
        ole->Close(OLECLOSE_NOSAVE);
        ole->SetClientSite(nullptr);
    }
    browser = nullptr;
}

STDMETHODIMP Container::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                         LPOLEINPLACEFRAMEINFO info)
{
    *frame = nullptr;
    *doc = nullptr;
    GetClientRect(window, pos);
    *clip = *pos;
    info->fMDIApp = FALSE;
    info->hwndFrame = window;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

STDMETHODIMP Container::ShowContextMenu(DWORD id, POINT*, IUnknown*, IDispatch* element)
{
    menuKinds.push_back(id);
    std::wstring target;
    ComPtr<IHTMLElement> e;
    if (element && SUCCEEDED(element->QueryInterface(IID_IHTMLElement, e.PutVoid()))) {
        Bstr text;
        e->get_id(text.Put());
        target = text.Get() ? text.Get() : L"";
    }
    menuTargets.push_back(target);
    return id == 2 ? E_NOTIMPL : S_OK;
}

STDMETHODIMP Container::GetExternal(IDispatch** out)
{
    if (!out)
        return E_POINTER;
    *out = external.Get();
    (*out)->AddRef();
    return S_OK;
}

}  // namespace browser_tests
