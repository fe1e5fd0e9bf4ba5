// Tidewire.scr as it runs when the system refuses its message hook: the program's own sources,
// with SetWindowsHookExA failing from before the entry point.
#include <windows.h>

#include "tests/support/ImportHook.h"

namespace {

HHOOK WINAPI RefuseHook(int, HOOKPROC, HINSTANCE, DWORD)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

testing_support::ImportHook g_refuse(GetModuleHandleA(nullptr), "user32.dll", "SetWindowsHookExA",
                                     reinterpret_cast<void*>(&RefuseHook));

}  // namespace
