#include "Wisp/windows/HtmlDialog.h"

#include "common/HostMessages.h"
#include "common/QDUtilities.h"
#include "common/TraceLog.h"
#include "common/WindowClass.h"
#include "Wisp/windows/WispPopupWindow.h"

HtmlDialog::HtmlDialog(const std::string& pagePath, IDispatch* parentReference, int width, int height,
                       bool notifyHost)
    : m_pagePath(pagePath), m_parentReference(parentReference), m_width(width), m_height(height),
      m_notifyHost(notifyHost)
{
}

void HtmlDialog::QueueScriptCall(const char* name, VARIANT* result, unsigned numArgs, const VARIANT* args,
                                 long awaitedCount)
{
    m_pendingName = name ? name : "";
    m_pendingResult = result;
    m_pendingArgs.assign(numArgs, Variant());
    for (unsigned i = 0; args && i < numArgs; ++i)
        VariantCopy(m_pendingArgs[i].Get(), const_cast<VARIANT*>(&args[i]));
    m_awaitedCount = awaitedCount;
    m_pendingCall = true;
}

INT_PTR HtmlDialog::DoModal(HWND owner)
{
    INT_PTR result = DialogBoxParamA(ThisModule(), MAKEINTRESOURCEA(kTemplateId), owner, DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    if (result == -1)
        TraceLog("HtmlDialog::DoModal - DialogBoxParam failed. Error %d\n", static_cast<int>(GetLastError()));
    // Some dialog loops end on the quit without posting it on: the thread's end is not lost.
    if (m_quitSeen)
        PostQuitMessage(m_quitCode);
    return result;
}

HRESULT HtmlDialog::SafeCallScriptMethod(const char* name, bool& found, CWispPopupWindow* pageHost, VARIANT* result,
                                         const VARIANT* args, unsigned numArgs)
{
    found = false;
    if (!pageHost) {
        TraceLog("HtmlDialog::SafeCallScriptMethod - pageHost is NULL.\n");
        return E_POINTER;
    }
    HRESULT hr = pageHost->ScriptMethodExists(name, found);
    if (FAILED(hr)) {
        TraceLog("HtmlDialog::SafeCallScriptMethod - failed calling ScriptMethodExists %s \n", name);
        return hr;
    }
    if (!found)
        return hr;
    hr = pageHost->CallScriptMethod(name, result, numArgs, args);
    if (FAILED(hr))
        TraceLog("HtmlDialog::SafeCallScriptMethod - failed calling CallScriptMethod %s\n", name);
    return hr;
}

CWispPopupWindow* HtmlDialog::PageHost() const
{
    return m_pageHost && IsWindow(m_pageHostWindow) ? m_pageHost : nullptr;
}

// --- messages --------------------------------------------------------------------------------

INT_PTR CALLBACK HtmlDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        reinterpret_cast<HtmlDialog*>(lParam)->m_hWnd = window;
    }
    auto* self = reinterpret_cast<HtmlDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (!self)
        return FALSE;
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        TraceLog("HtmlDialog::DialogProc - exception caught, message 0x%X\n", message);
        return FALSE;
    }
}

INT_PTR HtmlDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog() ? TRUE : FALSE;
    case WM_CLOSE:
        OnClose();
        return TRUE;
    case WM_SIZE:
        OnSize();
        return TRUE;
    case RM_DOCUMENT_COMPLETE:
        OnPageLoaded(static_cast<unsigned>(wParam));
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            OnButton("OnOK", "HtmlDialog::OnOK - failed calling CallScriptMethod(OnOK)\n");
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnButton("OnCancel", "HtmlDialog::OnCancel - failed calling CallScriptMethod(OnCancel)\n");
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        // The page host goes with this window.
        m_pageHost = nullptr;
        m_pageHostWindow = nullptr;
        return FALSE;
    default:
        (void)lParam;
        return FALSE;
    }
}

