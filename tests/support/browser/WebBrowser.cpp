#include "WebBrowser.h"

#include "HtmlTree.h"
#include "PagePainting.h"
#include "Url.h"

#include "common/ModuleThread.h"
#include "common/WindowClass.h"
#include "common/com/Bstr.h"
#include "common/com/Variant.h"

#include <exdispid.h>
#include <ocidl.h>
#include <olectl.h>
#include <oleacc.h>
#include <mshtml.h>

namespace standin {

namespace {

const UINT kRunQueue = WM_APP + 1;
const UINT kLoaded = WM_APP + 2;
const int kMaxFrameDepth = 4;
const IID kLibidShDocVw = {0xeab22ac0, 0x30c1, 0x11cf, {0xa7, 0xeb, 0x00, 0x00, 0xc0, 0x5b, 0xae, 0x0b}};
const wchar_t kMessageClass[] = L"WispBrowserStandInMessages";
const wchar_t kEmbeddingClass[] = L"Shell Embedding";
const wchar_t kViewClass[] = L"Shell DocObject View";
const wchar_t kServerClass[] = L"Internet Explorer_Server";
const wchar_t kFrameClass[] = L"IEFrame";

LRESULT CALLBACK MessageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* browser = reinterpret_cast<WebBrowser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (browser && (message == kRunQueue || message == kLoaded || message == WM_TIMER)) {
        return browser->OnMessage(message, wParam, lParam);
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK ViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The innermost view ("Internet Explorer_Server") knows its browser and shows the page.
    auto* browser = reinterpret_cast<WebBrowser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    static const UINT getObject = RegisterWindowMessageW(L"WM_HTML_GETOBJECT");
    if (message == getObject) {
        // It hands out its page as Internet Explorer's does, for accessibility clients:
        // marshalled through LresultFromObject.
        IUnknown* document = browser ? browser->DocumentObject() : nullptr;
        return document ? LresultFromObject(IID_IHTMLDocument2, wParam, document) : 0;
    }
    switch (message) {
    case WM_PAINT:
        if (browser) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT client;
            GetClientRect(hwnd, &client);
            browser->Paint(dc, client);
            EndPaint(hwnd, &ps);
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_SIZE:
        if (HWND child = GetWindow(hwnd, GW_CHILD))
            MoveWindow(child, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        return 1;
    }
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void RegisterClasses()
{
    static bool done = false;
    if (done)
        return;
    WNDCLASSW wc = {};
    wc.hInstance = ThisModule();
    wc.lpfnWndProc = MessageProc;
    wc.lpszClassName = kMessageClass;
    RegisterClassW(&wc);
    wc.lpfnWndProc = ViewProc;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    for (const wchar_t* name : {kEmbeddingClass, kViewClass, kServerClass}) {
        wc.lpszClassName = name;
        RegisterClassW(&wc);
    }
    done = true;
}

const VARIANT* Deref(const VARIANT* v)
{
    while (v && v->vt == (VT_BYREF | VT_VARIANT))
        v = v->pvarVal;
    return v;
}

std::string BytesOf(const VARIANT* v)
{
    v = Deref(v);
    if (!v || !(v->vt & VT_ARRAY))
        return {};
    SAFEARRAY* array = (v->vt & VT_BYREF) ? (v->pparray ? *v->pparray : nullptr) : v->parray;
    if (!array || SafeArrayGetDim(array) != 1)
        return {};
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    if (upper < lower)
        return {};
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data)))
        return {};
    std::string bytes(static_cast<const char*>(data), static_cast<std::size_t>(upper - lower + 1));
    SafeArrayUnaccessData(array);
    return bytes;
}

}  // namespace

// ---- Connection point ------------------------------------------------------------------------

class EventSource : public ComObject<EventSource>, public IConnectionPoint {
public:
    WISP_COM_INTERFACES(EventSource, WISP_COM_ENTRY(IConnectionPoint))
    WISP_IUNKNOWN_FORWARD()

    explicit EventSource(IConnectionPointContainer* owner) : m_owner(owner) {}
    void Detach() { m_owner = nullptr; }

    STDMETHODIMP GetConnectionInterface(IID* iid) override
    {
        if (!iid)
            return E_POINTER;
        *iid = DIID_DWebBrowserEvents2;
        return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override
    {
        if (!out)
            return E_POINTER;
        *out = m_owner;
        if (!m_owner)
            return E_UNEXPECTED;
        m_owner->AddRef();
        return S_OK;
    }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override
    {
        if (!sink || !cookie)
            return E_POINTER;
        *cookie = 0;
        // Tests of a container whose connection is refused set this in their process.
        if (GetEnvironmentVariableA("WISP_STANDIN_REFUSE_ADVISE", nullptr, 0) != 0)
            return CONNECT_E_ADVISELIMIT;
        ComPtr<IDispatch> dispatch;
        if (FAILED(sink->QueryInterface(DIID_DWebBrowserEvents2, dispatch.PutVoid())) &&
            FAILED(sink->QueryInterface(IID_IDispatch, dispatch.PutVoid())))
            return CONNECT_E_CANNOTCONNECT;
        *cookie = ++m_next;
        m_sinks.emplace_back(*cookie, dispatch);
        return S_OK;
    }
    STDMETHODIMP Unadvise(DWORD cookie) override
    {
        for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it)
            if (it->first == cookie) {
                m_sinks.erase(it);
                return S_OK;
            }
        return CONNECT_E_NOCONNECTION;
    }
    STDMETHODIMP EnumConnections(IEnumConnections** e) override
    {
        if (e)
            *e = nullptr;
        return E_NOTIMPL;
    }

    void Fire(DISPID id, DISPPARAMS* params)
    {
        auto sinks = m_sinks;   // a sink may unadvise while it is called
        for (auto& s : sinks)
            s.second->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params, nullptr, nullptr, nullptr);
    }

private:
    IConnectionPointContainer* m_owner;
    DWORD m_next = 0;
    std::vector<std::pair<DWORD, ComPtr<IDispatch>>> m_sinks;
};

// ---- Loading ---------------------------------------------------------------------------------

