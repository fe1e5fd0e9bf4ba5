// Owns a message-only window for the whole test session and never returns.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    CreateWindowExA(0, "STATIC", "wine_keepalive", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                    nullptr);
    Sleep(INFINITE);
    return 0;
}
