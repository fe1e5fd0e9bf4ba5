// Wisp.WispControl: the library's one creatable class. A windowed ActiveX control whose window
// hosts a WebBrowser; the page reaches native code through window.external (this object), the
// native side calls page functions by name, and the host drives it through IWispControl.
#pragma once

#include <windows.h>
#include <exdisp.h>

#include <string>

#include "Wisp_h.h"
#include "common/axhost/AxHost.h"
#include "common/axhost/BrowserEventSink.h"
#include "common/com/ComObject.h"
#include "common/com/ConnectionAdvice.h"
#include "Wisp/control/ControlBase.h"
#include "Wisp/control/DynamicMessageChain.h"
#include "Wisp/control/NestedControl.h"
#include "Wisp/control/ScriptObject.h"

class QDMenuSet;
class EmailChecker;
class CWispPopupWindow;

class CWispControl : public ComObject<CWispControl>,
                     public IDocHostUIHandlerDispatch,
                     public IWispControl,
                     public IWispNestedControl,
                     public ControlBase {
public:
    WISP_COM_INTERFACES(CWispControl,
        WISP_COM_ENTRY(IWispControl)
        WISP_COM_ENTRY_IID(IID_IDispatch, IWispControl)
        WISP_COM_ENTRY(IViewObjectEx)
        WISP_COM_ENTRY_IID(IID_IViewObject2, IViewObjectEx)
        WISP_COM_ENTRY_IID(IID_IViewObject, IViewObjectEx)
        WISP_COM_ENTRY(IOleInPlaceObjectWindowless)
        WISP_COM_ENTRY_IID(IID_IOleInPlaceObject, IOleInPlaceObjectWindowless)
        WISP_COM_ENTRY_IID(IID_IOleWindow, IOleInPlaceObjectWindowless)
        WISP_COM_ENTRY(IOleInPlaceActiveObject)
        WISP_COM_ENTRY(IOleControl)
        WISP_COM_ENTRY(IOleObject)
        WISP_COM_ENTRY(IPersistStreamInit)
        WISP_COM_ENTRY_IID(IID_IPersist, IPersistStreamInit)
        WISP_COM_ENTRY(ISupportErrorInfo)
        WISP_COM_ENTRY(ISpecifyPropertyPages)
        WISP_COM_ENTRY(IQuickActivate)
        WISP_COM_ENTRY(IPersistStorage)
        WISP_COM_ENTRY(IDataObject)
        WISP_COM_ENTRY_IID(IID_IProvideClassInfo, IProvideClassInfo2)
        WISP_COM_ENTRY(IProvideClassInfo2)
        WISP_COM_ENTRY(IConnectionPointContainer)
        WISP_COM_ENTRY(IWispNestedControl))
    WISP_IUNKNOWN_FORWARD()

    // OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE
    static const DWORD kMiscStatus = 131472;
    // The one member page script reaches late-bound (the type library gives it this DISPID).
    static const DISPID kDispidCallApplicationMethod = 502;

    CWispControl();
    ~CWispControl() override;

    // IDispatch: one implementation for the IWispControl face, the UI-handler face and the
    // browser-event sink.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excepinfo, UINT* argError) override;

    // IWispControl
    STDMETHODIMP put_BorderStyle(long style) override;
    STDMETHODIMP get_BorderStyle(long* pstyle) override;
    STDMETHODIMP put_BorderWidth(long width) override;
    STDMETHODIMP get_BorderWidth(long* width) override;
    STDMETHODIMP get_HWND(HWND* pHWND) override;
    STDMETHODIMP put_BorderVisible(VARIANT_BOOL vbool) override;
    STDMETHODIMP get_BorderVisible(VARIANT_BOOL* pbool) override;
    STDMETHODIMP LoadHTML(BSTR bstrURL) override;
    STDMETHODIMP Init(BSTR bstrURL, HWND hWndNotify, IDispatch* pDispParent, IDispatch** pDispChild) override;
    STDMETHODIMP CallApplicationMethod(DISPPARAMS* pdp, VARIANT* pvarResult) override;
    STDMETHODIMP CallScriptMethod(BSTR bstrMethod, VARIANT* pvaResult, ULONG ulNumArgs, VARIANT* pvaArgs) override;
    STDMETHODIMP ScriptMethodExists(BSTR bstrMethod, VARIANT_BOOL* pbool) override;
    STDMETHODIMP InformParentOfUserEvents(VARIANT_BOOL inform) override;
    STDMETHODIMP UnInit() override;

    // IWispNestedControl
    STDMETHODIMP MarkNested(const char* anchor, BOOL external) override;

    // IDocHostUIHandlerDispatch
    STDMETHODIMP ShowContextMenu(DWORD dwID, DWORD x, DWORD y, IUnknown* pcmdtReserved, IDispatch* pdispReserved,
                                 HRESULT* pdwRetVal) override;
    STDMETHODIMP GetHostInfo(DWORD* pdwFlags, DWORD* pdwDoubleClick) override;
    STDMETHODIMP ShowUI(DWORD dwID, IUnknown* pActiveObject, IUnknown* pCommandTarget, IUnknown* pFrame,
                        IUnknown* pDoc, HRESULT* dwRetVal) override;
    STDMETHODIMP HideUI() override;
    STDMETHODIMP UpdateUI() override;
    STDMETHODIMP EnableModeless(VARIANT_BOOL fEnable) override;
    STDMETHODIMP OnDocWindowActivate(VARIANT_BOOL fActivate) override;
    STDMETHODIMP OnFrameWindowActivate(VARIANT_BOOL fActivate) override;
    STDMETHODIMP ResizeBorder(long left, long top, long right, long bottom, IUnknown* pUIWindow,
                              VARIANT_BOOL fFrameWindow) override;
    STDMETHODIMP TranslateAccelerator(DWORD_PTR hWnd, DWORD nMessage, DWORD_PTR wParam, DWORD_PTR lParam,
                                      BSTR bstrGuidCmdGroup, DWORD nCmdID, HRESULT* dwRetVal) override;
    STDMETHODIMP GetOptionKeyPath(BSTR* pbstrKey, DWORD dw) override;
    STDMETHODIMP GetDropTarget(IUnknown* pDropTarget, IUnknown** ppDropTarget) override;
    STDMETHODIMP GetExternal(IDispatch** ppDispatch) override;
    STDMETHODIMP TranslateUrl(DWORD dwTranslate, BSTR bstrURLIn, BSTR* pbstrURLOut) override;
    STDMETHODIMP FilterDataObject(IUnknown* pDO, IUnknown** ppDORet) override;

    // The base's same-named members stay reachable.
    using ControlBase::EnableModeless;
    using ControlBase::GetDropTarget;
    using ControlBase::OnDocWindowActivate;
    using ControlBase::OnFrameWindowActivate;
    using ControlBase::ResizeBorder;
    using ControlBase::TranslateAccelerator;

    // The application methods' entry (the method table lives with the methods). True when the
    // name matched a method.
    bool CallApplicationMethodDispatch(DISPPARAMS* pdp, VARIANT* pvarResult);

    // Application methods that live on the control.
    bool ShowQuillDesktopInBrowser(bool flag);
    int GetWindowWidth();
    int GetWindowHeight();
    bool HTTP(unsigned long requestId, const char* verb, const char* server, const char* serverPath,
              const char* localPath, const char* postData, unsigned long postDataLength, unsigned short port,
              unsigned long accessType, bool secure = false);
    int ShowMessageBox(const char* text, const char* caption, UINT style);
    // Menus from menu files: the new menu's id or -1; removal; the picked command id, 0 for
    // none, -1 for a negative or unknown id.
    int AddMenu(const char* path);
    bool DeleteMenu(int id);
    int ShowMenu(int id);

    // What the other windows and methods of the library reach.
    DynamicMessageChain& MessageChain() { return m_dynamicChain; }
    ScriptObject& Script() { return m_scriptObject; }
    IWebBrowser2* Browser() const { return m_spBrowser.Get(); }
    HWND NotifyWindow() const { return m_hWndNotify; }
    IDispatch* ParentDispatch() const { return m_spParentDispatch.Get(); }
    QDMenuSet* Menu() const { return m_pMenu; }
    EmailChecker*& MailChecker() { return m_pEmailChecker; }
    HANDLE& MailThread() { return m_hMailThread; }
    CWispPopupWindow*& CurrentPopup() { return m_pCurrentPopup; }
    // What a control this one creates for its page (pop-up, balloon, dialog) inherits.
    NestedPageTrust TrustForNested() const { return NestedPageTrust{m_anchor, true}; }
    // The screen saver's fade window, apart from the current pop-up: a later pop-up must not
    // take its place and leave it without anything that ends it.
    CWispPopupWindow*& FadeWindow() { return m_pFadeWindow; }
    // A pop-up going away: nothing may address it any more.
    void ForgetPopup(const CWispPopupWindow* popup)
    {
        if (m_pCurrentPopup == popup)
            m_pCurrentPopup = nullptr;
        if (m_pFadeWindow == popup)
            m_pFadeWindow = nullptr;
    }

protected:
    LRESULT ControlWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    HRESULT CoClassTypeInfo(ITypeInfo** info) override;

private:
    // The browser-event sink: the connection point holds it without owning the control, as the
    // control owns the browser; UnInit (or destruction) disconnects it.
    class BrowserEvents : public BrowserEventSink {
    public:
        explicit BrowserEvents(CWispControl* owner) : m_owner(owner) {}
        STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* excepinfo, UINT* argError) override;

    private:
        CWispControl* m_owner;
    };

    HRESULT InitBrowser(BSTR bstrURL, HWND hWndNotify, IDispatch* pDispParent, IDispatch** pDispChild);
    HRESULT LookUpScriptMethod(BSTR bstrMethod, VARIANT_BOOL* pbool);
    // Whether the page shown now may use the method table; its address (as text) into url.
    bool PageMayCallIn(std::string& url) const;
    bool ProcessControlMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    LRESULT OnCreate();
    void OnDocumentComplete();
    void OnWidthChange(int width);
    void FireScriptEvent(const char* function, const char* eventName);
    LRESULT OnAsyncHttpComplete(WPARAM wParam, LPARAM lParam);
    LRESULT OnEmailVerifyComplete(LPARAM lParam);
    void OnMailCheckComplete(LPARAM lParam);
    // Stops every check thread, waits a bounded time for this control's, deletes the checker.
    void StopMailChecker();
    static const DWORD kMailThreadStopWaitMs = 2000;
    void OnDefaultBrowserNavigateComplete();
    // The ScriptObject step of CallScriptMethod, without the existence check.
    bool CallScriptFunction(const char* name, const VARIANT* args, unsigned numArgs, VARIANT* result);
    HRESULT ConnectBrowserEvents();
    HRESULT DisconnectBrowserEvents();

    DynamicMessageChain m_dynamicChain;
    EmailChecker* m_pEmailChecker = nullptr;
    HANDLE m_hMailThread = nullptr;
    ComPtr<IWebBrowser2> m_spBrowser;
    ScriptObject m_scriptObject;
    QDMenuSet* m_pMenu = nullptr;
    HWND m_hWndNotify = nullptr;
    bool m_bDocumentComplete = false;
    bool m_bInformParentOfUserEvents = true;
    ComPtr<IDispatch> m_spParentDispatch;
    CWispPopupWindow* m_pCurrentPopup = nullptr;
    // The URL the host gave Init (UTF-8), or the creating control's for a nested one.
    std::string m_anchor;
    // The last page address found trusted without the folder settings, and the anchor then.
    mutable std::wstring m_trustedLocation;
    mutable std::string m_trustedAnchor;
    bool m_bNested = false;
    bool m_bGiveExternal = true;
    CWispPopupWindow* m_pFadeWindow = nullptr;

    ComPtr<AxHost> m_axHost;
    BrowserEvents m_browserEvents{this};
    ConnectionAdvice m_browserEventsAdvice;
};
