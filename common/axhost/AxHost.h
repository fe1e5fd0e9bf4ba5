// The ActiveX container: one object per host window that creates a control from a ProgID, a
// CLSID or a URL (a URL creates the WebBrowser and navigates it), in-place activates it to fill
// the window and answers the control's site calls. IDocHostUIHandler calls from a hosted browser
// are forwarded to an external IDocHostUIHandlerDispatch when one is set.
//
// Two ways to use it:
//  - a window of class AxHost::kWindowClass ("WispAxWin"): its window text names the control to
//    create on WM_CREATE; AxHost::FromWindow finds the container, which lives as long as the window;
//  - any window of one's own: make an AxHost, Attach it to the window and pass the window's
//    messages to HandleMessage (the control window of the library does this).
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <mshtmhst.h>

#include "common/axhost/DocHostUIHandlerDispatch_h.h"
#include "common/com/ComObject.h"
#include "common/com/ConnectionAdvice.h"

class AxHost : public ComObject<AxHost>,
               public IOleClientSite,
               public IOleInPlaceSiteWindowless,
               public IOleInPlaceFrame,
               public IOleContainer,
               public IServiceProvider,
               public IDocHostUIHandler {
public:
    WISP_COM_INTERFACES(AxHost,
        WISP_COM_ENTRY(IOleClientSite)
        WISP_COM_ENTRY_IID(IID_IOleWindow, IOleInPlaceSiteWindowless)
        WISP_COM_ENTRY_IID(IID_IOleInPlaceSite, IOleInPlaceSiteWindowless)
        WISP_COM_ENTRY_IID(IID_IOleInPlaceSiteEx, IOleInPlaceSiteWindowless)
        WISP_COM_ENTRY(IOleInPlaceSiteWindowless)
        WISP_COM_ENTRY_IID(IID_IOleInPlaceUIWindow, IOleInPlaceFrame)
        WISP_COM_ENTRY(IOleInPlaceFrame)
        WISP_COM_ENTRY_IID(IID_IParseDisplayName, IOleContainer)
        WISP_COM_ENTRY(IOleContainer)
        WISP_COM_ENTRY(IServiceProvider)
        WISP_COM_ENTRY(IDocHostUIHandler))
    WISP_IUNKNOWN_FORWARD()

    static const char kWindowClass[];   // "WispAxWin"

    // Registers kWindowClass for this module (idempotent). False when the class cannot be made.
    static bool RegisterWindowClass();
    // The container of a kWindowClass window, or of a window an AxHost was attached to.
    static AxHost* FromWindow(HWND window);

    AxHost() = default;
    ~AxHost() override;

    // Binds the container to a window. The window must outlive the hosted control: call
    // Detach (or let HandleMessage see WM_DESTROY) before the window goes.
    void Attach(HWND window);
    // Releases the hosted control and the external handler; the window is left alone.
    void Detach();

    // Creates the control named by `name` (ProgID, "{CLSID}" or URL) and activates it in place.
    // `stream` initialises it when given; a sink is advised on iidSink unless it is IID_NULL.
    HRESULT CreateControl(const wchar_t* name, IStream* stream = nullptr,
                          IUnknown* sink = nullptr, REFIID iidSink = IID_NULL);
    // Hosts an existing control object (activated in place as above).
    HRESULT AttachControl(IUnknown* control);
    // The hosted control's interface iid.
    HRESULT QueryControl(REFIID iid, void** out) const;
    IUnknown* Control() const { return m_control.Get(); }

    // The object the hosted browser's UI-handler calls go to (null clears). Borrowed, not held:
    // the handler is the object that owns this host (the control), which would otherwise keep
    // itself alive through it; it clears it, or detaches the host, before it goes.
    HRESULT SetExternalUIHandler(IDocHostUIHandlerDispatch* handler);
    // What window.external answers when no external UI handler supplies it.
    void SetExternalDispatch(IDispatch* external) { m_external = ComPtr<IDispatch>(external); }

    HWND Window() const { return m_window; }

    // Container handling of a host window message (resize, focus, destruction). True when the
    // message was consumed, with its result in `result`.
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // IOleWindow (site and frame)
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
    STDMETHODIMP GetContainer(IOleContainer** container) override;
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override;
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT rect) override;

    // IOleInPlaceSiteEx
    STDMETHODIMP OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags) override;
    STDMETHODIMP OnInPlaceDeactivateEx(BOOL) override { return OnInPlaceDeactivate(); }
    STDMETHODIMP RequestUIActivate() override { return S_OK; }

    // IOleInPlaceSiteWindowless: windowless controls draw into the host window.
    STDMETHODIMP CanWindowlessActivate() override { return S_OK; }
    STDMETHODIMP GetCapture() override;
    STDMETHODIMP SetCapture(BOOL capture) override;
    STDMETHODIMP GetFocus() override;
    STDMETHODIMP SetFocus(BOOL focus) override;
    STDMETHODIMP GetDC(LPCRECT rect, DWORD flags, HDC* dc) override;
    STDMETHODIMP ReleaseDC(HDC dc) override;
    STDMETHODIMP InvalidateRect(LPCRECT rect, BOOL erase) override;
    STDMETHODIMP InvalidateRgn(HRGN region, BOOL erase) override;
    STDMETHODIMP ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return E_NOTIMPL; }
    STDMETHODIMP AdjustRect(LPRECT) override { return S_OK; }
    STDMETHODIMP OnDefWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    // IOleInPlaceUIWindow / IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT border) override;
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override;
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    // Serves the frame and the UI handler alike (same signature); forwarded when a handler is set.
    STDMETHODIMP EnableModeless(BOOL enable) override;
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IParseDisplayName / IOleContainer
    STDMETHODIMP ParseDisplayName(IBindCtx*, LPOLESTR, ULONG*, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP EnumObjects(DWORD, IEnumUnknown**) override { return E_NOTIMPL; }
    STDMETHODIMP LockContainer(BOOL) override { return S_OK; }

    // IServiceProvider
    STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** out) override;

    // IDocHostUIHandler, forwarded to the external handler
    STDMETHODIMP ShowContextMenu(DWORD id, POINT* point, IUnknown* commandTarget, IDispatch* hit) override;
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
    STDMETHODIMP ShowUI(DWORD id, IOleInPlaceActiveObject* active, IOleCommandTarget* target,
                        IOleInPlaceFrame* frame, IOleInPlaceUIWindow* doc) override;
    STDMETHODIMP HideUI() override;
    STDMETHODIMP UpdateUI() override;
    STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) override;
    STDMETHODIMP TranslateAccelerator(LPMSG msg, const GUID* group, DWORD command) override;
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override;
    STDMETHODIMP GetDropTarget(IDropTarget* target, IDropTarget** out) override;
    STDMETHODIMP GetExternal(IDispatch** out) override;
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override;
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override;

private:
    HRESULT Activate(IUnknown* control, const wchar_t* url, IStream* stream);
    void ReleaseControl();
    void FitControl();

    HWND m_window = nullptr;
    ComPtr<IUnknown> m_control;
    ComPtr<IOleObject> m_oleObject;
    ComPtr<IOleInPlaceObject> m_inPlaceObject;
    ComPtr<IOleInPlaceObjectWindowless> m_windowless;
    ComPtr<IOleInPlaceActiveObject> m_activeObject;
    IDocHostUIHandlerDispatch* m_uiHandler = nullptr;
    ComPtr<IDispatch> m_external;
    ComPtr<IUnknown> m_sink;
    ConnectionAdvice m_sinkAdvice;
    bool m_inPlaceActive = false;
    bool m_windowlessActive = false;
    bool m_uiActive = false;
    bool m_capture = false;
    bool m_focus = false;
    bool m_destroying = false;
};
