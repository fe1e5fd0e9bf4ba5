#include "ScreenSaver/MessageOrigin.h"

namespace screensaver {

namespace {

struct SentNotice {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool byThisThread;
    bool pending;
};

HHOOK g_hook = nullptr;
HWND g_watched = nullptr;
SentNotice g_notice = {};

LRESULT CALLBACK SentMessageHook(int code, WPARAM sentByThisThread, LPARAM lParam)
{
    const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent && sent->hwnd == g_watched)
        g_notice = {sent->hwnd, sent->message, sent->wParam, sent->lParam, sentByThisThread != 0, true};
    return CallNextHookEx(g_hook, code, sentByThisThread, lParam);
}

}  // namespace

bool WatchMessageOrigins(HWND window)
{
    StopWatchingMessageOrigins();
    g_watched = window;
    g_hook = SetWindowsHookExA(WH_CALLWNDPROC, SentMessageHook, nullptr, GetCurrentThreadId());
    return g_hook != nullptr;
}

void StopWatchingMessageOrigins()
{
    if (g_hook)
        UnhookWindowsHookEx(g_hook);
    g_hook = nullptr;
    g_watched = nullptr;
    g_notice = {};
}

Origin MessageOriginOf(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Without the hook a posted message would pass for one this thread sent, pointers and all.
    if (!g_hook)
        return Origin::Unknown;
    // The system hands a procedure its own copy of a WM_COPYDATA from another process, so the
    // hook may have seen another address for it.
    if (g_notice.pending && g_notice.window == window && g_notice.message == message && g_notice.wParam == wParam &&
        (g_notice.lParam == lParam || message == WM_COPYDATA)) {
        g_notice.pending = false;
        return g_notice.byThisThread ? Origin::ThisThread : Origin::OtherThread;
    }
    return Origin::Posted;
}

}  // namespace screensaver
