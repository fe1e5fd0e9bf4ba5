// A small native ActiveX container for the browser stand-in's tests: client and in-place site
// in a window of the test, an IDocHostUIHandler giving a recording window.external, and a
// DWebBrowserEvents2 sink that records the events in order.
#pragma once

#include "common/com/Bstr.h"
#include "common/com/ComObject.h"
#include "tests/support/DispatchTable.h"
#include "common/com/Variant.h"

#include <exdisp.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <ocidl.h>

#include <functional>
#include <string>
#include <vector>

namespace browser_tests {

// Pumps this thread's messages until done() or the time-out; true when done() held.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000);
void PumpFor(DWORD ms);

std::wstring FixtureUrl(const wchar_t* file);   // file:///.../bin/fixtures/browser/<file>
std::wstring FixturePath(const wchar_t* file);

// window.external: Record(args...) keeps one line per call, arguments joined by ",".
class External : public ComObject<External>, public IDispatch {
public:
    WISP_COM_INTERFACES(External, WISP_COM_ENTRY(IDispatch))
    WISP_IUNKNOWN_FORWARD()
    WISP_DISPATCH_FORWARD(m_members)
    External();
    std::vector<std::wstring> calls;

private:
    DispatchTable m_members;
};

struct Event {
    DISPID id;
    std::wstring text;   // URL, or the title for TitleChange
    bool fromBrowser;    // pDisp was the browser itself
};

class EventSink : public ComObject<EventSink>, public IDispatch {
public:
    WISP_COM_INTERFACES(EventSink, WISP_COM_ENTRY_IID(DIID_DWebBrowserEvents2, IDispatch) WISP_COM_ENTRY(IDispatch))
    WISP_IUNKNOWN_FORWARD()

    explicit EventSink(IUnknown* browser) : m_browser(browser) {}
    STDMETHODIMP GetTypeInfoCount(UINT* n) override
    {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

    std::vector<Event> events;
    bool cancelNext = false;     // answer the next BeforeNavigate2 with Cancel
    std::wstring lastPostData;   // of the last BeforeNavigate2
    std::wstring lastHeaders;
    DWORD lastThread = 0;        // the thread the last event came on
    int Count(DISPID id) const;
    bool TopComplete() const;    // a DocumentComplete for the browser itself arrived

private:
    IUnknown* m_browser;
};

class Container : public ComObject<Container>,
                  public IOleClientSite,
                  public IOleInPlaceSite,
                  public IDocHostUIHandler {
public:
    WISP_COM_INTERFACES(Container, WISP_COM_ENTRY(IOleClientSite) WISP_COM_ENTRY_IID(IID_IOleWindow, IOleInPlaceSite)
                                       WISP_COM_ENTRY(IOleInPlaceSite) WISP_COM_ENTRY(IDocHostUIHandler))
    WISP_IUNKNOWN_FORWARD()

    Container();
    ~Container() override;
    // Creates the browser (CLSID_WebBrowser), sets the site, activates it in place, connects
    // the sink. False with a reason in `error` on failure.
    bool Embed(std::string& error);
    void Unembed();

    HWND window = nullptr;
    ComPtr<IWebBrowser2> browser;
    ComPtr<EventSink> sink;
    ComPtr<External> external;
    std::vector<DWORD> menuKinds;          // ShowContextMenu's dwID, in order
    std::vector<std::wstring> menuTargets; // id of the element it named
    bool activated = false;

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** c) override
    {
        *c = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
    // IOleWindow / IOleInPlaceSite
    STDMETHODIMP GetWindow(HWND* h) override
    {
        *h = window;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override
    {
        activated = true;
        return S_OK;
    }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override;
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override
    {
        activated = false;
        return S_OK;
    }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
    // IDocHostUIHandler: the control's policy: kind 2 (an edit field) keeps the default menu.
    STDMETHODIMP ShowContextMenu(DWORD id, POINT*, IUnknown*, IDispatch* element) override;
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override
    {
        info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        return S_OK;
    }
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override { return S_OK; }
    STDMETHODIMP HideUI() override { return S_OK; }
    STDMETHODIMP UpdateUI() override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget**) override { return E_NOTIMPL; }
    STDMETHODIMP GetExternal(IDispatch** out) override;
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override
    {
        *out = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override
    {
        *out = nullptr;
        return S_FALSE;
    }

private:
    DWORD m_cookie = 0;
};

}  // namespace browser_tests
