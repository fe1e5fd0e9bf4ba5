// The window procedure of the pop-up and the balloon: objects made with new that delete
// themselves with their window.
#pragma once

#include <windows.h>

#include "common/TraceLog.h"
#include "common/axhost/AxHost.h"

// The object comes in WM_NCCREATE's create parameters. A handler may destroy the window (a page
// script closing it), so the object is deleted only once the outermost handler has returned.
// Messages it leaves go to the hosted control's container, then to the default procedure.
template <class Window>
LRESULT SelfDeletingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, const char* where)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto* object = static_cast<Window*>(create->lpCreateParams);
        object->m_hWnd = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    }
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcA(window, message, wParam, lParam);
    LRESULT result = 0;
    ++self->m_handlerDepth;
    try {
        bool handled = self->HandleMessage(message, wParam, lParam, result);
        if (!handled) {
            AxHost* container = AxHost::FromWindow(window);
            handled = container && container->HandleMessage(message, wParam, lParam, result);
        }
        if (!handled)
            result = DefWindowProcA(window, message, wParam, lParam);
    } catch (...) {
        TraceLog("%s - exception caught, message 0x%X\n", where, message);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        self->OnFinalMessage();
    }
    if (--self->m_handlerDepth == 0 && self->m_finalMessageSeen)
        delete self;
    return result;
}
