#include "Wisp/windows/WispBalloonWindow.h"

#include "common/HostMessages.h"
#include "common/QDUtilities.h"
#include "common/TraceLog.h"
#include "common/WindowClass.h"
#include "common/com/Bstr.h"
#include "common/com/Handle.h"
#include "Wisp/windows/SelfDeletingWindowProc.h"
#include "Wisp/windows/WindowShape.h"

namespace {

const DWORD kLayeredNoActivate = 0x08080000;   // WS_EX_NOACTIVATE | WS_EX_LAYERED
const double kFadePerMs = 0.003003003;         // full opacity after about 333 ms
const UINT kStepMs = 33;

bool Inside(const RECT& inner, const RECT& outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// trunc(value x 255), kept inside what an int holds.
int AlphaOf(double fraction)
{
    const double alpha = fraction * 255;
    if (alpha < -1.0)
        return -1;
    if (alpha > 256.0)
        return 256;
    return static_cast<int>(alpha);
}

}  // namespace

const char CWispBalloonWindow::kWindowClass[] = "WispBalloonWindow";

CWispBalloonWindow::~CWispBalloonWindow()
{
    m_page.Release();
}

CWispBalloonWindow::TailPosition CWispBalloonWindow::Place(int x, int y, int width, int height, const RECT& bounds,
                                                           RECT& rect)
{
    static const POINT kMoves[4] = {{-1, -1}, {0, -1}, {0, 0}, {-1, 0}};
    for (int tail = kAboveLeft; tail <= kBelowLeft; ++tail) {
        rect = {x, y, x + width, y + height};
        OffsetRect(&rect, kMoves[tail].x * width, kMoves[tail].y * height);
        if (Inside(rect, bounds))
            return static_cast<TailPosition>(tail);
    }
    return kBelowLeft;   // rect holds that position's rectangle
}

HWND CWispBalloonWindow::CreateWispBalloonWindow(const char* url, int x, int y, int width, int height,
                                                 int lifetimeSeconds, HWND hWndParent)
{
    if (!url) {
        delete this;
        return nullptr;
    }
    m_lifetimeSeconds = lifetimeSeconds;
    RECT desktop = {};
    GetClientRect(GetDesktopWindow(), &desktop);
    RECT rect = {};
    const TailPosition tail = Place(x, y, width, height, desktop, rect);
    m_hWndOwner = hWndParent ? hWndParent : GetDesktopWindow();

    if (!m_hWnd) {
        RegisterWindowClassOnce(ThisModule(), kWindowClass, WindowProc);
        CreateWindowExA(0, kWindowClass, "", WS_POPUP, rect.left, rect.top, rect.right - rect.left,
                        rect.bottom - rect.top, m_hWndOwner, nullptr, ThisModule(), this);
        if (!m_hWnd) {
            TraceLog("CWispBalloonWindow::CreateWispBalloonWindow - CreateWindowEx failed. Error %d\n",
                     static_cast<int>(GetLastError()));
            delete this;
            return nullptr;
        }
    }
    SetWindowLongA(m_hWnd, GWL_EXSTYLE, GetWindowLongA(m_hWnd, GWL_EXSTYLE) | kLayeredNoActivate);
    m_alpha = 0;
    SetAlpha(0);
    BuildShape(rect, tail);

    HRESULT hr =
        m_page.Create(m_hWnd, "CWispBalloonWindow::CreateWispBalloonWindow - WaitForSingleObject timed out.\n",
                      m_pageTrust);
    if (SUCCEEDED(hr)) {
        Bstr page = Bstr::FromAnsi(url);
        hr = m_page.Init(page.Get(), m_hWnd, nullptr);
    }
    if (FAILED(hr)) {
        // A balloon whose page cannot load would stay, invisible, for the life of the process
        // while its caller is told it shows: it goes now and the caller hears of the failure.
        TraceLog("CWispBalloonWindow::CreateWispBalloonWindow - creating the control failed, hr=0x%X\n",
                 static_cast<unsigned>(hr));
        Close();
        return nullptr;
    }
    if (m_hWndTrackingWindow) {
        RECT tracking = {}, own = {};
        GetWindowRect(m_hWndTrackingWindow, &tracking);
        GetWindowRect(m_hWnd, &own);
        m_trackingOffsetX = own.left - tracking.left;
        m_trackingOffsetY = own.top - tracking.top;
    }
    JoinOwnerChain();
    m_fadeInStart = GetTickCount();
    return m_hWnd;
}

void CWispBalloonWindow::BuildShape(const RECT& rect, TailPosition tail)
{
    WindowDc dc(m_hWnd);
    HDC h = dc.Get();
    if (!h) {
        TraceLog("  SimpleRgn failed creation\n");
        return;
    }
    const int r = kCornerRadius, box = 2 * kCornerRadius, t = kTailHeight;
    const int left = 0, right = rect.right - rect.left;
    const int top = t, bottom = rect.bottom - rect.top - t;
    BeginPath(h);
    MoveToEx(h, left + r, top, nullptr);
    PathCorner(h, {left, top, left + box, top + box}, {left + r, top}, {left, top + r});
    LineTo(h, left, bottom - r);
    PathCorner(h, {left, bottom - box, left + box, bottom}, {left, bottom - r}, {left + r, bottom});
    if (tail == kAboveLeft) {
        LineTo(h, right - 28, bottom);
        LineTo(h, right - r, bottom + t);
        LineTo(h, right - r, bottom);
    } else if (tail == kAboveRight) {
        LineTo(h, left + r, bottom);
        LineTo(h, left + r, bottom + t);
        LineTo(h, left + 28, bottom);
    }
    LineTo(h, right - r, bottom);
    PathCorner(h, {right - box, bottom - box, right, bottom}, {right - r, bottom}, {right, bottom - r});
    LineTo(h, right, top + r);
    PathCorner(h, {right - box, top, right, top + box}, {right, top + r}, {right - r, top});
    if (tail == kBelowRight) {
        LineTo(h, left + r, top);
        LineTo(h, left + r, top - t);
        LineTo(h, left + 28, top);
    } else if (tail == kBelowLeft) {
        LineTo(h, right - r, top);
        LineTo(h, right - r, top - t);
        LineTo(h, right - 28, top);
    }
    LineTo(h, left + r, top);
    CloseFigure(h);
    EndPath(h);

    const int count = GetPath(h, nullptr, nullptr, 0);
    if (count > 0) {
        m_outlinePoints.assign(static_cast<std::size_t>(count), POINT{});
        m_outlineTypes.assign(static_cast<std::size_t>(count), 0);
        if (GetPath(h, m_outlinePoints.data(), m_outlineTypes.data(), count) != count) {
            m_outlinePoints.clear();
            m_outlineTypes.clear();
        }
    }
    SetPathAsWindowRegion(m_hWnd, h);
}

void CWispBalloonWindow::SetAlpha(int alpha)
{
    if (alpha < 0)
        alpha = 0;
    if (alpha > 255)
        alpha = 255;
    if (alpha == 255)
        DrawBorder();
    m_alpha = alpha;
    QDUtilities::SetLayeredWindowAttributesDyn(m_hWnd, 0, static_cast<BYTE>(alpha), LWA_ALPHA);
}

void CWispBalloonWindow::StartFadeOut()
{
    KillTimer(m_hWnd, kLifetimeTimer);
    KillTimer(m_hWnd, kFadeInTimer);
    SetTimer(m_hWnd, kFadeOutTimer, kStepMs, nullptr);
    m_fadeOutStart = GetTickCount();
}

void CWispBalloonWindow::DrawBorder()
{
    if (m_outlinePoints.empty()) {
        TraceLog("CWispBalloonWindow::DrawBorder - no points to draw\n");
        return;
    }
    WindowDc dc(m_hWnd);
    HDC h = dc.Get();
    if (!h)
        return;
    UniqueGdiObject pen(CreatePen(PS_SOLID, 2, RGB(0, 0, 0)));
    HGDIOBJ previous = SelectObject(h, pen.Get());
    const std::size_t count = m_outlinePoints.size();
    std::size_t figureStart = 0;
    bool open = false;
    auto closeFigure = [&] {
        LineTo(h, m_outlinePoints[figureStart].x, m_outlinePoints[figureStart].y);
        open = false;
    };
    for (std::size_t i = 0; i < count; ++i) {
        const BYTE type = m_outlineTypes[i];
        const POINT& p = m_outlinePoints[i];
        switch (type & ~PT_CLOSEFIGURE) {
        case PT_MOVETO:
            if (open && i > 0)
                closeFigure();
            MoveToEx(h, p.x, p.y, nullptr);
            figureStart = i;
            open = true;
            break;
        case PT_LINETO:
            LineTo(h, p.x, p.y);
            if (type & PT_CLOSEFIGURE)
                closeFigure();
            break;
        case PT_BEZIERTO:
            if (i + 2 < count) {
                PolyBezierTo(h, &m_outlinePoints[i], 3);
                i += 2;
                if (m_outlineTypes[i] & PT_CLOSEFIGURE)
                    closeFigure();
            }
            break;
        default:
            break;
        }
    }
    if (open && count - figureStart >= 2)
        closeFigure();
    SelectObject(h, previous);
}

// --- messages --------------------------------------------------------------------------------

LRESULT CALLBACK CWispBalloonWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SelfDeletingWindowProc<CWispBalloonWindow>(window, message, wParam, lParam, "CWispBalloonWindow::WindowProc");
}