struct LoadedPage {
    FetchResult result;
    NodePtr root;
    std::map<std::wstring, std::wstring> scripts;   // resolved src -> code
    std::vector<std::pair<NodePtr, std::unique_ptr<LoadedPage>>> frames;
};

struct LoadJob {
    LONG id;
    std::vector<std::size_t> framePath;
    bool refresh;
    bool history;
    std::unique_ptr<LoadedPage> page;
};

namespace {

std::wstring ErrorPage(const std::wstring& url, const std::wstring& reason)
{
    return L"<html><head><title>Navigation Canceled</title></head><body><h1>Navigation to the webpage was "
           L"canceled</h1><p>" + EscapeText(url) + L"</p><p>" + EscapeText(reason) + L"</p></body></html>";
}

// On the loading thread: the page, its script files and its frames, recursively.
std::unique_ptr<LoadedPage> LoadPage(const FetchRequest& request, int depth)
{
    auto page = std::make_unique<LoadedPage>();
    page->result = Fetch(request);
    if (!page->result.ok) {
        page->result.finalUrl = request.url;
        page->root = ParseDocument(ErrorPage(request.url, page->result.error));
        return page;
    }
    page->root = ParseDocument(page->result.text);
    const std::wstring& base = page->result.finalUrl;
    for (const NodePtr& script : FindElements(*page->root, [](const Node& n) { return n.Is(L"script"); })) {
        const std::wstring* src = script->Attribute(L"src");
        if (!src)
            continue;
        FetchRequest sub;
        sub.url = ResolveUrl(base, *src);
        sub.noCache = request.noCache;
        FetchResult code = Fetch(sub);
        if (code.ok && code.status < 400)
            page->scripts[sub.url] = code.text;
    }
    if (depth >= kMaxFrameDepth)
        return page;
    for (const NodePtr& frame : FindElements(*page->root, [](const Node& n) { return n.Is(L"frame") || n.Is(L"iframe"); })) {
        FetchRequest sub;
        std::wstring src = frame->AttributeOr(L"src");
        sub.url = src.empty() ? L"about:blank" : ResolveUrl(base, src);
        sub.noCache = request.noCache;
        page->frames.emplace_back(frame, LoadPage(sub, depth + 1));
    }
    return page;
}

struct LoadWork {
    LoadJob* job;
    HWND window;
    FetchRequest request;
};

DWORD RunLoadWork(void* parameter)
{
    std::unique_ptr<LoadWork> work(static_cast<LoadWork*>(parameter));
    work->job->page = LoadPage(work->request, 0);
    if (!PostMessageW(work->window, kLoaded, 0, reinterpret_cast<LPARAM>(work->job)))
        delete work->job;
    work.reset();
    ModuleLock::Unlock();
    return 0;
}

}  // namespace

// ---- The browser -----------------------------------------------------------------------------

WebBrowser::WebBrowser()
{
    VariantInit(&m_barClsid);
    VariantInit(&m_barShow);
    VariantInit(&m_barSize);
    RegisterClasses();
    m_messageWindow = CreateWindowExW(0, kMessageClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), this);
    m_events = MakeComObject<EventSource>(static_cast<IConnectionPointContainer*>(this));
    ComPtr<ITypeLib> library;
    if (SUCCEEDED(LoadRegTypeLib(kLibidShDocVw, 1, 1, LOCALE_NEUTRAL, library.Put())))
        library->GetTypeInfoOfGuid(IID_IWebBrowser2, m_typeInfo.Put());
}

WebBrowser::~WebBrowser()
{
    if (m_doc)
        m_doc->Teardown();
    m_doc = nullptr;
    m_events->Detach();
    DestroyViewWindows();
    if (m_messageWindow) {
        MSG msg;
        // A filtered PeekMessage still takes WM_QUIT off the queue: it goes back for the host's loop.
        bool quit = false;
        int quitCode = 0;
        while (PeekMessageW(&msg, m_messageWindow, kLoaded, kLoaded, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = static_cast<int>(msg.wParam);
                continue;
            }
            delete reinterpret_cast<LoadJob*>(msg.lParam);
        }
        if (quit)
            PostQuitMessage(quitCode);
        for (auto& t : m_timers)
            KillTimer(m_messageWindow, t.first);
        DestroyWindow(m_messageWindow);
    }
    for (auto& p : m_properties)
        VariantClear(&p.second);
    VariantClear(&m_barClsid);
    VariantClear(&m_barShow);
    VariantClear(&m_barSize);
}

LRESULT WebBrowser::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    ComPtr<WebBrowser> keep(this);
    if (message == kRunQueue) {
        RunQueued();
    } else if (message == kLoaded) {
        Loaded(reinterpret_cast<LoadJob*>(lParam));
    } else if (message == WM_TIMER) {
        KillTimer(m_messageWindow, wParam);
        auto found = m_timers.find(wParam);
        if (found != m_timers.end()) {
            std::function<void()> action = std::move(found->second);
            m_timers.erase(found);
            action();
        }
    }
    return 0;
}

void WebBrowser::Queue(std::function<void()> action)
{
    m_queue.push_back(std::move(action));
    PostMessageW(m_messageWindow, kRunQueue, 0, 0);
}

void WebBrowser::RunQueued()
{
    if (m_queue.empty())
        return;
    std::function<void()> action = std::move(m_queue.front());
    m_queue.pop_front();
    action();
}

void WebBrowser::SetState(READYSTATE state, bool busy)
{
    m_readyState = state;
    m_busy = busy;
}

HRESULT WebBrowser::Start(Navigation navigation)
{
    if (navigation.request.url.empty())
        return E_INVALIDARG;
    LONG id = ++m_navId;
    ++m_requests;
    m_lastRequest = navigation.request;
    if (navigation.framePath.empty())
        SetState(READYSTATE_LOADING, true);
    else
        m_busy = true;
    Queue([this, id, navigation] { Begin(id, navigation); });
    return S_OK;
}

IDispatch* WebBrowser::TargetOf(Document* doc)
{
    if (!doc || !doc->Parent())
        return static_cast<IWebBrowser2*>(this);
    return static_cast<IHTMLWindow2*>(doc->WindowObject());
}

