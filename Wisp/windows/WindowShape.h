// Window shapes drawn as GDI paths on the window's device context: the rounded pop-up and the
// speech balloon become window regions through these.
#pragma once

#include <windows.h>

// The window's device context for one drawing, released with it.
class WindowDc {
public:
    explicit WindowDc(HWND window) : m_window(window), m_dc(GetDC(window)) {}
    ~WindowDc()
    {
        if (m_dc)
            ReleaseDC(m_window, m_dc);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC Get() const { return m_dc; }

private:
    HWND m_window;
    HDC m_dc;
};

// A counter-clockwise quarter arc in the box from `from` to `to`, joined to the current
// position by a line; a corner without radius (an empty box) is a line to `to`.
void PathCorner(HDC dc, const RECT& box, POINT from, POINT to);
// Ends the open path, turns it into the window's region (redrawn). False, with the trace line,
// when no region results; the window keeps its shape then.
bool SetPathAsWindowRegion(HWND window, HDC dc);
