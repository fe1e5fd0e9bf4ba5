// The library's module state: its instance, the embedded type library and the lock count.
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace WispModule {

HINSTANCE Instance();
// Type information from the type library embedded as resource TYPELIB 1 (loaded once).
HRESULT GetTypeInfo(REFGUID guid, ITypeInfo** info);

}  // namespace WispModule
