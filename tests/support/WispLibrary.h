// Wisp.dll as the tests load it: from beside the test executable, registered in the prefix.
#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

std::wstring WispPath();
// Runs the library's DllRegisterServer (or DllUnregisterServer); of another copy of it when
// `path` names one.
HRESULT RegisterWisp(bool doRegister = true, const std::wstring& path = std::wstring());

}  // namespace testing_support
