#include "Wisp/windows/WispPopupWindow.h"

#include "common/HostMessages.h"
#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"
#include "common/WindowClass.h"
#include "Wisp/control/WispControl.h"
#include "Wisp/windows/SelfDeletingWindowProc.h"
#include "Wisp/windows/WindowShape.h"

#include <cstring>
#include <string>

namespace {

const DWORD kPopupStyle = 0x86000000;          // WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN
const DWORD kPopupExStyle = 0x08000000;        // WS_EX_NOACTIVATE
const DWORD kChildStyle = 0x40000000;          // WS_CHILD
const double kSlidePerMs = 0.004;              // 1 / 250 ms
const char kFramePage[] = "\\popupframe.htm";

unsigned Hex(HWND window)
{
    return static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window));
}

bool IsTopmost(HWND window)
{
    return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

// The pop-ups of this thread waiting for their page.
thread_local int t_busyWindows = 0;

std::string ClassOf(HWND window)
{
    char name[64] = "";
    if (window)
        GetClassNameA(window, name, sizeof name);
    return name;
}

}  // namespace

const char CWispPopupWindow::kWindowClass[] = "WispPopupWindow";

CWispPopupWindow::CWispPopupWindow(DynamicMessageChain* ownerChain) : HostedPageWindow("CWispPopupWindow", ownerChain)
{
    TraceLog("CWispPopupWindow::CWispPopupWindow - m_hWndTrackingWindow = 0x%X.\n", Hex(m_hWndTrackingWindow));
}

CWispPopupWindow::CWispPopupWindow() : HostedPageWindow("CWispPopupWindow", nullptr) {}

CWispPopupWindow::~CWispPopupWindow()
{
    m_page.Release();
}

void CWispPopupWindow::SetCreator(CWispControl* control)
{
    m_creator = control;
    m_creatorReference = ComPtr<IUnknown>(control ? control->Identity() : nullptr);
}

void CWispPopupWindow::SetRadii(int topLeft, int topRight, int bottomLeft, int bottomRight)
{
    m_radii[0] = topLeft;
    m_radii[1] = topRight;
    m_radii[2] = bottomLeft;
    m_radii[3] = bottomRight;
}

bool CWispPopupWindow::Rounded() const
{
    return m_radii[0] || m_radii[1] || m_radii[2] || m_radii[3];
}

HWND CWispPopupWindow::CreateWispPopupWindow(HWND hWndCreator, const RECT& rStart, const RECT& rDest,
                                             const char* url, DWORD style, HWND hWndParent, bool mouseFlag,
                                             IDispatch* pDispParent)
{
    return CreateWispPopupWindow(hWndCreator, rStart, rDest, url, style, hWndParent, mouseFlag, pDispParent, 0, 0,
                                 0, 0, 0);
}

HWND CWispPopupWindow::CreateWispPopupWindow(const RECT& rect, const char* url, HWND hWndParent, bool mouseFlag)
{
    return CreateWispPopupWindow(nullptr, rect, rect, url, WS_POPUP, hWndParent, mouseFlag, nullptr, m_radii[0],
                                 m_radii[1], m_radii[2], m_radii[3], 0);
}