void WebBrowser::Begin(LONG id, Navigation navigation)
{
    if (id != m_navId)
        return;
    IDispatch* target = navigation.framePath.empty() ? static_cast<IWebBrowser2*>(this)
                                                     : TargetOf(FrameDocument(navigation.framePath));
    if (!target)
        return;
    ComPtr<IDispatch> keepTarget(target);
    if (!navigation.refresh && !FireBeforeNavigate(target, navigation)) {
        if (id == m_navId)
            SetState(m_doc ? READYSTATE_COMPLETE : READYSTATE_UNINITIALIZED, false);
        return;
    }
    if (id != m_navId)
        return;
    std::vector<VARIANT> none;
    Fire(DISPID_DOWNLOADBEGIN, none);
    auto* job = new LoadJob{id, navigation.framePath, navigation.refresh, navigation.history, nullptr};
    // The loading thread holds the library itself (its last instructions run after the lock is
    // given up), so a host that frees unused libraries cannot unmap code under it.
    auto* work = new LoadWork{job, m_messageWindow, navigation.request};
    ModuleLock::Lock();
    if (HANDLE thread = StartModuleThread(RunLoadWork, work)) {
        CloseHandle(thread);
    } else {
        ModuleLock::Unlock();
        delete work;
        delete job;
    }
}

ComPtr<Document> WebBrowser::Build(LoadedPage& page, Document* parent, const std::wstring& frameName)
{
    ComPtr<Document> doc = MakeComObject<Document>(this, parent, page.result.finalUrl, page.root, frameName);
    for (auto& frame : page.frames) {
        std::wstring name = frame.first->AttributeOr(L"name", frame.first->AttributeOr(L"id"));
        doc->AddFrame(frame.first, Build(*frame.second, doc.Get(), name));
    }
    return doc;
}

void WebBrowser::Loaded(LoadJob* raw)
{
    std::unique_ptr<LoadJob> job(raw);
    if (!job || job->id != m_navId || !job->page)
        return;
    std::shared_ptr<LoadedPage> page(std::move(job->page));
    const FetchResult& result = page->result;
    bool failed = !result.ok || result.status >= 400;
    LONG id = job->id;

    if (job->framePath.empty()) {
        ComPtr<Document> doc = Build(*page, nullptr, L"");
        if (failed)
            FireNavigateError(static_cast<IWebBrowser2*>(this), result.finalUrl, result.ok ? result.status : 0);
        if (id != m_navId) {
            doc->Teardown();
            return;
        }
        ComPtr<Document> old = std::move(m_doc);
        m_doc = doc;
        if (old)
            old->Teardown();
        if (job->history && !job->refresh) {
            if (!m_history.empty())
                m_history.resize(m_historyIndex + 1);
            m_history.push_back(result.finalUrl);
            m_historyIndex = m_history.size() - 1;
        }
        m_readyState = READYSTATE_INTERACTIVE;
        QueuePageEvents(id, doc, page, static_cast<IWebBrowser2*>(this), job->refresh, true);
        return;
    }

    // A frame's own navigation: its slot in the parent gets the new document.
    std::vector<std::size_t> parentPath(job->framePath.begin(), job->framePath.end() - 1);
    Document* parent = FrameDocument(parentPath);
    std::size_t slot = job->framePath.back();
    if (!parent || slot >= parent->Frames().size()) {
        m_busy = false;
        return;
    }
    Document::Frame& frame = parent->Frames()[slot];
    std::wstring name = frame.element->AttributeOr(L"name", frame.element->AttributeOr(L"id"));
    ComPtr<Document> doc = Build(*page, parent, name);
    if (failed)
        FireNavigateError(TargetOf(frame.doc.Get()), result.finalUrl, result.ok ? result.status : 0);
    if (id != m_navId || parent->Frames().size() <= slot) {
        doc->Teardown();
        return;
    }
    ComPtr<Document> old = std::move(parent->Frames()[slot].doc);
    parent->Frames()[slot].doc = doc;
    if (old)
        old->Teardown();
    QueuePageEvents(id, doc, page, TargetOf(doc.Get()), job->refresh, false);
}

void WebBrowser::QueuePageEvents(LONG id, const ComPtr<Document>& doc, std::shared_ptr<LoadedPage> page,
                                 IDispatch* target, bool refresh, bool top)
{
    ComPtr<IDispatch> keepTarget(target);
    if (!refresh)
        Queue([this, id, doc, keepTarget] {
            if (id == m_navId)
                FireUrlEvent(DISPID_NAVIGATECOMPLETE2, keepTarget.Get(), doc->Url());
        });
    Queue([this, id, doc, page] {
        if (id != m_navId)
            return;
        std::function<void(Document*, LoadedPage&)> run = [&](Document* d, LoadedPage& p) {
            d->RunScripts(p.scripts);
            for (std::size_t i = 0; i < p.frames.size() && i < d->Frames().size(); ++i)
                if (d->Frames()[i].doc)
                    run(d->Frames()[i].doc.Get(), *p.frames[i].second);
            d->RunLoadHandlers();
        };
        run(doc.Get(), *page);
    });
    if (top)
        Queue([this, id, doc] {
            if (id == m_navId && doc.Get() == m_doc.Get())
                FireTitle(doc->Title().empty() ? doc->Url() : doc->Title());
        });
    // Frames complete first, innermost first, in document order.
    std::vector<ComPtr<Document>> frames;
    std::function<void(Document*)> collect = [&](Document* d) {
        for (auto& f : d->Frames())
            if (f.doc) {
                collect(f.doc.Get());
                frames.push_back(f.doc);
            }
    };
    collect(doc.Get());
    for (auto& f : frames)
        Queue([this, id, f] {
            if (id == m_navId && f->Alive())
                FireUrlEvent(DISPID_DOCUMENTCOMPLETE, TargetOf(f.Get()), f->Url());
        });
    Queue([this, id, doc, keepTarget, top] {
        if (id != m_navId || !doc->Alive())
            return;
        std::vector<VARIANT> none;
        Fire(DISPID_DOWNLOADCOMPLETE, none);
        if (id != m_navId)
            return;
        if (top)
            SetState(READYSTATE_COMPLETE, false);
        else
            m_busy = false;
        if (m_server)
            InvalidateRect(m_server, nullptr, TRUE);
        FireUrlEvent(DISPID_DOCUMENTCOMPLETE, keepTarget.Get(), doc->Url());
    });
}

