// Worker threads that keep the library they run in loaded: each holds its own reference to
// the module and gives it back with FreeLibraryAndExitThread as its very last act, so a host
// that releases the library while the thread still runs cannot unmap code under it.
#pragma once

#include <windows.h>

// Runs body(parameter) on a new thread; the thread's exit code is body's answer. Null (with
// the last error set, and no reference kept) when the thread could not be started. The
// caller owns the returned handle.
HANDLE StartModuleThread(DWORD (*body)(void*), void* parameter);
