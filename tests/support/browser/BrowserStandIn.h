// The scripted WebBrowser stand-in that tests get from CoCreateInstance(CLSID_WebBrowser) in
// the test prefix (registered under its own CLSID, with CLSID_WebBrowser's TreatAs pointing at
// it), and its test-only interface.
//
// The stand-in behaves as the WebBrowser control does for what the product uses: embedding
// (IOleObject, IOleInPlaceObject, IOleInPlaceActiveObject, IViewObject2, IPersistStreamInit),
// IWebBrowser2, DWebBrowserEvents2 through a connection point (delivered through the creating
// thread's message queue, so that thread must pump; refused with CONNECT_E_ADVISELIMIT while the
// process has the environment variable WISP_STANDIN_REFUSE_ADVISE), and an HTML document object model whose
// page script runs in the JScript engine with the window as global object. The host's
// IDocHostUIHandler (from the client site, by QueryInterface or IServiceProvider) provides
// window.external and is asked about context menus.
//
// Events of one navigation, in order: BeforeNavigate2 (Cancel honoured), DownloadBegin,
// [NavigateError], NavigateComplete2, page scripts and load handlers run, TitleChange,
// DocumentComplete for every frame (pDisp = the frame's window, innermost first, in document
// order), DownloadComplete, DocumentComplete for the top document (pDisp = the browser).
// Refresh fires neither BeforeNavigate2 nor NavigateComplete2. A navigation inside a frame
// (its form, its location) fires the same events with the frame's window as pDisp, and no
// top-level DocumentComplete.
#pragma once

#include <windows.h>
#include <unknwn.h>

// {6A1C43E2-9B57-4C1D-8E0A-3F52D7B91C64}
static const CLSID CLSID_BrowserStandIn = {0x6a1c43e2, 0x9b57, 0x4c1d, {0x8e, 0x0a, 0x3f, 0x52, 0xd7, 0xb9, 0x1c, 0x64}};
// {C3E85A10-47D2-4B9F-A16E-5D0B28F7E391}
static const IID IID_IBrowserStandInTest = {0xc3e85a10, 0x47d2, 0x4b9f, {0xa1, 0x6e, 0x5d, 0x0b, 0x28, 0xf7, 0xe3, 0x91}};

#define WISP_BROWSER_STANDIN_DLL L"wisp_browser_standin.dll"

// Reached by QueryInterface on the browser object; same apartment only (no proxy exists).
// Element and form names are matched against id first, then name; frame null or empty means
// the top document, else the frame (of the top document) with that name.
struct IBrowserStandInTest : public IUnknown {
    // A right click over the element (null: the page's body) asking for menu kind dwID
    // (CONTEXT_MENU_DEFAULT 0, CONTEXT_MENU_CONTROL 2, ...): the host's
    // IDocHostUIHandler::ShowContextMenu is called with it and the element. *handlerResult
    // gets the handler's answer (E_NOINTERFACE without a handler); *defaultMenu is TRUE when
    // the browser would then show its own menu (no handler, or an answer other than S_OK).
    virtual HRESULT STDMETHODCALLTYPE SimulateContextMenu(DWORD dwID, LPCWSTR element, HRESULT* handlerResult,
                                                          BOOL* defaultMenu) = 0;
    // Copies of the arguments of the last ShowBrowserBar call, and the number of calls so far
    // (0, with the VARIANTs left empty, when there was none).
    virtual HRESULT STDMETHODCALLTYPE GetLastBrowserBar(VARIANT* clsid, VARIANT* show, VARIANT* size,
                                                        LONG* calls) = 0;
    // alert() and confirm() texts of every page shown, oldest first.
    virtual HRESULT STDMETHODCALLTYPE GetAlertCount(LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAlert(LONG index, BSTR* text) = 0;
    // Script errors as the engine reported them ("<url>: line N: <description>").
    virtual HRESULT STDMETHODCALLTYPE GetScriptErrorCount(LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetScriptError(LONG index, BSTR* text) = 0;
    // Submits a form as form.submit() does (no onsubmit, no submit button's value); the page
    // then navigates as usual. E_INVALIDARG when there is no such form.
    virtual HRESULT STDMETHODCALLTYPE SubmitForm(LPCWSTR form, LPCWSTR frame) = 0;
    // A click on an element: its onclick handler, then its default action (a submit button
    // submits its form with onsubmit and its own name=value, a checkbox toggles, a link
    // navigates). E_INVALIDARG when there is no such element.
    virtual HRESULT STDMETHODCALLTYPE ClickElement(LPCWSTR element, LPCWSTR frame) = 0;
    // The request of the last navigation started (of the browser, or inside a frame; not the
    // frames and scripts a page loads): "GET" or "POST", the URL, the body (form fields
    // URL-encoded). *count: navigations started so far, refreshes included.
    virtual HRESULT STDMETHODCALLTYPE GetLastRequest(BSTR* method, BSTR* url, BSTR* body, LONG* count) = 0;
};