Document* WebBrowser::FrameDocument(const std::vector<std::size_t>& path)
{
    Document* d = m_doc.Get();
    for (std::size_t index : path) {
        if (!d || index >= d->Frames().size())
            return nullptr;
        d = d->Frames()[index].doc.Get();
    }
    return d;
}

Document* WebBrowser::DocumentFor(LPCWSTR frame)
{
    if (!m_doc)
        return nullptr;
    if (!frame || !*frame)
        return m_doc.Get();
    for (auto& f : m_doc->Frames())
        if (f.doc && _wcsicmp(f.doc->FrameName().c_str(), frame) == 0)
            return f.doc.Get();
    return nullptr;
}

// ---- Events ----------------------------------------------------------------------------------

void WebBrowser::Fire(DISPID id, std::vector<VARIANT>& argsInOrder)
{
    std::vector<VARIANT> reversed(argsInOrder.rbegin(), argsInOrder.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                         static_cast<UINT>(reversed.size()), 0};
    ComPtr<EventSource> events = m_events;
    events->Fire(id, &params);
}

void WebBrowser::FireUrlEvent(DISPID id, IDispatch* target, const std::wstring& url)
{
    Variant urlValue = Variant::FromBstr(SysAllocString(url.c_str()));
    std::vector<VARIANT> args(2);
    args[0].vt = VT_DISPATCH;
    args[0].pdispVal = target;
    args[1].vt = VT_BYREF | VT_VARIANT;
    args[1].pvarVal = urlValue.Get();
    Fire(id, args);
}

bool WebBrowser::FireBeforeNavigate(IDispatch* target, const Navigation& navigation)
{
    Variant url = Variant::FromBstr(SysAllocString(navigation.request.url.c_str()));
    Variant flags = Variant::FromInt(0);
    Variant frame = Variant::FromBstr(SysAllocString(L""));
    Variant post;
    if (!navigation.request.body.empty()) {
        SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(navigation.request.body.size()));
        if (array) {
            void* data = nullptr;
            SafeArrayAccessData(array, &data);
            memcpy(data, navigation.request.body.data(), navigation.request.body.size());
            SafeArrayUnaccessData(array);
            post.Get()->vt = VT_ARRAY | VT_UI1;
            post.Get()->parray = array;
        }
    }
    Variant headers = Variant::FromBstr(SysAllocString(navigation.request.headers.c_str()));
    VARIANT_BOOL cancel = VARIANT_FALSE;
    std::vector<VARIANT> args(7);
    args[0].vt = VT_DISPATCH;
    args[0].pdispVal = target;
    VARIANT* refs[] = {url.Get(), flags.Get(), frame.Get(), post.Get(), headers.Get()};
    for (int i = 0; i < 5; ++i) {
        args[i + 1].vt = VT_BYREF | VT_VARIANT;
        args[i + 1].pvarVal = refs[i];
    }
    args[6].vt = VT_BYREF | VT_BOOL;
    args[6].pboolVal = &cancel;
    Fire(DISPID_BEFORENAVIGATE2, args);
    return cancel == VARIANT_FALSE;
}

void WebBrowser::FireNavigateError(IDispatch* target, const std::wstring& url, DWORD status)
{
    Variant urlValue = Variant::FromBstr(SysAllocString(url.c_str()));
    Variant frame = Variant::FromBstr(SysAllocString(L""));
    // Without an HTTP status, the failure to reach the resource (INET_E_RESOURCE_NOT_FOUND).
    Variant code = Variant::FromInt(status ? static_cast<LONG>(status) : static_cast<LONG>(0x800C0005));
    VARIANT_BOOL cancel = VARIANT_FALSE;
    std::vector<VARIANT> args(5);
    args[0].vt = VT_DISPATCH;
    args[0].pdispVal = target;
    VARIANT* refs[] = {urlValue.Get(), frame.Get(), code.Get()};
    for (int i = 0; i < 3; ++i) {
        args[i + 1].vt = VT_BYREF | VT_VARIANT;
        args[i + 1].pvarVal = refs[i];
    }
    args[4].vt = VT_BYREF | VT_BOOL;
    args[4].pboolVal = &cancel;
    Fire(DISPID_NAVIGATEERROR, args);
}

void WebBrowser::FireTitle(const std::wstring& title)
{
    std::vector<VARIANT> args(1);
    args[0].vt = VT_BSTR;
    args[0].bstrVal = SysAllocString(title.c_str());
    Fire(DISPID_TITLECHANGE, args);
    SysFreeString(args[0].bstrVal);
}

// ---- PageHost --------------------------------------------------------------------------------

ComPtr<IDocHostUIHandler> WebBrowser::UiHandler()
{
    ComPtr<IDocHostUIHandler> handler;
    if (!m_site)
        return handler;
    if (SUCCEEDED(m_site->QueryInterface(IID_IDocHostUIHandler, handler.PutVoid())) && handler)
        return handler;
    ComPtr<IServiceProvider> services;
    if (SUCCEEDED(m_site->QueryInterface(IID_IServiceProvider, services.PutVoid())) && services)
        services->QueryService(IID_IDocHostUIHandler, IID_IDocHostUIHandler, handler.PutVoid());
    return handler;
}

ComPtr<IDispatch> WebBrowser::External()
{
    ComPtr<IDispatch> external;
    if (ComPtr<IDocHostUIHandler> handler = UiHandler())
        if (FAILED(handler->GetExternal(external.Put())))
            external = nullptr;
    return external;
}

void WebBrowser::Alert(const std::wstring& text)
{
    m_alerts.push_back(text);
}

