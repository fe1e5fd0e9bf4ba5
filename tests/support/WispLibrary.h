// Wisp.dll as the tests load it: from beside the test executable, registered in the prefix.
#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

std::wstring WispPath();
// Runs the library's DllRegisterServer (or DllUnregisterServer).
HRESULT RegisterWisp(bool doRegister = true);

}  // namespace testing_support
