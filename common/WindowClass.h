// Window classes of a module: the module itself, and a class registered once; later calls
// (other windows, other threads) find it.
#pragma once

#include <windows.h>

// The module (library or program) that this code is linked into.
inline HINSTANCE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

inline bool RegisterWindowClassOnce(HINSTANCE instance, const char* name, WNDPROC procedure,
                                    HBRUSH background = nullptr, UINT style = CS_DBLCLKS)
{
    WNDCLASSEXA existing = {sizeof existing};
    if (GetClassInfoExA(instance, name, &existing))
        return true;
    WNDCLASSEXA wc = {sizeof wc};
    wc.style = style;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    return RegisterClassExA(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}