HWND CWispPopupWindow::CreateWispPopupWindow(HWND, const RECT& rStart, const RECT& rDest, const char* url, DWORD,
                                             HWND hWndParent, bool mouseFlag, IDispatch* pDispParent,
                                             int radiusTopLeft, int radiusTopRight, int radiusBottomLeft,
                                             int radiusBottomRight, DWORD lifetimeMs)
{
    TraceLog("CWispPopupWindow::CreateWispPopupWindow - start\n");
    m_hWndOwner = nullptr;
    SetRadii(radiusTopLeft, radiusTopRight, radiusBottomLeft, radiusBottomRight);
    if (!url) {
        delete this;
        return nullptr;
    }
    const bool child = hWndParent != nullptr;
    HWND parent = child ? hWndParent : GetDesktopWindow();
    if (!m_hWnd) {
        RegisterWindowClassOnce(ThisModule(), kWindowClass, WindowProc, nullptr, 0);
        // The style a child gets is given at creation: a pop-up style turned into WS_CHILD
        // later would leave the window owned rather than parented.
        CreateWindowExA(child ? 0 : kPopupExStyle, kWindowClass, "", child ? kChildStyle : kPopupStyle,
                        rStart.left, rStart.top, rStart.right - rStart.left, rStart.bottom - rStart.top, parent,
                        nullptr, ThisModule(), this);
        if (!m_hWnd) {
            TraceLog("CWispPopupWindow::CreateWispPopupWindow - CreateWindowEx failed. Error %d\n",
                     static_cast<int>(GetLastError()));
            delete this;
            return nullptr;
        }
    }
    SetWindowLongA(m_hWnd, GWL_EXSTYLE, child ? 0 : kPopupExStyle);
    SetWindowLongA(m_hWnd, GWL_STYLE, child ? kChildStyle : kPopupStyle);

    m_rStart = rStart;
    m_rDest = rDest;
    m_bCloseWhenMouseLeaves = mouseFlag;
    m_bFrameMode = true;
    if (Rounded()) {
        SetRoundedRegion(rStart, m_radii[0], m_radii[1], m_radii[2], m_radii[3]);
        m_bFrameMode = false;
    }
    if (lifetimeMs > 0) {
        m_lifetimeMs = lifetimeMs;
        m_clockStart = GetTickCount();
        SetTimer(m_hWnd, kLifetimeTimer, 250, nullptr);
        m_bCloseWhenMouseLeaves = false;
        if (mouseFlag)
            SetTimer(m_hWnd, kHoverTimer, 500, nullptr);
    }
    BeginBusy();

    HRESULT hr = m_page.Create(m_hWnd, "CWispPopupWindow::CreateWispPopupWindow - WaitForSingleObject timed out.\n",
                               m_pageTrust);
    if (FAILED(hr)) {
        TraceLog("CWispPopupWindow::CreateWispPopupWindow - creating the control failed, hr=0x%X\n",
                 static_cast<unsigned>(hr));
        // The busy state goes with the window (OnDestroy), and so does this object.
        Close();
        return nullptr;
    }
    m_url = Bstr::FromAnsi(url);
    m_pDispParent = pDispParent;
    m_bComplete = false;

    Bstr first = m_url;
    if (m_bFrameMode) {
        std::string content;
        PersistentSettings settings;
        settings.GetProperty(SettingsId::content_directory, content);
        first = Bstr::FromAnsi((content + kFramePage).c_str());
    }
    hr = m_page.Init(first.Get(), m_hWnd, pDispParent);
    if (FAILED(hr)) {
        // No page will ever load: kept, the pop-up would stay hidden for good in the control's
        // chain while the page is told it shows. It goes (and its busy state with it), as a
        // balloon does.
        TraceLog("CWispPopupWindow::CreateWispPopupWindow - Init failed, hr=0x%X\n", static_cast<unsigned>(hr));
        Close();
        return nullptr;
    }

    if (m_hWndTrackingWindow) {
        RECT tracking = {};
        GetWindowRect(m_hWndTrackingWindow, &tracking);
        m_trackingOffsetX = rDest.left - tracking.left;
        m_trackingOffsetY = rDest.top - tracking.top;
    }
    JoinOwnerChain();
    TraceLog("CWispPopupWindow::CreateWispPopupWindow - complete, m_hWnd = 0x%X\n", Hex(m_hWnd));
    return m_hWnd;
}

