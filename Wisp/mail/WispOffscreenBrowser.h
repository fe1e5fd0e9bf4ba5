// An invisible, disabled top-level window hosting one Wisp.WispControl, and through it a
// WebBrowser, in which the web-mail checks load a provider's pages without showing anything.
// It belongs to the thread that creates it; that thread must pump messages (DoMessageLoops)
// for the pages to load and their events to arrive.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <mshtml.h>

#include <string>

#include "Wisp/windows/HostedPage.h"
#include "common/axhost/BrowserEventSink.h"
#include "common/com/ComPtr.h"
#include "common/com/ConnectionAdvice.h"

class CWispOffscreenBrowser {
public:
    static const char kWindowName[];    // "WispOffscreenBrowser"
    static const DWORD kStyle = 0x86000000;             // WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN
    static const DWORD kExStyle = WS_EX_NOACTIVATE;     // 0x08000000
    static const int kWidth = 1280;
    static const int kHeight = 300;

    CWispOffscreenBrowser();
    ~CWispOffscreenBrowser();
    CWispOffscreenBrowser(const CWispOffscreenBrowser&) = delete;
    CWispOffscreenBrowser& operator=(const CWispOffscreenBrowser&) = delete;

    // Creates the window and the control, loads url; the window handle, or null.
    HWND CreateWispOffscreenBrowser(const char* url);
    HRESULT Navigate(const char* url);
    // Pumps this thread's messages in whole seconds until ms have passed (at least one second).
    void DoMessageLoops(DWORD ms);

    HRESULT getLocationName(std::string& title);
    // The top document's address (where redirects ended).
    HRESULT getLocationUrl(std::string& url);
    HRESULT getPageSource(std::string& html);
    HRESULT getPageText(std::string& text);
    HRESULT getFrameSource(const char* frameName, std::string& html);
    HRESULT getElement(const char* name, IHTMLElement** element);
    HRESULT setElementAttribute(const char* elementName, const char* attributeName, const VARIANT& value);
    HRESULT setElementAttribute(const char* elementName, const char* attributeName, const char* value);
    // Disconnects the events and closes the window.
    void Close();

    HWND Window() const { return m_hWnd; }
    IWebBrowser2* Browser() const { return m_spBrowser.Get(); }
    // Document-complete notices since the last navigation.
    long DocLoadComplete() const { return mDocLoadComplete; }
    // A form submission starts a new page: it is counted afresh.
    void ResetDocLoadComplete() { mDocLoadComplete = 0; }

private:
    class Events : public BrowserEventSink {
    public:
        explicit Events(CWispOffscreenBrowser* owner) : m_owner(owner) {}
        STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                            UINT*) override;

    private:
        CWispOffscreenBrowser* m_owner;
    };

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool CreateHostWindow();
    HRESULT CreateControl(const char* url);
    void OnDocumentComplete();
    void ConnectEvents();
    void DisconnectEvents();
    void ReleaseControl();
    HRESULT GetDocument(ComPtr<IHTMLDocument2>& document);
    static HRESULT BodyOf(IHTMLDocument2* document, ComPtr<IHTMLElement>& body);

    HWND m_hWnd = nullptr;
    HostedPage m_page;
    ComPtr<IWebBrowser2> m_spBrowser;
    Events m_events{this};
    ConnectionAdvice m_eventsAdvice;
    long mDocLoadComplete = 0;
};
