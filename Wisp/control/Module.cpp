// Library entry points: the class-object gate, the object map of one class and registration
// through the platform's registrar with the scripts embedded as REGISTRY resources.
#include "Wisp/control/Module.h"

#include "common/HostMessages.h"
#include "common/TraceLog.h"
#include "common/com/ComObject.h"
#include "common/com/Handle.h"
#include "common/com/Registrar.h"
#include "Wisp/control/WispControl.h"
#include "resource.h"

#include <objbase.h>

#include <new>
#include <string>

namespace {

HINSTANCE g_instance = nullptr;
CRITICAL_SECTION g_moduleLock;
bool g_moduleLockReady = false;
IClassFactory* g_controlFactory = nullptr;   // created on first request, released on detach
ITypeLib* g_typeLibrary = nullptr;

const wchar_t kAppId[] = L"{ADE83D1D-C5C8-438B-A104-9F8DB6125D6E}";
const wchar_t kOleMisc[] = L"131472";
const DWORD kMutexAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;   // 0x00100001

class ModuleCriticalSection {
public:
    ModuleCriticalSection() { EnterCriticalSection(&g_moduleLock); }
    ~ModuleCriticalSection() { LeaveCriticalSection(&g_moduleLock); }
};

std::wstring ModulePath()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(g_instance, path, MAX_PATH);
    return std::wstring(path, length < MAX_PATH ? length : 0);
}

// COM for the length of one registration call (regsvr32 may or may not have initialised it).
class ComScope {
public:
    ComScope() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope()
    {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }

private:
    HRESULT m_hr;
};

// Text for a quoted string of a registry script: an apostrophe (a folder may have one) is
// written twice, as the script language asks; a lone one would end the string early.
std::wstring ScriptString(const std::wstring& text)
{
    std::wstring quoted;
    for (wchar_t c : text) {
        quoted += c;
        if (c == L'\'')
            quoted += c;
    }
    return quoted;
}

HRESULT CreateRegistrar(ComPtr<IRegistrar>& registrar)
{
    return CoCreateInstance(CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER, IID_IRegistrar, registrar.PutVoid());
}

// Runs one REGISTRY resource of this module forwards or backwards with the module's replacements.
HRESULT RunScript(UINT id, bool doRegister)
{
    ComPtr<IRegistrar> registrar;
    HRESULT hr = CreateRegistrar(registrar);
    if (FAILED(hr))
        return hr;
    std::wstring module = ModulePath();
    registrar->AddReplacement(L"APPID", kAppId);
    if (id == IDR_WISPCONTROL) {
        registrar->AddReplacement(L"MODULE", ScriptString(module).c_str());
        registrar->AddReplacement(L"OLEMISC", kOleMisc);
    }
    return doRegister ? registrar->ResourceRegister(module.c_str(), id, L"REGISTRY")
                      : registrar->ResourceUnregister(module.c_str(), id, L"REGISTRY");
}

HRESULT RegisterTypeLibrary()
{
    std::wstring module = ModulePath();
    ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(module.c_str(), REGKIND_NONE, library.Put());
    if (FAILED(hr))
        return hr;
    return RegisterTypeLib(library.Get(), const_cast<LPOLESTR>(module.c_str()), nullptr);
}

HRESULT UnregisterTypeLibrary()
{
    SYSKIND kind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
    HRESULT hr = UnRegisterTypeLib(LIBID_WispLib, 1, 0, 0, kind);
    // Nothing registered is not a failure of unregistration.
    if (hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_LIBNOTREGISTERED)
        return S_OK;
    return hr;
}

}  // namespace

namespace WispModule {

HINSTANCE Instance()
{
    return g_instance;
}

HRESULT GetTypeInfo(REFGUID guid, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    ModuleCriticalSection lock;
    if (!g_typeLibrary) {
        std::wstring module = ModulePath();
        HRESULT hr = LoadTypeLibEx(module.c_str(), REGKIND_NONE, &g_typeLibrary);
        if (FAILED(hr))
            return hr;
    }
    return g_typeLibrary->GetTypeInfoOfGuid(guid, info);
}

}  // namespace WispModule

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        DisableThreadLibraryCalls(instance);
        if (!InitializeCriticalSectionAndSpinCount(&g_moduleLock, 0))
            return FALSE;
        g_moduleLockReady = true;
    } else if (reason == DLL_PROCESS_DETACH) {
        // At process exit (reserved != null) other modules may already be gone: leave them be.
        if (!reserved) {
            if (g_controlFactory)
                g_controlFactory->Release();
            if (g_typeLibrary)
                g_typeLibrary->Release();
        }
        g_controlFactory = nullptr;
        g_typeLibrary = nullptr;
        if (g_moduleLockReady)
            DeleteCriticalSection(&g_moduleLock);
        g_moduleLockReady = false;
    }
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    return ModuleLock::Current() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    // Only a process that created the control-creation mutex (a host, the screen saver, the
    // library's own windows) may create controls; a page in an ordinary browser may not.
    UniqueHandle mutex(OpenMutexA(kMutexAccess, FALSE, CONTROL_CREATION_MUTEX));
    if (!mutex) {
        TraceLog("Security Failure.\n");
        return E_FAIL;
    }
    mutex.Reset();
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_WispControl))
        return CLASS_E_CLASSNOTAVAILABLE;
    ModuleCriticalSection lock;
    if (!g_controlFactory) {
        g_controlFactory = new (std::nothrow) ClassFactory<CWispControl>();
        if (!g_controlFactory)
            return E_OUTOFMEMORY;
        g_controlFactory->AddRef();
    }
    return g_controlFactory->QueryInterface(riid, ppv);
}

STDAPI DllRegisterServer()
{
    ComScope com;
    HRESULT hr = RunScript(IDR_WISP_APPID, true);
    if (FAILED(hr))
        return hr;
    hr = RunScript(IDR_WISPCONTROL, true);
    if (FAILED(hr))
        return hr;
    return RegisterTypeLibrary();
}

STDAPI DllUnregisterServer()
{
    ComScope com;
    HRESULT hr = RunScript(IDR_WISPCONTROL, false);
    if (FAILED(hr))
        return hr;
    hr = UnregisterTypeLibrary();
    if (FAILED(hr))
        return hr;
    return RunScript(IDR_WISP_APPID, false);
}
