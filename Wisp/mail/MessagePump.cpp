#include "Wisp/mail/MessagePump.h"

void PumpMessagesFor(DWORD ms)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            // Nobody here ends on WM_QUIT; whoever runs the thread's own loop posted it for itself.
            if (msg.message == WM_QUIT)
                continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return;
        MsgWaitForMultipleObjectsEx(0, nullptr, ms - elapsed, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

void PumpMessagesInSeconds(DWORD ms)
{
    const DWORD start = GetTickCount();
    do {
        PumpMessagesFor(1000);
    } while (GetTickCount() - start < ms);
}
