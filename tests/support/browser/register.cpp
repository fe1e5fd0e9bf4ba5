// Registers the browser stand-in and the shell window list stand-in (beside this program) in the
// running Wine prefix, so that CoCreateInstance(CLSID_WebBrowser) and in-process
// CoCreateInstance(CLSID_ShellWindows) give them on every thread and in every process.
//   register_browser_standin [/u]
#include "BrowserStandIn.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

int main(int argc, char** argv)
{
    bool unregister = argc > 1 && _stricmp(argv[1], "/u") == 0;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + WISP_BROWSER_STANDIN_DLL;
    HMODULE dll = LoadLibraryW(path.c_str());
    if (!dll) {
        std::fwprintf(stderr, L"register_browser_standin: cannot load %ls, error %lu\n", path.c_str(), GetLastError());
        return 1;
    }
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto entry = reinterpret_cast<Entry>(
        reinterpret_cast<void*>(GetProcAddress(dll, unregister ? "DllUnregisterServer" : "DllRegisterServer")));
    HRESULT hr = entry ? entry() : HRESULT_FROM_WIN32(GetLastError());
    FreeLibrary(dll);
    if (FAILED(hr)) {
        std::fwprintf(stderr, L"register_browser_standin: %ls failed, hr=0x%08lX\n",
                      unregister ? L"DllUnregisterServer" : L"DllRegisterServer", static_cast<unsigned long>(hr));
        return 1;
    }
    std::wprintf(L"%ls %ls\n", path.c_str(), unregister ? L"unregistered" : L"registered");
    return 0;
}