void WebBrowser::ScriptError(const std::wstring& text)
{
    m_scriptErrors.push_back(text);
    OutputDebugStringW((L"browser stand-in script error: " + text + L"\n").c_str());
}

HRESULT WebBrowser::NavigateFrom(Document& doc, const std::wstring& url, const std::wstring& method,
                                 const std::string& body)
{
    Navigation navigation;
    navigation.request.url = NormalizeUrl(url);
    navigation.request.method = method;
    navigation.request.body = body;
    if (!body.empty())
        navigation.request.headers = L"Content-Type: application/x-www-form-urlencoded\r\n";
    // Where the document sits: the top, or a path of frame slots down from it.
    for (Document* d = &doc; d->Parent(); d = d->Parent()) {
        auto& frames = d->Parent()->Frames();
        std::size_t i = 0;
        while (i < frames.size() && frames[i].doc.Get() != d)
            ++i;
        if (i == frames.size())
            return E_FAIL;
        navigation.framePath.insert(navigation.framePath.begin(), i);
    }
    if (doc.Top() != m_doc.Get())
        return E_FAIL;
    return Start(std::move(navigation));
}

void WebBrowser::TitleChanged(Document& doc)
{
    if (&doc != m_doc.Get())
        return;
    ComPtr<Document> keep(&doc);
    Queue([this, keep] {
        if (keep.Get() == m_doc.Get())
            FireTitle(keep->Title());
    });
}

UINT_PTR WebBrowser::SetTimeout(std::function<void()> action, UINT milliseconds)
{
    UINT_PTR id = m_nextTimer++;
    m_timers[id] = std::move(action);
    SetTimer(m_messageWindow, id, milliseconds ? milliseconds : 1, nullptr);
    return id;
}

void WebBrowser::ClearTimeout(UINT_PTR id)
{
    KillTimer(m_messageWindow, id);
    m_timers.erase(id);
}

HWND WebBrowser::Window()
{
    return m_server ? m_server : m_messageWindow;
}

// ---- IDispatch -------------------------------------------------------------------------------

STDMETHODIMP WebBrowser::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = m_typeInfo ? 1 : 0;
    return S_OK;
}

STDMETHODIMP WebBrowser::GetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0 || !m_typeInfo)
        return DISP_E_BADINDEX;
    return m_typeInfo.CopyTo(info);
}

STDMETHODIMP WebBrowser::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (!m_typeInfo)
        return E_NOTIMPL;
    return DispGetIDsOfNames(m_typeInfo.Get(), names, count, ids);
}

STDMETHODIMP WebBrowser::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                EXCEPINFO* excep, UINT* argErr)
{
    if (!m_typeInfo)
        return E_NOTIMPL;
    return DispInvoke(static_cast<IWebBrowser2*>(this), m_typeInfo.Get(), id, flags, params, result, excep, argErr);
}

// ---- IWebBrowser2 ----------------------------------------------------------------------------

STDMETHODIMP WebBrowser::GoBack()
{
    if (m_historyIndex == 0 || m_history.empty())
        return E_FAIL;
    Navigation n;
    n.request.url = m_history[--m_historyIndex];
    n.history = false;
    return Start(n);
}

STDMETHODIMP WebBrowser::GoForward()
{
    if (m_historyIndex + 1 >= m_history.size())
        return E_FAIL;
    Navigation n;
    n.request.url = m_history[++m_historyIndex];
    n.history = false;
    return Start(n);
}

STDMETHODIMP WebBrowser::Navigate(BSTR url, VARIANT* flags, VARIANT* target, VARIANT* postData, VARIANT* headers)
{
    Variant u = Variant::FromBstr(SysAllocString(url ? url : L""));
    return Navigate2(u.Get(), flags, target, postData, headers);
}

STDMETHODIMP WebBrowser::Navigate2(VARIANT* url, VARIANT* flags, VARIANT* target, VARIANT* postData, VARIANT* headers)
{
    std::wstring address = VariantToString(Deref(url));
    if (address.empty())
        return E_INVALIDARG;
    LONG navFlags = 0;
    if (const VARIANT* f = Deref(flags))
        if (f->vt != VT_EMPTY && f->vt != VT_ERROR) {
            Variant converted;
            if (SUCCEEDED(VariantChangeType(converted.Get(), const_cast<VARIANT*>(f), 0, VT_I4)))
                navFlags = converted.Get()->lVal;
        }
    if (navFlags & navOpenInNewWindow)
        return E_NOTIMPL;   // the stand-in has no second window to open
    Navigation n;
    n.request.url = NormalizeUrl(address);
    n.request.noCache = (navFlags & (navNoReadFromCache | navNoWriteToCache)) != 0;
    n.history = !(navFlags & navNoHistory);
    n.request.body = BytesOf(postData);
    if (!n.request.body.empty())
        n.request.method = L"POST";
    n.request.headers = VariantToString(Deref(headers));
    std::wstring frame = VariantToString(Deref(target));
    if (!frame.empty() && frame != L"_self" && frame != L"_top") {
        Document* d = DocumentFor(frame.c_str());
        if (!d || d == m_doc.Get())
            return E_INVALIDARG;
        auto& frames = m_doc->Frames();
        for (std::size_t i = 0; i < frames.size(); ++i)
            if (frames[i].doc.Get() == d)
                n.framePath.push_back(i);
    }
    return Start(n);
}

STDMETHODIMP WebBrowser::Refresh()
{
    Variant level = Variant::FromInt(REFRESH_NORMAL);
    return Refresh2(level.Get());
}

STDMETHODIMP WebBrowser::Refresh2(VARIANT* level)
{
    if (!m_doc)
        return E_FAIL;
    LONG value = REFRESH_NORMAL;
    if (const VARIANT* l = Deref(level)) {
        Variant converted;
        if (SUCCEEDED(VariantChangeType(converted.Get(), const_cast<VARIANT*>(l), 0, VT_I4)))
            value = converted.Get()->lVal;
    }
    Navigation n;
    n.request.url = m_doc->Url();
    n.request.noCache = value == REFRESH_COMPLETELY;
    n.refresh = true;
    return Start(n);
}

