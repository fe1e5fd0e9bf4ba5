// A page shown by a nested Wisp.WispControl inside one of the library's own windows (pop-up,
// balloon, offscreen browser): creating that control under the control-creation mutex, initialising it, and the
// direct script call on its page. Unlike ScriptObject the direct call takes dotted names, goes
// through plain IDispatch and answers the HRESULT.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "Wisp_h.h"
#include "common/axhost/AxHost.h"
#include "common/com/ComPtr.h"
#include "Wisp/control/NestedControl.h"

class HostedPage {
public:
    HostedPage() = default;
    HostedPage(const HostedPage&) = delete;
    HostedPage& operator=(const HostedPage&) = delete;
    ~HostedPage() { Release(); }

    // Creates "Wisp.WispControl" filling `window`, whose messages must reach the container
    // (AxHost::FromWindow(window)->HandleMessage). `timeoutTrace` is the caller's line for a
    // time-out of the mutex wait. The control is marked nested with `trust` before anything
    // can load in it; one that cannot be marked is no control of this library and is refused.
    HRESULT Create(HWND window, const char* timeoutTrace, const NestedPageTrust& trust);
    // Init on the nested control; the page's dispatch (the hosted browser) is kept.
    HRESULT Init(BSTR url, HWND notifyWindow, IDispatch* parent);
    HRESULT LoadHTML(BSTR url);
    void UnInit();
    // Lets go of the control and the container.
    void Release();

    IWispControl* Control() const { return m_control.Get(); }
    IDispatch* PageDispatch() const { return m_page.Get(); }

    // `found` is set false first; true when the page's script has the name.
    HRESULT ScriptMethodExists(const char* name, bool& found) const;
    // `args` in the order of the function's parameters; the caller keeps them and clears `result`.
    HRESULT CallScriptMethod(const char* name, VARIANT* result, unsigned numArgs, const VARIANT* args) const;

private:
    ComPtr<AxHost> m_container;
    ComPtr<IWispControl> m_control;
    ComPtr<IDispatch> m_page;
};
