// A modal dialog whose whole client area is an HTML page, shown by a child CWispPopupWindow
// (no slide, lifetime or rounded corners). Enter and Escape reach the page's "OnOK" and
// "OnCancel" and never close the dialog by themselves; it closes on WM_CLOSE (the caption's
// close button, the page's ExitDialog or ClosePopup). One script call can be queued to run
// when the page has loaded a given number of times (the frame page is load 1, the page 2).
//
//   HtmlDialog dialog(path, opener, 0, 0, true);
//   dialog.QueueScriptCall("changeCategory", nullptr, 1, &category, 2);
//   INT_PTR result = dialog.DoModal(owner);   // IDCANCEL once closed, -1 when it never showed
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

#include "common/com/Variant.h"
#include "Wisp/control/NestedControl.h"
#include "Wisp/resource.h"

class CWispPopupWindow;

class HtmlDialog {
public:
    static const WORD kTemplateId = IDD_HTML_DIALOG;   // "Tidewire Options", 356 x 288 DLU
    // The wait for the first page load before the page gets its opener reference.
    static const DWORD kFirstLoadWaitMs = 10000;

    // width, height: pixels, 0 keeps the template's. notifyHost: tell the host application
    // (0x041E) when the dialog opens and closes.
    HtmlDialog(const std::string& pagePath, IDispatch* parentReference, int width, int height, bool notifyHost);
    HtmlDialog(const HtmlDialog&) = delete;
    HtmlDialog& operator=(const HtmlDialog&) = delete;

    // Set before DoModal. args in the order of the function's parameters (copied); result, if
    // given, must outlive the dialog.
    void QueueScriptCall(const char* name, VARIANT* result, unsigned numArgs, const VARIANT* args,
                         long awaitedCount);
    INT_PTR DoModal(HWND owner);
    // Before DoModal: what the page's control inherits from the control that opened the dialog.
    void SetPageTrust(const NestedPageTrust& trust) { m_pageTrust = trust; }

    // Calls `name` on the page when it has it; answers the last HRESULT.
    static HRESULT SafeCallScriptMethod(const char* name, bool& found, CWispPopupWindow* pageHost, VARIANT* result,
                                        const VARIANT* args, unsigned numArgs);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool OnInitDialog();
    void OnClose();
    void OnSize();
    void OnPageLoaded(unsigned count);
    void OnButton(const char* function, const char* failure);
    // Pumps until the first load; false on time-out or WM_QUIT (posted again).
    bool WaitForFirstLoad();
    // "ModalDialogParentReference" with the opener, on the page as it stands.
    void GiveOpenerReference();
    void PlaceOverOwner();
    // The page host while its window lives (it goes with the dialog, or earlier).
    CWispPopupWindow* PageHost() const;

    HWND m_hWnd = nullptr;
    CWispPopupWindow* m_pageHost = nullptr;
    HWND m_pageHostWindow = nullptr;
    std::string m_pagePath;
    NestedPageTrust m_pageTrust;
    IDispatch* m_parentReference;
    int m_width;
    int m_height;
    bool m_pageLoaded = false;
    bool m_pageCreated = false;
    bool m_notifyHost;
    bool m_closed = false;
    bool m_quitSeen = false;
    bool m_openerPending = false;   // the first load came after the wait gave up
    int m_quitCode = 0;

    bool m_pendingCall = false;
    std::string m_pendingName;
    VARIANT* m_pendingResult = nullptr;
    std::vector<Variant> m_pendingArgs;
    long m_awaitedCount = 0;
};
