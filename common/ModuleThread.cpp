#include "common/ModuleThread.h"

#include <new>

namespace {

struct ThreadStart {
    DWORD (*body)(void*);
    void* parameter;
    HMODULE module;
};

DWORD RunBody(ThreadStart* start)
{
    DWORD (*body)(void*) = start->body;
    void* parameter = start->parameter;
    delete start;
    return body(parameter);
}

DWORD WINAPI ThreadEntry(void* argument)
{
    auto* start = static_cast<ThreadStart*>(argument);
    const HMODULE module = start->module;
    // Everything with a destructor has ended inside RunBody before the module goes.
    const DWORD result = RunBody(start);
    FreeLibraryAndExitThread(module, result);
}

}  // namespace

HANDLE StartModuleThread(DWORD (*body)(void*), void* parameter)
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&ThreadEntry),
                            &module))
        return nullptr;
    auto* start = new (std::nothrow) ThreadStart{body, parameter, module};
    if (!start) {
        FreeLibrary(module);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HANDLE thread = CreateThread(nullptr, 0, ThreadEntry, start, 0, nullptr);
    if (!thread) {
        const DWORD error = GetLastError();
        delete start;
        FreeLibrary(module);
        SetLastError(error);
    }
    return thread;
}