// The busy state belongs to the thread, not to one window: each pop-up saving the priority it
// found would save another pop-up's raised one and leave the thread raised for good. The thread
// is raised by its first busy window and set back to normal by its last.
void CWispPopupWindow::BeginBusy()
{
    if (m_busy)
        return;
    m_busy = true;
    if (t_busyWindows++ == 0)
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    SetCursor(LoadCursor(nullptr, IDC_WAIT));
}

void CWispPopupWindow::EndBusy()
{
    if (!m_busy)
        return;
    m_busy = false;
    if (--t_busyWindows > 0)
        return;
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
}

// --- showing and shape -----------------------------------------------------------------------

void CWispPopupWindow::Show()
{
    TraceLog("CWispPopupWindow::Show()\n");
    SlideWindow(false);
    if (m_bCloseWhenMouseLeaves)
        SetTimer(m_hWnd, kMouseLeaveTimer, 1000, nullptr);
}

void CWispPopupWindow::PlaceWindow(const RECT& rect)
{
    HWND after = HWND_TOPMOST;
    if (m_hWndTrackingWindow && IsWindow(m_hWndTrackingWindow) && !IsTopmost(m_hWndTrackingWindow)) {
        after = GetWindow(m_hWndTrackingWindow, GW_HWNDPREV);
        if (!after)
            after = HWND_TOP;
    }
    SetWindowPos(m_hWnd, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, SWP_NOZORDER);
    if (after != m_hWnd)
        SetWindowPos(m_hWnd, after, rect.left, rect.top, 0, 0, SWP_NOSIZE | SWP_NOOWNERZORDER);
}

bool CWispPopupWindow::SlideWindow(bool reverse)
{
    TraceLog("CWispPopupWindow::SlideWindow - start\n");
    RECT rStart = {};
    GetWindowRect(m_hWnd, &rStart);
    const RECT rDest = m_rDest;
    TraceRect("    rStart", rStart);
    TraceRect("    rDest", rDest);
    if (EqualRect(&rStart, &rDest)) {
        ShowWindow(m_hWnd, SW_SHOW);
        return true;
    }
    HANDLE thread = GetCurrentThread();
    const int priority = GetThreadPriority(thread);
    SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);

    const int startWidth = rStart.right - rStart.left, startHeight = rStart.bottom - rStart.top;
    const int dx = rDest.left - rStart.left, dy = rDest.top - rStart.top;
    const int dw = (rDest.right - rDest.left) - startWidth, dh = (rDest.bottom - rDest.top) - startHeight;
    const RECT& clip = reverse ? rStart : rDest;
    const bool rounded = Rounded();
    bool shown = false;
    const DWORD begin = GetTickCount();
    // A busy loop: the slide owns the thread for its quarter second.
    for (DWORD elapsed = 0; (elapsed = GetTickCount() - begin) < kSlideMs;) {
        const double f = elapsed * kSlidePerMs;
        RECT current;
        current.left = rStart.left + static_cast<int>(dx * f);
        current.top = rStart.top + static_cast<int>(dy * f);
        current.right = current.left + startWidth + static_cast<int>(dw * f);
        current.bottom = current.top + startHeight + static_cast<int>(dh * f);
        RECT visible = {};
        IntersectRect(&visible, &current, &clip);
        OffsetRect(&visible, -current.left, -current.top);
        // Moved before it is reshaped: reshaped first, the window would show this step's part
        // at the previous step's place, outside the clipping rectangle, until the move.
        PlaceWindow(current);
        // Kept on purpose: nothing of it lies in the clipping rectangle yet, so an empty region
        // (a rounded outline of an empty rectangle would still enclose its corner arcs).
        // The rounded part stands where the visible part lies in the window: put at its top-left
        // corner, a pop-up sliding in from above or from the left would show outside the clipping.
        if (rounded && !IsRectEmpty(&visible))
            ShapeRounded(visible, m_radii[0], m_radii[1], m_radii[2], m_radii[3]);
        else
            SetWindowRgn(m_hWnd, CreateRectRgnIndirect(&visible), TRUE);
        if (!shown) {
            ShowWindow(m_hWnd, SW_SHOWNORMAL);
            shown = true;
        }
        UpdateWindow(m_hWnd);
        if (m_hWndOwner)
            UpdateWindow(m_hWndOwner);
    }
    SetThreadPriority(thread, priority);

    if (!reverse) {
        PlaceWindow(rDest);   // before the final shape, as in the steps
        if (rounded)
            SetRoundedRegion(rDest, m_radii[0], m_radii[1], m_radii[2], m_radii[3]);
        else
            SetWindowRgn(m_hWnd, nullptr, TRUE);
        if (!shown)
            ShowWindow(m_hWnd, SW_SHOWNORMAL);
    }
    TraceLog("CWispPopupWindow::SlideWindow - end\n");
    return true;
}