bool HtmlDialog::OnInitDialog()
{
    TraceLog("HtmlDialog::OnInitDialog \n");
    if (m_notifyHost)
        QDUtilities::SendApplicationMessage(RM_SET_MODAL_DIALOG_SHOWING, 1, reinterpret_cast<LPARAM>(m_hWnd));
    if (m_pagePath.empty()) {
        TraceLog("HtmlDialog::OnInitDialog bad or unset HTML path!!");
        return false;
    }
    RECT client = {};
    GetClientRect(m_hWnd, &client);
    auto* pageHost = new CWispPopupWindow();
    m_pageLoaded = false;
    pageHost->SetShowOnFirstLoad(false);
    pageHost->SetPageTrust(m_pageTrust);
    pageHost->SetHoldLifetimeWhileHidden(false);
    pageHost->SetRadii(0, 0, 0, 0);
    // A null answer: the object is gone already.
    HWND window = pageHost->CreateWispPopupWindow(client, m_pagePath.c_str(), m_hWnd, false);
    if (window) {
        m_pageHost = pageHost;
        m_pageHostWindow = window;
        m_pageCreated = true;
        PlaceOverOwner();
        ShowWindow(window, SW_SHOW);
        pageHost->SetLoadNotifyWindow(m_hWnd);
        if (m_width || m_height) {
            RECT frame = {};
            GetWindowRect(m_hWnd, &frame);
            SetWindowPos(m_hWnd, nullptr, 0, 0, m_width ? m_width : frame.right - frame.left,
                         m_height ? m_height : frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    if (!m_parentReference)
        return true;
    // Without a page host no load will ever come: waiting would hold the thread for good.
    if (!m_pageCreated)
        return true;
    // A page slower than the wait still gets its opener, on its first load: given up, the page
    // would never hear of the window that opened it.
    if (WaitForFirstLoad())
        GiveOpenerReference();
    else
        m_openerPending = true;
    return true;
}

void HtmlDialog::GiveOpenerReference()
{
    m_openerPending = false;
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = VT_DISPATCH;
    reference.pdispVal = m_parentReference;
    bool found = false;
    if (FAILED(SafeCallScriptMethod("ModalDialogParentReference", found, PageHost(), nullptr, &reference, 1)))
        TraceLog("HtmlDialog::OnInitDialog - failed calling SafeCallScriptMethod(ModalDialogParentReference)\n");
}

bool HtmlDialog::WaitForFirstLoad()
{
    // Bounded, and a WM_QUIT ends it (posted again for the loops outside): the nested pump
    // must neither hang on a page that never loads nor swallow the thread's end.
    const DWORD start = GetTickCount();
    while (!m_pageLoaded) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kFirstLoadWaitMs) {
            TraceLog("HtmlDialog::OnInitDialog - the page did not load within %u ms.\n",
                     static_cast<unsigned>(kFirstLoadWaitMs));
            return false;
        }
        const DWORD slice = kFirstLoadWaitMs - elapsed < 1000 ? kFirstLoadWaitMs - elapsed : 1000;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_ALLINPUT);
        MSG msg;
        while (!m_pageLoaded && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                TraceLog("HtmlDialog::OnInitDialog - WM_QUIT while waiting for the page.\n");
                m_quitSeen = true;
                m_quitCode = static_cast<int>(msg.wParam);
                PostQuitMessage(m_quitCode);
                return false;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return true;
}

void HtmlDialog::PlaceOverOwner()
{
    RECT area = {};
    HWND owner = GetWindow(m_hWnd, GW_OWNER);
    if (!owner || !GetWindowRect(owner, &area))
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    RECT frame = {};
    GetWindowRect(m_hWnd, &frame);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    const int left = area.left + ((area.right - area.left) - width) / 2;
    const int top = area.top + ((area.bottom - area.top) - height) / 2;
    SetWindowPos(m_hWnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void HtmlDialog::OnClose()
{
    // A second close (ExitDialog and the close button together) must not tell the host twice.
    if (m_closed)
        return;
    m_closed = true;
    EndDialog(m_hWnd, IDCANCEL);
    if (m_notifyHost)
        QDUtilities::SendApplicationMessage(RM_SET_MODAL_DIALOG_SHOWING, 0, 0);
}

void HtmlDialog::OnSize()
{
    if (!m_pageCreated || !PageHost())
        return;
    RECT client = {};
    GetClientRect(m_hWnd, &client);
    MoveWindow(m_pageHostWindow, 0, 0, client.right, client.bottom, TRUE);
}

void HtmlDialog::OnPageLoaded(unsigned count)
{
    m_pageLoaded = true;
    if (m_openerPending)
        GiveOpenerReference();
    if (!m_pendingCall || static_cast<long>(count) != m_awaitedCount)
        return;
    m_pendingCall = false;
    std::vector<VARIANT> args(m_pendingArgs.size());
    for (std::size_t i = 0; i < args.size(); ++i)
        args[i] = *m_pendingArgs[i].Get();   // lent, still owned by the queue
    bool found = false;
    if (FAILED(SafeCallScriptMethod(m_pendingName.c_str(), found, PageHost(), m_pendingResult,
                                    args.empty() ? nullptr : args.data(), static_cast<unsigned>(args.size()))))
        TraceLog("HtmlDialog::OnInitDialog - failed calling SafeCallScriptMethod(ModalDialogParentReference)\n");
}

void HtmlDialog::OnButton(const char* function, const char* failure)
{
    bool found = false;
    if (FAILED(SafeCallScriptMethod(function, found, PageHost(), nullptr, nullptr, 0)))
        TraceLog("%s", failure);
}
