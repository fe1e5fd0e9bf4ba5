// The browser object: what CoCreateInstance(CLSID_WebBrowser) gives tests in the test prefix.
#pragma once

#include "BrowserStandIn.h"
#include "Dom.h"
#include "Fetch.h"

#include <deque>
#include <exdisp.h>
#include <mshtmhst.h>

namespace standin {

class EventSource;
struct LoadJob;
struct LoadedPage;

class WebBrowser : public ComObject<WebBrowser>,
                   public IWebBrowser2Stubs,
                   public IOleObjectStubs,
                   public IOleInPlaceObjectStubs,
                   public IOleInPlaceActiveObjectStubs,
                   public IViewObject2Stubs,
                   public IPersistStreamInitStubs,
                   public IConnectionPointContainer,
                   public IServiceProvider,
                   public IBrowserStandInTest,
                   public PageHost {
public:
    WISP_COM_INTERFACES(WebBrowser,
                        WISP_COM_ENTRY(IWebBrowser2) WISP_COM_ENTRY(IWebBrowserApp) WISP_COM_ENTRY(IWebBrowser)
                        WISP_COM_ENTRY(IDispatch) WISP_COM_ENTRY(IOleObject)
                        WISP_COM_ENTRY_IID(IID_IOleWindow, IOleInPlaceObject) WISP_COM_ENTRY(IOleInPlaceObject)
                        WISP_COM_ENTRY(IOleInPlaceActiveObject) WISP_COM_ENTRY(IViewObject)
                        WISP_COM_ENTRY(IViewObject2) WISP_COM_ENTRY_IID(IID_IPersist, IPersistStreamInit)
                        WISP_COM_ENTRY(IPersistStreamInit) WISP_COM_ENTRY(IConnectionPointContainer)
                        WISP_COM_ENTRY(IServiceProvider) WISP_COM_ENTRY(IBrowserStandInTest))
    WISP_IUNKNOWN_FORWARD()

    WebBrowser();
    ~WebBrowser() override;

    // IDispatch, from the platform's type library of the browser interfaces.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT* argErr) override;

    // IWebBrowser / IWebBrowserApp / IWebBrowser2
    STDMETHODIMP GoBack() override;
    STDMETHODIMP GoForward() override;
    STDMETHODIMP Navigate(BSTR url, VARIANT* flags, VARIANT* target, VARIANT* postData, VARIANT* headers) override;
    STDMETHODIMP Refresh() override;
    STDMETHODIMP Refresh2(VARIANT* level) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP get_Application(IDispatch** p) override;
    STDMETHODIMP get_Parent(IDispatch** p) override;
    STDMETHODIMP get_Container(IDispatch** p) override;
    STDMETHODIMP get_Document(IDispatch** p) override;
    STDMETHODIMP get_TopLevelContainer(VARIANT_BOOL* p) override;
    STDMETHODIMP get_Type(BSTR* p) override;
    STDMETHODIMP get_LocationName(BSTR* p) override;
    STDMETHODIMP get_LocationURL(BSTR* p) override;
    STDMETHODIMP get_Busy(VARIANT_BOOL* p) override;
    STDMETHODIMP PutProperty(BSTR name, VARIANT value) override;
    STDMETHODIMP GetProperty(BSTR name, VARIANT* value) override;
    STDMETHODIMP get_Name(BSTR* p) override;
    STDMETHODIMP get_HWND(SHANDLE_PTR* p) override;
    STDMETHODIMP get_FullName(BSTR* p) override;
    STDMETHODIMP get_Path(BSTR* p) override;
    STDMETHODIMP get_Visible(VARIANT_BOOL* p) override;
    STDMETHODIMP put_Visible(VARIANT_BOOL v) override;
    STDMETHODIMP Navigate2(VARIANT* url, VARIANT* flags, VARIANT* target, VARIANT* postData, VARIANT* headers) override;
    STDMETHODIMP ShowBrowserBar(VARIANT* clsid, VARIANT* show, VARIANT* size) override;
    STDMETHODIMP get_ReadyState(READYSTATE* p) override;
    STDMETHODIMP get_Offline(VARIANT_BOOL* p) override;
    STDMETHODIMP put_Offline(VARIANT_BOOL v) override;
    STDMETHODIMP get_Silent(VARIANT_BOOL* p) override;
    STDMETHODIMP put_Silent(VARIANT_BOOL v) override;
    STDMETHODIMP get_RegisterAsBrowser(VARIANT_BOOL* p) override;
    STDMETHODIMP put_RegisterAsBrowser(VARIANT_BOOL v) override;
    STDMETHODIMP get_RegisterAsDropTarget(VARIANT_BOOL* p) override;
    STDMETHODIMP put_RegisterAsDropTarget(VARIANT_BOOL v) override;

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** site) override;
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD saveOption) override;
    STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* activeSite, LONG index, HWND parent,
                        LPCRECT rect) override;
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* clsid) override;
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP Advise(IAdviseSink* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** e) override;
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;

    // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
    STDMETHODIMP GetWindow(HWND* hwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override;
    STDMETHODIMP TranslateAccelerator(LPMSG) override { return S_FALSE; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

    // IViewObject2
    STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device, HDC targetDc, HDC dc,
                      LPCRECTL bounds, LPCRECTL wbounds, BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR),
                      ULONG_PTR contArg) override;
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;

    // IPersistStreamInit
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(LPSTREAM) override { return S_OK; }
    STDMETHODIMP Save(LPSTREAM, BOOL) override { return S_OK; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
    STDMETHODIMP InitNew() override { return S_OK; }

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** e) override;
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;
    // IServiceProvider
    STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** out) override;

    // IBrowserStandInTest
    STDMETHODIMP SimulateContextMenu(DWORD dwID, LPCWSTR element, HRESULT* handlerResult, BOOL* defaultMenu) override;
    STDMETHODIMP GetLastBrowserBar(VARIANT* clsid, VARIANT* show, VARIANT* size, LONG* calls) override;
    STDMETHODIMP GetAlertCount(LONG* count) override;
    STDMETHODIMP GetAlert(LONG index, BSTR* text) override;
    STDMETHODIMP GetScriptErrorCount(LONG* count) override;
    STDMETHODIMP GetScriptError(LONG index, BSTR* text) override;
    STDMETHODIMP SubmitForm(LPCWSTR form, LPCWSTR frame) override;
    STDMETHODIMP ClickElement(LPCWSTR element, LPCWSTR frame) override;
    STDMETHODIMP GetLastRequest(BSTR* method, BSTR* url, BSTR* body, LONG* count) override;

    // PageHost
    ComPtr<IDispatch> External() override;
    void Alert(const std::wstring& text) override;
    void ScriptError(const std::wstring& text) override;
    HRESULT NavigateFrom(Document& doc, const std::wstring& url, const std::wstring& method,
                         const std::string& body) override;
    void TitleChanged(Document& doc) override;
    UINT_PTR SetTimeout(std::function<void()> action, UINT milliseconds) override;
    void ClearTimeout(UINT_PTR id) override;
    HWND Window() override;
    IUnknown* Browser() override { return Identity(); }

    // The current page (the server window's WM_HTML_GETOBJECT answer), or null.
    IUnknown* DocumentObject() const;
    // Window procedures' entry back into the object.
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Shows the current page in the view window's device context.
    void Paint(HDC dc, const RECT& area);