void CWispPopupWindow::SetRoundedRegion(const RECT& rect, int a, int b, int c, int d)
{
    ShapeRounded({0, 0, rect.right - rect.left, rect.bottom - rect.top}, a, b, c, d);
}

void CWispPopupWindow::ShapeRounded(const RECT& rect, int a, int b, int c, int d)
{
    WindowDc dc(m_hWnd);
    HDC h = dc.Get();
    if (!h) {
        TraceLog("  SimpleRgn failed creation\n");
        return;
    }
    const int left = rect.left, top = rect.top, right = rect.right, bottom = rect.bottom;
    // Kept on purpose: corners larger than half the rectangle (a pop-up sliding in from a thin
    // strip) would arc outside it, so each radius is capped at half the smaller side.
    const int largest = ((right - left) < (bottom - top) ? (right - left) : (bottom - top)) / 2;
    a = a < largest ? a : largest;
    b = b < largest ? b : largest;
    c = c < largest ? c : largest;
    d = d < largest ? d : largest;
    if (largest < 0)
        a = b = c = d = 0;
    BeginPath(h);
    MoveToEx(h, left + a, top, nullptr);
    PathCorner(h, {left, top, left + 2 * a, top + 2 * a}, {left + a, top}, {left, top + a});
    LineTo(h, left, bottom - c);
    PathCorner(h, {left, bottom - 2 * c, left + 2 * c, bottom}, {left, bottom - c}, {left + c, bottom});
    LineTo(h, right - d, bottom);
    PathCorner(h, {right - 2 * d, bottom - 2 * d, right, bottom}, {right - d, bottom}, {right, bottom - d});
    LineTo(h, right, top + b);
    PathCorner(h, {right - 2 * b, top, right, top + 2 * b}, {right, top + b}, {right - b, top});
    LineTo(h, left + a, top);
    CloseFigure(h);
    EndPath(h);
    SetPathAsWindowRegion(m_hWnd, h);
}

void CWispPopupWindow::SetAlpha(int alpha)
{
    if (alpha < 0)
        alpha = 0;
    if (alpha > 255)
        alpha = 255;
    QDUtilities::SetLayeredWindowAttributesDyn(m_hWnd, 0, static_cast<BYTE>(alpha), LWA_ALPHA);
}

void CWispPopupWindow::StartFade(int alpha, DWORD lifetimeMs, DWORD fadeMs, DWORD intervalMs)
{
    m_lifetimeMs = lifetimeMs;
    m_fadeMs = fadeMs;
    m_fadeIntervalMs = intervalMs;
    m_fadeStartAlpha = alpha < 0 ? 0 : (alpha > 255 ? 255 : alpha);
    m_clockStart = GetTickCount();
    SetWindowLongA(m_hWnd, GWL_EXSTYLE, GetWindowLongA(m_hWnd, GWL_EXSTYLE) | WS_EX_LAYERED);
    SetAlpha(m_fadeStartAlpha);
    ShowWindow(m_hWnd, SW_SHOW);
    if (m_lifetimeMs)
        SetTimer(m_hWnd, kLifetimeTimer, 250, nullptr);
}

