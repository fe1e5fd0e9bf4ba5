// What the pop-up and the balloon share: an object made with new that deletes itself with its
// window (SelfDeletingWindowProc), shows its page through a HostedPage, and while it lives is
// offered the creating control's messages through that control's dynamic chain.
#pragma once

#include <windows.h>

#include "common/TraceLog.h"
#include "Wisp/control/DynamicMessageChain.h"
#include "Wisp/windows/HostedPage.h"

class HostedPageWindow : public MessageMapTarget {
public:
    // The message map under which the creating control's messages are offered.
    static const DWORD kControlMessageMap = 1;

    IDispatch* PageDispatch() const { return m_page.PageDispatch(); }
    // Before creation: what the nested control's pages are trusted by (the creating control's
    // TrustForNested()); without it they have no anchor.
    void SetPageTrust(const NestedPageTrust& trust) { m_pageTrust = trust; }
    HWND Window() const { return m_hWnd; }

protected:
    // `className` starts the shared trace lines ("CWispPopupWindow").
    HostedPageWindow(const char* className, DynamicMessageChain* ownerChain)
        : m_ownerChain(ownerChain), m_className(className)
    {
    }

    void JoinOwnerChain()
    {
        if (m_ownerChain) {
            m_ownerChain->Add(this, kControlMessageMap);
            m_registered = true;
        }
    }
    // From WM_DESTROY: the chain must not offer messages to a window that is going.
    void LeaveOwnerChain()
    {
        if (m_registered && m_ownerChain) {
            TraceLog("%s::OnDestroy - Removing us from the dynamic chain hWnd = 0x%X.\n", m_className,
                     static_cast<unsigned>(reinterpret_cast<UINT_PTR>(m_hWnd)));
            m_ownerChain->Remove(this);
            m_registered = false;
        }
    }
    // Destroys the window; `this` is gone afterwards unless a message handler is still running.
    void Close()
    {
        if (m_hWnd)
            DestroyWindow(m_hWnd);
        else if (m_handlerDepth == 0)
            delete this;
    }
    // From WM_NCDESTROY (SelfDeletingWindowProc): the object goes once its handlers return.
    void OnFinalMessage()
    {
        TraceLog("%s::OnFinalMessage\n", m_className);
        m_page.UnInit();
        m_page.Release();
        m_hWnd = nullptr;
        m_finalMessageSeen = true;
    }

    HWND m_hWnd = nullptr;
    HostedPage m_page;
    NestedPageTrust m_pageTrust;
    DynamicMessageChain* m_ownerChain = nullptr;
    bool m_registered = false;
    int m_handlerDepth = 0;
    bool m_finalMessageSeen = false;

private:
    const char* m_className;
};