private:
    struct Navigation {
        FetchRequest request;
        std::vector<std::size_t> framePath;   // empty: the top document
        bool refresh = false;
        bool history = true;
    };
    HRESULT Start(Navigation navigation);
    void Begin(LONG id, Navigation navigation);
    void Loaded(LoadJob* job);
    ComPtr<Document> Build(LoadedPage& page, Document* parent, const std::wstring& frameName);
    void QueuePageEvents(LONG id, const ComPtr<Document>& doc, std::shared_ptr<LoadedPage> page,
                         IDispatch* target, bool refresh, bool top);
    void Queue(std::function<void()> action);
    void RunQueued();
    Document* FrameDocument(const std::vector<std::size_t>& path);
    Document* DocumentFor(LPCWSTR frame);
    IDispatch* TargetOf(Document* doc);   // the browser for the top document, else the frame's window
    ComPtr<IDocHostUIHandler> UiHandler();
    void Fire(DISPID id, std::vector<VARIANT>& argsInOrder);
    void FireUrlEvent(DISPID id, IDispatch* target, const std::wstring& url);
    bool FireBeforeNavigate(IDispatch* target, const Navigation& navigation);
    void FireNavigateError(IDispatch* target, const std::wstring& url, DWORD status);
    void FireTitle(const std::wstring& title);
    void CreateViewWindows(HWND parent, const RECT& position);
    void DestroyViewWindows();
    void SetState(READYSTATE state, bool busy);

    HWND m_messageWindow = nullptr;
    HWND m_view = nullptr;       // "Shell Embedding", while in-place active
    HWND m_server = nullptr;     // "Internet Explorer_Server" inside it
    HWND m_frame = nullptr;      // the "IEFrame" window it sits in directly, if it does
    ComPtr<IOleClientSite> m_site;
    ComPtr<IOleInPlaceSite> m_inPlaceSite;
    ComPtr<IOleAdviseHolder> m_adviseHolder;
    ComPtr<IAdviseSink> m_viewSink;
    ComPtr<EventSource> m_events;
    ComPtr<ITypeInfo> m_typeInfo;
    SIZEL m_extent = {10000, 6000};

    ComPtr<Document> m_doc;
    LONG m_navId = 0;
    READYSTATE m_readyState = READYSTATE_UNINITIALIZED;
    bool m_busy = false;
    std::vector<std::wstring> m_history;
    std::size_t m_historyIndex = 0;
    std::deque<std::function<void()>> m_queue;
    std::map<UINT_PTR, std::function<void()>> m_timers;
    UINT_PTR m_nextTimer = 1;
    std::map<std::wstring, VARIANT> m_properties;
    bool m_visible = true, m_silent = false, m_offline = false, m_registerAsBrowser = false, m_dropTarget = true;

    std::vector<std::wstring> m_alerts;
    std::vector<std::wstring> m_scriptErrors;
    VARIANT m_barClsid, m_barShow, m_barSize;
    LONG m_barCalls = 0;
    FetchRequest m_lastRequest;
    LONG m_requests = 0;
};

}  // namespace standin