STDMETHODIMP WebBrowser::Stop()
{
    ++m_navId;
    SetState(m_doc ? READYSTATE_COMPLETE : READYSTATE_UNINITIALIZED, false);
    return S_OK;
}

STDMETHODIMP WebBrowser::get_Application(IDispatch** p)
{
    if (!p)
        return E_POINTER;
    *p = static_cast<IWebBrowser2*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP WebBrowser::get_Parent(IDispatch** p)
{
    return get_Application(p);
}

STDMETHODIMP WebBrowser::get_Container(IDispatch** p)
{
    if (!p)
        return E_POINTER;
    *p = nullptr;
    return S_OK;
}

STDMETHODIMP WebBrowser::get_Document(IDispatch** p)
{
    if (!p)
        return E_POINTER;
    *p = m_doc ? static_cast<IHTMLDocument2*>(m_doc.Get()) : nullptr;
    if (*p)
        (*p)->AddRef();
    return S_OK;
}

STDMETHODIMP WebBrowser::get_TopLevelContainer(VARIANT_BOOL* p)
{
    if (!p)
        return E_POINTER;
    *p = VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP WebBrowser::get_Type(BSTR* p)
{
    return ReturnString(m_doc ? L"HTML Document" : L"", p);
}

STDMETHODIMP WebBrowser::get_LocationName(BSTR* p)
{
    if (!m_doc)
        return ReturnString(L"", p);
    return ReturnString(m_doc->Title().empty() ? m_doc->Url() : m_doc->Title(), p);
}

STDMETHODIMP WebBrowser::get_LocationURL(BSTR* p)
{
    return ReturnString(m_doc ? m_doc->Url() : std::wstring(), p);
}

STDMETHODIMP WebBrowser::get_Busy(VARIANT_BOOL* p)
{
    if (!p)
        return E_POINTER;
    *p = m_busy ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP WebBrowser::PutProperty(BSTR name, VARIANT value)
{
    VARIANT& slot = m_properties[FromBstr(name)];
    if (slot.vt == 0)
        VariantInit(&slot);
    return VariantCopy(&slot, &value);
}

STDMETHODIMP WebBrowser::GetProperty(BSTR name, VARIANT* value)
{
    if (!value)
        return E_POINTER;
    VariantInit(value);
    auto found = m_properties.find(FromBstr(name));
    return found == m_properties.end() ? S_OK : VariantCopy(value, &found->second);
}

STDMETHODIMP WebBrowser::get_Name(BSTR* p)
{
    return ReturnString(L"Microsoft Web Browser Control", p);
}

STDMETHODIMP WebBrowser::get_HWND(SHANDLE_PTR* p)
{
    if (!p)
        return E_POINTER;
    *p = reinterpret_cast<SHANDLE_PTR>(m_view && m_frame ? m_frame : m_view);
    return m_view ? S_OK : E_FAIL;
}

STDMETHODIMP WebBrowser::get_FullName(BSTR* p)
{
    return ReturnString(L"C:\\Program Files\\Internet Explorer\\iexplore.exe", p);
}

STDMETHODIMP WebBrowser::get_Path(BSTR* p)
{
    return ReturnString(L"C:\\Program Files\\Internet Explorer\\", p);
}

#define WISP_BOOL_PROPERTY(Name, member)                           \
    STDMETHODIMP WebBrowser::get_##Name(VARIANT_BOOL* p)           \
    {                                                              \
        if (!p)                                                    \
            return E_POINTER;                                      \
        *p = member ? VARIANT_TRUE : VARIANT_FALSE;                \
        return S_OK;                                               \
    }                                                              \
    STDMETHODIMP WebBrowser::put_##Name(VARIANT_BOOL v)            \
    {                                                              \
        member = v != VARIANT_FALSE;                               \
        return S_OK;                                               \
    }
WISP_BOOL_PROPERTY(Visible, m_visible)
WISP_BOOL_PROPERTY(Offline, m_offline)
WISP_BOOL_PROPERTY(Silent, m_silent)
WISP_BOOL_PROPERTY(RegisterAsBrowser, m_registerAsBrowser)
WISP_BOOL_PROPERTY(RegisterAsDropTarget, m_dropTarget)
#undef WISP_BOOL_PROPERTY

STDMETHODIMP WebBrowser::ShowBrowserBar(VARIANT* clsid, VARIANT* show, VARIANT* size)
{
    VariantClear(&m_barClsid);
    VariantClear(&m_barShow);
    VariantClear(&m_barSize);
    if (clsid)
        VariantCopyInd(&m_barClsid, clsid);
    if (show)
        VariantCopyInd(&m_barShow, show);
    if (size)
        VariantCopyInd(&m_barSize, size);
    ++m_barCalls;
    return S_OK;
}

STDMETHODIMP WebBrowser::get_ReadyState(READYSTATE* p)
{
    if (!p)
        return E_POINTER;
    *p = m_readyState;
    return S_OK;
}

// ---- IOleObject ------------------------------------------------------------------------------

STDMETHODIMP WebBrowser::SetClientSite(IOleClientSite* site)
{
    m_site = ComPtr<IOleClientSite>(site);
    if (ComPtr<IDocHostUIHandler> handler = UiHandler()) {
        DOCHOSTUIINFO info = {};
        info.cbSize = sizeof info;
        handler->GetHostInfo(&info);
        CoTaskMemFree(info.pchHostCss);
        CoTaskMemFree(info.pchHostNS);
    }
    return S_OK;
}

STDMETHODIMP WebBrowser::GetClientSite(IOleClientSite** site)
{
    if (!site)
        return E_POINTER;
    return m_site.CopyTo(site);
}

STDMETHODIMP WebBrowser::Close(DWORD)
{
    InPlaceDeactivate();
    return S_OK;
}

STDMETHODIMP WebBrowser::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND parent, LPCRECT rect)
{
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
        break;
    case OLEIVERB_HIDE:
        if (m_view)
            ShowWindow(m_view, SW_HIDE);
        return S_OK;
    default:
        return OLEOBJ_S_INVALIDVERB;
    }
    if (m_view) {
        ShowWindow(m_view, SW_SHOW);
        return S_OK;
    }
    ComPtr<IOleClientSite> site(activeSite ? activeSite : m_site.Get());
    ComPtr<IOleInPlaceSite> inPlace;
    if (!site || FAILED(site->QueryInterface(IID_IOleInPlaceSite, inPlace.PutVoid())) || !inPlace)
        return E_FAIL;
    if (inPlace->CanInPlaceActivate() != S_OK)
        return E_FAIL;
    inPlace->OnInPlaceActivate();
    HWND container = nullptr;
    inPlace->GetWindow(&container);
    if (!container)
        container = parent;
    RECT position = rect ? *rect : RECT{0, 0, 300, 150};
    RECT clip = position;
    ComPtr<IOleInPlaceFrame> frame;
    ComPtr<IOleInPlaceUIWindow> document;
    OLEINPLACEFRAMEINFO info = {};
    info.cb = sizeof info;
    if (SUCCEEDED(inPlace->GetWindowContext(frame.Put(), document.Put(), &position, &clip, &info)) && rect)
        position = *rect;
    m_inPlaceSite = inPlace;
    CreateViewWindows(container, position);
    if (verb == OLEIVERB_UIACTIVATE || verb == OLEIVERB_PRIMARY)
        inPlace->OnUIActivate();
    return m_view ? S_OK : E_FAIL;
}

STDMETHODIMP WebBrowser::GetUserClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = CLSID_WebBrowser;
    return S_OK;
}

