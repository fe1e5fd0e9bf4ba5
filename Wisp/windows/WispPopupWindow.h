// A borderless window showing an HTML page in a nested Wisp.WispControl: it slides from a start
// to a destination rectangle, may have rounded corners, a lifetime ending in a slide back or a
// fade, and closes when the mouse leaves it. Notification pop-ups, the screen saver's fade
// window and the page area of the HTML dialog are made of it.
//
// Lifetime: allocate with new; the object deletes itself with its window (final message). A
// Create... call answering null has already deleted the object.
#pragma once

#include <windows.h>

#include "common/com/Bstr.h"
#include "common/com/ComPtr.h"
#include "Wisp/windows/HostedPageWindow.h"

class CWispControl;

class CWispPopupWindow : public HostedPageWindow {
public:
    static const char kWindowClass[];   // "WispPopupWindow"

    enum Timer : UINT_PTR {
        kMouseLeaveTimer = 1001,   // 1000 ms
        kLifetimeTimer = 1002,     // 250 ms
        kHoverTimer = 1003,        // 500 ms
        kFadeTimer = 1004,         // the fade interval
    };
    static const DWORD kSlideMs = 250;

    // A pop-up that registers in the creating control's dynamic chain.
    explicit CWispPopupWindow(DynamicMessageChain* ownerChain);
    // Without a chain (the screen saver's fade window, the HTML dialog).
    CWispPopupWindow();
    ~CWispPopupWindow() override;
    CWispPopupWindow(const CWispPopupWindow&) = delete;
    CWispPopupWindow& operator=(const CWispPopupWindow&) = delete;

    // Rectangles are screen coordinates. Answers the window, or null (see the header comment).
    HWND CreateWispPopupWindow(HWND hWndCreator, const RECT& rStart, const RECT& rDest, const char* url,
                               DWORD style, HWND hWndParent, bool mouseFlag, IDispatch* pDispParent,
                               int radiusTopLeft, int radiusTopRight, int radiusBottomLeft,
                               int radiusBottomRight, DWORD lifetimeMs);
    // Application methods without radii and lifetime.
    HWND CreateWispPopupWindow(HWND hWndCreator, const RECT& rStart, const RECT& rDest, const char* url,
                               DWORD style, HWND hWndParent, bool mouseFlag, IDispatch* pDispParent);
    // One rectangle as start and destination, radii from SetRadii, no parent dispatch; the
    // flags set before creation stay.
    HWND CreateWispPopupWindow(const RECT& rect, const char* url, HWND hWndParent, bool mouseFlag);

    // The creating control: its current-pop-up pointer is cleared when this window goes (and the
    // control is kept alive until then, with the chain this window is registered in).
    void SetCreator(CWispControl* control);
    void SetTrackingWindow(HWND window) { m_hWndTrackingWindow = window; }
    void SetLoadNotifyWindow(HWND window) { m_hWndLoadNotify = window; }
    void SetShowOnFirstLoad(bool show) { m_bShowOnFirstLoad = show; }
    void SetHoldLifetimeWhileHidden(bool hold) { m_bHoldLifetimeWhileHidden = hold; }
    void SetRadii(int topLeft, int topRight, int bottomLeft, int bottomRight);

    void Show();
    bool SlideWindow(bool reverse);
    void SetAlpha(int alpha);
    void StartFade(int alpha, DWORD lifetimeMs, DWORD fadeMs, DWORD intervalMs);
    // Gives the window the rounded region of `rect` (moved to 0,0) with the given radii.
    void SetRoundedRegion(const RECT& rect, int topLeft, int topRight, int bottomLeft, int bottomRight);

    HRESULT ScriptMethodExists(const char* name, bool& found) const { return m_page.ScriptMethodExists(name, found); }
    HRESULT CallScriptMethod(const char* name, VARIANT* result, unsigned numArgs, const VARIANT* args) const
    {
        return m_page.CallScriptMethod(name, result, numArgs, args);
    }

    unsigned DocumentCompleteCount() const { return m_documentCompleteCount; }

    // The tracking move, offered through the creating control's chain.
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                              DWORD mapId) override;

private:
    template <class Window>
    friend LRESULT SelfDeletingWindowProc(HWND, UINT, WPARAM, LPARAM, const char*);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void OnTimer(UINT_PTR id);
    LRESULT OnDocumentComplete();
    LRESULT OnClose();
    void OnDestroy();
    LRESULT OnTrackingMove();
    void BeginBusy();
    void EndBusy();
    bool CursorInside() const;
    bool Rounded() const;
    // Moves and sizes to `rect` above the tracking window, or topmost.
    void PlaceWindow(const RECT& rect);
    // The rounded region of `rect`, in window coordinates where it stands.
    void ShapeRounded(const RECT& rect, int topLeft, int topRight, int bottomLeft, int bottomRight);

    bool m_bCloseWhenMouseLeaves = true;
    bool m_bHoldLifetimeWhileHidden = true;
    bool m_bShowOnFirstLoad = true;
    DWORD m_clockStart = 0;
    DWORD m_lifetimeMs = 0;
    DWORD m_fadeMs = 0;
    DWORD m_fadeIntervalMs = 0;
    unsigned m_documentCompleteCount = 0;
    int m_fadeStartAlpha = 0;
    HWND m_hWndOwner = nullptr;
    HWND m_hWndLoadNotify = nullptr;
    int m_radii[4] = {0, 0, 0, 0};   // top-left, top-right, bottom-left, bottom-right
    Bstr m_url;
    IDispatch* m_pDispParent = nullptr;
    bool m_bFrameMode = true;
    bool m_bComplete = false;
    HWND m_hWndTrackingWindow = nullptr;
    int m_trackingOffsetX = 0;
    int m_trackingOffsetY = 0;
    RECT m_rDest = {};
    RECT m_rStart = {};

    CWispControl* m_creator = nullptr;
    ComPtr<IUnknown> m_creatorReference;
    bool m_busy = false;
};
