#include "tests/support/WispLibrary.h"

namespace testing_support {

std::wstring WispPath()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring full(path, length);
    return full.substr(0, full.find_last_of(L"\\/") + 1) + L"Wisp.dll";
}

HRESULT RegisterWisp(bool doRegister, const std::wstring& path)
{
    HMODULE module = LoadLibraryW(path.empty() ? WispPath().c_str() : path.c_str());
    if (!module)
        return HRESULT_FROM_WIN32(GetLastError());
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto entry = reinterpret_cast<Entry>(
        reinterpret_cast<void*>(GetProcAddress(module, doRegister ? "DllRegisterServer" : "DllUnregisterServer")));
    HRESULT hr = entry ? entry() : E_NOTIMPL;
    FreeLibrary(module);
    return hr;
}

}  // namespace testing_support