STDMETHODIMP WebBrowser::SetExtent(DWORD aspect, SIZEL* size)
{
    if (!size)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    m_extent = *size;
    return S_OK;
}

STDMETHODIMP WebBrowser::GetExtent(DWORD aspect, SIZEL* size)
{
    if (!size)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    *size = m_extent;
    return S_OK;
}

STDMETHODIMP WebBrowser::Advise(IAdviseSink* sink, DWORD* cookie)
{
    if (!m_adviseHolder && FAILED(CreateOleAdviseHolder(m_adviseHolder.Put())))
        return E_OUTOFMEMORY;
    return m_adviseHolder->Advise(sink, cookie);
}

STDMETHODIMP WebBrowser::Unadvise(DWORD cookie)
{
    return m_adviseHolder ? m_adviseHolder->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

STDMETHODIMP WebBrowser::EnumAdvise(IEnumSTATDATA** e)
{
    if (!e)
        return E_POINTER;
    *e = nullptr;
    return m_adviseHolder ? m_adviseHolder->EnumAdvise(e) : E_FAIL;
}

STDMETHODIMP WebBrowser::GetMiscStatus(DWORD, DWORD* status)
{
    if (!status)
        return E_POINTER;
    *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
              OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
    return S_OK;
}

// ---- In-place activation ---------------------------------------------------------------------

void WebBrowser::CreateViewWindows(HWND parent, const RECT& position)
{
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    // In a window of Internet Explorer's frame class the stand-in plays that browser's own
    // page: the document view sits directly in the frame, and HWND answers the frame.
    wchar_t parentClass[32] = {};
    GetClassNameW(parent, parentClass, 32);
    m_frame = wcscmp(parentClass, kFrameClass) == 0 ? parent : nullptr;
    m_view = CreateWindowExW(0, m_frame ? kViewClass : kEmbeddingClass, L"", style, position.left, position.top,
                             position.right - position.left, position.bottom - position.top, parent, nullptr,
                             ThisModule(), nullptr);
    if (!m_view)
        return;
    RECT client;
    GetClientRect(m_view, &client);
    HWND docView = m_view;
    if (!m_frame)
        docView = CreateWindowExW(0, kViewClass, L"", style, 0, 0, client.right, client.bottom, m_view, nullptr,
                                  ThisModule(), nullptr);
    m_server = CreateWindowExW(0, kServerClass, L"", style, 0, 0, client.right, client.bottom, docView, nullptr,
                               ThisModule(), nullptr);
    if (m_server)
        SetWindowLongPtrW(m_server, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

IUnknown* WebBrowser::DocumentObject() const
{
    return m_doc ? m_doc->Identity() : nullptr;
}

void WebBrowser::Paint(HDC dc, const RECT& area)
{
    if (m_doc && m_doc->Root())
        standin::PaintPage(dc, area, *m_doc->Root());
    else
        FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

void WebBrowser::DestroyViewWindows()
{
    if (m_server && IsWindow(m_server))
        SetWindowLongPtrW(m_server, GWLP_USERDATA, 0);
    if (m_view && IsWindow(m_view))
        DestroyWindow(m_view);
    m_view = nullptr;
    m_server = nullptr;
    m_frame = nullptr;
}

STDMETHODIMP WebBrowser::GetWindow(HWND* hwnd)
{
    if (!hwnd)
        return E_POINTER;
    *hwnd = m_view;
    return m_view ? S_OK : E_FAIL;
}

STDMETHODIMP WebBrowser::InPlaceDeactivate()
{
    if (!m_inPlaceSite)
        return S_OK;
    DestroyViewWindows();
    ComPtr<IOleInPlaceSite> site = std::move(m_inPlaceSite);
    site->OnInPlaceDeactivate();
    return S_OK;
}

STDMETHODIMP WebBrowser::UIDeactivate()
{
    if (m_inPlaceSite)
        m_inPlaceSite->OnUIDeactivate(FALSE);
    return S_OK;
}

STDMETHODIMP WebBrowser::SetObjectRects(LPCRECT position, LPCRECT)
{
    if (!position)
        return E_POINTER;
    if (m_view)
        MoveWindow(m_view, position->left, position->top, position->right - position->left,
                   position->bottom - position->top, TRUE);
    return S_OK;
}

// ---- IViewObject2 ----------------------------------------------------------------------------

STDMETHODIMP WebBrowser::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                              BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!dc || !bounds)
        return E_INVALIDARG;
    RECT r = {bounds->left, bounds->top, bounds->right, bounds->bottom};
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    return S_OK;
}

STDMETHODIMP WebBrowser::SetAdvise(DWORD, DWORD, IAdviseSink* sink)
{
    m_viewSink = ComPtr<IAdviseSink>(sink);
    return S_OK;
}

STDMETHODIMP WebBrowser::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink)
{
    if (aspects)
        *aspects = DVASPECT_CONTENT;
    if (flags)
        *flags = 0;
    if (sink)
        return m_viewSink.CopyTo(sink);
    return S_OK;
}

STDMETHODIMP WebBrowser::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size)
{
    return GetExtent(aspect, size);
}

