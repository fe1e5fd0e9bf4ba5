// Registers a window class of a module once; later calls (other windows, other threads) find it.
#pragma once

#include <windows.h>

inline bool RegisterWindowClassOnce(HINSTANCE instance, const char* name, WNDPROC procedure,
                                    HBRUSH background = nullptr)
{
    WNDCLASSEXA existing = {sizeof existing};
    if (GetClassInfoExA(instance, name, &existing))
        return true;
    WNDCLASSEXA wc = {sizeof wc};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    return RegisterClassExA(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}