// --- messages --------------------------------------------------------------------------------

LRESULT CALLBACK CWispPopupWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SelfDeletingWindowProc<CWispPopupWindow>(window, message, wParam, lParam, "CWispPopupWindow::WindowProc");
}

bool CWispPopupWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_TIMER:
        OnTimer(wParam);
        result = 0;
        return true;
    case RM_DOCUMENT_COMPLETE:
        result = OnDocumentComplete();
        return true;
    case RM_GET_LOAD_NOTIFY_WINDOW:
        result = reinterpret_cast<LRESULT>(m_hWndLoadNotify);
        return true;
    case RM_SHOW_OPTIONS_PANEL:   // 0x042B: the owner window
        result = reinterpret_cast<LRESULT>(m_hWndOwner);
        return true;
    case RM_CLOSE_POPUP:
        result = OnClose();
        return true;
    case WM_LBUTTONDOWN:
        TraceLog("WispPopupWindow::OnLButtonDown\n");
        SetCapture(m_hWnd);
        result = 0;
        return true;
    case WM_LBUTTONUP:
        TraceLog("WispPopupWindow::OnLButtonUp\n");
        ReleaseCapture();
        result = 0;
        return true;
    case WM_NCACTIVATE:
        TraceLog("CWispPopupWindow::OnNCActivate : %d\n", static_cast<int>(wParam));
        result = wParam == 0 ? 1 : 0;
        return true;
    case WM_DESTROY:
        OnDestroy();
        return false;   // the container lets go of the control too
    default:
        return false;
    }
}

bool CWispPopupWindow::CursorInside() const
{
    POINT cursor = {};
    RECT window = {};
    GetCursorPos(&cursor);
    GetWindowRect(m_hWnd, &window);
    return cursor.x >= window.left && cursor.x <= window.right && cursor.y >= window.top &&
           cursor.y <= window.bottom;
}

void CWispPopupWindow::OnTimer(UINT_PTR id)
{
    switch (id) {
    case kMouseLeaveTimer:
        if (CursorInside())
            return;
        if (GetCapture()) {
            TraceLog("CWispPopupWindow::OnPopupTimer - mouse is captured, not exiting.\n");
            return;
        }
        KillTimer(m_hWnd, kMouseLeaveTimer);
        Close();
        return;
    case kLifetimeTimer: {
        if (m_bHoldLifetimeWhileHidden && m_fadeMs) {
            if (!IsWindowVisible(m_hWnd)) {
                m_clockStart = GetTickCount();
                return;
            }
            m_bHoldLifetimeWhileHidden = false;
        }
        if (!m_lifetimeMs || GetTickCount() - m_clockStart <= m_lifetimeMs)
            return;
        KillTimer(m_hWnd, kLifetimeTimer);
        if (m_fadeMs) {
            m_clockStart = GetTickCount();
            SetTimer(m_hWnd, kFadeTimer, m_fadeIntervalMs, nullptr);
            return;
        }
        m_rDest = m_rStart;
        SlideWindow(true);
        Close();
        return;
    }
    case kHoverTimer:
        if (CursorInside())
            m_clockStart = GetTickCount();
        return;
    case kFadeTimer: {
        const DWORD elapsed = GetTickCount() - m_clockStart;
        const unsigned start = static_cast<unsigned>(m_fadeStartAlpha);
        SetAlpha(static_cast<int>(start - static_cast<double>(start) * elapsed / m_fadeMs));
        if (elapsed <= m_fadeMs)
            return;
        KillTimer(m_hWnd, kFadeTimer);
        bool found = false;
        if (SUCCEEDED(ScriptMethodExists("QDSSClear", found)) && found)
            CallScriptMethod("QDSSClear", nullptr, 0, nullptr);
        Close();
        return;
    }
    default:
        return;
    }
}