// ---- IPersistStreamInit, IConnectionPointContainer, IServiceProvider -------------------------

STDMETHODIMP WebBrowser::GetClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = CLSID_WebBrowser;
    return S_OK;
}

STDMETHODIMP WebBrowser::GetSizeMax(ULARGE_INTEGER* size)
{
    if (!size)
        return E_POINTER;
    size->QuadPart = 0;
    return S_OK;
}

STDMETHODIMP WebBrowser::EnumConnectionPoints(IEnumConnectionPoints** e)
{
    if (e)
        *e = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::FindConnectionPoint(REFIID iid, IConnectionPoint** point)
{
    if (!point)
        return E_POINTER;
    *point = nullptr;
    if (!IsEqualIID(iid, DIID_DWebBrowserEvents2))
        return CONNECT_E_NOCONNECTION;
    *point = m_events.Get();
    (*point)->AddRef();
    return S_OK;
}

STDMETHODIMP WebBrowser::QueryService(REFGUID service, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (IsEqualGUID(service, IID_IWebBrowserApp) || IsEqualGUID(service, IID_IWebBrowser2))
        return QueryInterface(iid, out);
    return E_NOINTERFACE;
}

// ---- IBrowserStandInTest ---------------------------------------------------------------------

STDMETHODIMP WebBrowser::SimulateContextMenu(DWORD dwID, LPCWSTR element, HRESULT* handlerResult, BOOL* defaultMenu)
{
    if (!handlerResult || !defaultMenu)
        return E_POINTER;
    ComPtr<IDocHostUIHandler> handler = UiHandler();
    if (!handler) {
        *handlerResult = E_NOINTERFACE;
        *defaultMenu = TRUE;
        return S_OK;
    }
    ComPtr<Element> target;
    if (m_doc) {
        NodePtr node = (element && *element) ? FindById(*m_doc->Root(), element) : BodyOf(*m_doc->Root());
        if (element && *element && !node)
            return E_INVALIDARG;
        target = m_doc->Wrap(node);
    }
    POINT point = {0, 0};
    if (m_view) {
        RECT r;
        GetClientRect(m_view, &r);
        point = {r.right / 2, r.bottom / 2};
        ClientToScreen(m_view, &point);
    }
    IUnknown* commandTarget = m_doc ? static_cast<IHTMLDocument2*>(m_doc.Get()) : nullptr;
    *handlerResult = handler->ShowContextMenu(dwID, &point, commandTarget,
                                              target ? static_cast<IHTMLElement*>(target.Get()) : nullptr);
    *defaultMenu = *handlerResult != S_OK;
    return S_OK;
}

STDMETHODIMP WebBrowser::GetLastBrowserBar(VARIANT* clsid, VARIANT* show, VARIANT* size, LONG* calls)
{
    if (calls)
        *calls = m_barCalls;
    if (clsid) {
        VariantInit(clsid);
        VariantCopy(clsid, &m_barClsid);
    }
    if (show) {
        VariantInit(show);
        VariantCopy(show, &m_barShow);
    }
    if (size) {
        VariantInit(size);
        VariantCopy(size, &m_barSize);
    }
    return S_OK;
}

STDMETHODIMP WebBrowser::GetAlertCount(LONG* count)
{
    if (!count)
        return E_POINTER;
    *count = static_cast<LONG>(m_alerts.size());
    return S_OK;
}

STDMETHODIMP WebBrowser::GetAlert(LONG index, BSTR* text)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_alerts.size())
        return E_INVALIDARG;
    return ReturnString(m_alerts[static_cast<std::size_t>(index)], text);
}

STDMETHODIMP WebBrowser::GetScriptErrorCount(LONG* count)
{
    if (!count)
        return E_POINTER;
    *count = static_cast<LONG>(m_scriptErrors.size());
    return S_OK;
}

STDMETHODIMP WebBrowser::GetScriptError(LONG index, BSTR* text)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_scriptErrors.size())
        return E_INVALIDARG;
    return ReturnString(m_scriptErrors[static_cast<std::size_t>(index)], text);
}

STDMETHODIMP WebBrowser::SubmitForm(LPCWSTR form, LPCWSTR frame)
{
    Document* doc = DocumentFor(frame);
    if (!doc || !form)
        return E_INVALIDARG;
    NodePtr node = FindById(*doc->Root(), form);
    if (!node || !node->Is(L"form"))
        return E_INVALIDARG;
    ComPtr<Document> keep(doc);
    return doc->SubmitForm(node, nullptr);
}

STDMETHODIMP WebBrowser::ClickElement(LPCWSTR element, LPCWSTR frame)
{
    Document* doc = DocumentFor(frame);
    if (!doc || !element)
        return E_INVALIDARG;
    NodePtr node = FindById(*doc->Root(), element);
    if (!node)
        return E_INVALIDARG;
    ComPtr<Element> e = doc->Wrap(node);
    return static_cast<IHTMLElement*>(e.Get())->click();
}

STDMETHODIMP WebBrowser::GetLastRequest(BSTR* method, BSTR* url, BSTR* body, LONG* count)
{
    if (count)
        *count = m_requests;
    if (method && FAILED(ReturnString(m_requests ? m_lastRequest.method : std::wstring(), method)))
        return E_OUTOFMEMORY;
    if (url && FAILED(ReturnString(m_lastRequest.url, url)))
        return E_OUTOFMEMORY;
    if (body && FAILED(ReturnString(std::wstring(m_lastRequest.body.begin(), m_lastRequest.body.end()), body)))
        return E_OUTOFMEMORY;
    return S_OK;
}

}  // namespace standin