bool CWispBalloonWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (message) {
    case WM_TIMER:
        OnTimer(wParam);
        result = 0;
        return true;
    case RM_DOCUMENT_COMPLETE:
        result = OnDocumentComplete();
        return true;
    case RM_CLOSE_POPUP:
        KillTimer(m_hWnd, kLifetimeTimer);
        KillTimer(m_hWnd, kFadeInTimer);
        Close();
        result = 0;
        return true;
    case WM_DESTROY:
        LeaveOwnerChain();
        return false;
    default:
        return false;
    }
}

LRESULT CWispBalloonWindow::OnDocumentComplete()
{
    TraceLog("CWispBalloonWindow::OnDocumentComplete\n");
    ShowWindow(m_hWnd, SW_SHOW);
    m_fadeInStart = GetTickCount();
    SetTimer(m_hWnd, kFadeInTimer, kStepMs, nullptr);
    if (m_lifetimeSeconds >= 1)
        SetTimer(m_hWnd, kLifetimeTimer, 1000, nullptr);
    return 0;
}

void CWispBalloonWindow::OnTimer(UINT_PTR id)
{
    const DWORD now = GetTickCount();
    switch (id) {
    case kFadeInTimer:
        SetAlpha(AlphaOf(static_cast<DWORD>(now - m_fadeInStart) * kFadePerMs));
        if (m_alpha > 254)
            KillTimer(m_hWnd, kFadeInTimer);
        return;
    case kFadeOutTimer: {
        const int alpha = AlphaOf(1.0 - static_cast<DWORD>(now - m_fadeOutStart) * kFadePerMs);
        SetAlpha(alpha);
        if (alpha < 1) {
            KillTimer(m_hWnd, kFadeOutTimer);
            Close();
        }
        return;
    }
    case kLifetimeTimer:
        if (static_cast<DWORD>(now - m_fadeInStart) > static_cast<DWORD>(m_lifetimeSeconds) * 1000u)
            StartFadeOut();
        return;
    default:
        return;
    }
}

bool CWispBalloonWindow::ProcessWindowMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT& result, DWORD mapId)
{
    if (mapId != kControlMessageMap || message != RM_TRACKING_MOVE || !m_hWnd)
        return false;
    result = 0;
    if (m_hWndTrackingWindow) {
        RECT tracking = {};
        if (GetWindowRect(m_hWndTrackingWindow, &tracking)) {
            SetWindowPos(m_hWnd, nullptr, tracking.left + m_trackingOffsetX, tracking.top + m_trackingOffsetY, 0, 0,
                         SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOZORDER);
            DrawBorder();
        }
    }
    // Every registered window follows the tracking window, not only the first one asked.
    return false;
}