LRESULT CWispPopupWindow::OnDocumentComplete()
{
    TraceLog("CWispPopupWindow::OnDocumentComplete\n");
    try {
        if (!m_bComplete) {
            TraceLog("CWispPopupWindow::OnDocumentComplete - !m_bComplete\n");
            if (m_bShowOnFirstLoad) {
                TraceLog("CWispPopupWindow::OnDocumentComplete - Showing Popup\n");
                Show();
            }
            if (m_bFrameMode) {
                TraceLog("CWispPopupWindow::OnDocumentComplete - loading html '%s'\n", m_url.ToAnsi().c_str());
                m_page.LoadHTML(m_url.Get());
            } else {
                // Without the frame page this was the real page: no second load will come.
                EndBusy();
            }
            m_bComplete = true;
        } else {
            TraceLog("CWispPopupWindow::OnDocumentComplete - m_bComplete\n");
            EndBusy();
        }
        ++m_documentCompleteCount;
        if (m_hWndLoadNotify) {
            TraceLog("CWispPopupWindow::OnDocumentComplete - Sending doc complete count=%d\n",
                     static_cast<int>(m_documentCompleteCount));
            SendMessageA(m_hWndLoadNotify, RM_DOCUMENT_COMPLETE, m_documentCompleteCount, 0);
        }
    } catch (...) {
        TraceLog("CWispPopupWindow::OnDocumentComplete - Exception Caught! \n");
    }
    return 0;
}

LRESULT CWispPopupWindow::OnClose()
{
    KillTimer(m_hWnd, kMouseLeaveTimer);
    HWND window = m_hWnd;
    HWND parent = GetParent(window);
    // A dialog parent (the HTML dialog) closes through its own close path: destroying a modal
    // dialog would leave its owner disabled and the host never told it closed. This window
    // goes with it.
    if (parent && ClassOf(parent) == "#32770") {
        SendMessageA(parent, WM_CLOSE, 0, 0);
        return 0;
    }
    DestroyWindow(window);
    if (parent && parent != GetDesktopWindow())
        DestroyWindow(parent);
    return 0;
}

void CWispPopupWindow::OnDestroy()
{
    LeaveOwnerChain();
    // The creator must not keep addressing a pop-up that is going away.
    if (m_creator)
        m_creator->ForgetPopup(this);
    // A page that never loaded (or a failed creation) leaves the busy state behind otherwise.
    EndBusy();
}

// --- the creating control's messages ----------------------------------------------------------

bool CWispPopupWindow::ProcessWindowMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT& result, DWORD mapId)
{
    if (mapId != kControlMessageMap || message != RM_TRACKING_MOVE)
        return false;
    result = OnTrackingMove();
    // Every registered window follows the tracking window, not only the first one asked.
    return false;
}

LRESULT CWispPopupWindow::OnTrackingMove()
{
    if (!m_hWndTrackingWindow || !m_hWnd)
        return 0;
    RECT tracking = {};
    if (!GetWindowRect(m_hWndTrackingWindow, &tracking))
        return 0;
    const int x = tracking.left + m_trackingOffsetX, y = tracking.top + m_trackingOffsetY;
    const UINT flags = SWP_NOSIZE | SWP_NOACTIVATE;
    if (IsTopmost(m_hWndTrackingWindow)) {
        // A tooltip just above the tracking window would be covered.
        if (ClassOf(GetWindow(m_hWndTrackingWindow, GW_HWNDPREV)) == "tooltips_class32")
            return 0;
        SetWindowPos(m_hWnd, HWND_TOPMOST, x, y, 0, 0, flags);
        return 0;
    }
    HWND after = GetWindow(m_hWndTrackingWindow, GW_HWNDPREV);
    if (after == m_hWnd)
        SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, flags | SWP_NOZORDER);
    else
        SetWindowPos(m_hWnd, after ? after : HWND_TOP, x, y, 0, 0, flags);
    return 0;
}
