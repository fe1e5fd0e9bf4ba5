#include "common/WMIProcess.h"

#include "common/ModuleThread.h"
#include "common/TraceLog.h"
#include "common/com/Bstr.h"
#include "common/com/ComPtr.h"
#include "common/com/Handle.h"
#include "common/com/Variant.h"

#include <wbemcli.h>

#include <cstring>
#include <memory>
#include <new>

namespace {

const DWORD kAuthnWinNT = 10;           // RPC_C_AUTHN_WINNT
const DWORD kAuthzNone = 0;             // RPC_C_AUTHZ_NONE
const DWORD kAuthnLevelCall = 3;        // RPC_C_AUTHN_LEVEL_CALL
const DWORD kImpLevelImpersonate = 3;   // RPC_C_IMP_LEVEL_IMPERSONATE

using CoSetProxyBlanketFn = HRESULT(WINAPI*)(IUnknown*, DWORD, DWORD, OLECHAR*, DWORD, DWORD,
                                             RPC_AUTH_IDENTITY_HANDLE, DWORD);

// COM for this thread, undone only when it was really done here: a thread already in another
// apartment keeps its own initialisation.
class ComApartment {
public:
    ComApartment() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT m_hr;
};

// Looked up at run time: systems without DCOM security lack it. False (untraced) when missing.
bool SetProxyBlanket(IUnknown* proxy, HRESULT& hr)
{
    UniqueModule ole32(LoadLibraryA("ole32.dll"));
    if (!ole32)
        return false;
    auto setBlanket = reinterpret_cast<CoSetProxyBlanketFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(ole32.Get(), "CoSetProxyBlanket")));
    if (!setBlanket)
        return false;
    hr = setBlanket(proxy, kAuthnWinNT, kAuthzNone, nullptr, kAuthnLevelCall, kImpLevelImpersonate,
                    nullptr, EOAC_NONE);
    return true;
}

DWORD RunCreate(const char* commandLine)
{
    DWORD result = 0;
    ComPtr<IWbemLocator> locator;
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                  locator.PutVoid());
    if (FAILED(hr)) {
        TraceLog("WMIProcess::Create - Failed creating IID_IWbemLocator hr=0x%X\n", static_cast<unsigned>(hr));
        return result;
    }
    ComPtr<IWbemServices> services;
    Bstr nameSpace(L"ROOT\\cimv2");
    hr = locator->ConnectServer(nameSpace.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.Put());
    if (FAILED(hr)) {
        TraceLog("WMIProcess::Create - Failed connecting to ROOT\\cimv2 hr=0x%X\n", static_cast<unsigned>(hr));
        return result;
    }
    if (!SetProxyBlanket(services.Get(), hr))
        return result;
    if (FAILED(hr)) {
        TraceLog("WMIProcess::Create - CoSetProxyBlanket Failed.  hr=0x%X\n", static_cast<unsigned>(hr));
        return result;
    }
    Bstr className(L"Win32_Process");
    ComPtr<IWbemClassObject> processClass;
    hr = services->GetObject(className.Get(), 0, nullptr, processClass.Put(), nullptr);
    if (FAILED(hr)) {
        TraceLog("WMIProcess::Create - Failed getting Win32_Process class hr=0x%X\n", static_cast<unsigned>(hr));
        return result;
    }
    ComPtr<IWbemClassObject> inDefinition;
    hr = processClass->GetMethod(L"Create", 0, inDefinition.Put(), nullptr);
    if (FAILED(hr)) {
        TraceLog("WMIProcess::Create - Failed getting Create method from class object.  hr=0x%X\n",
                 static_cast<unsigned>(hr));
        return result;
    }
    ComPtr<IWbemClassObject> inParameters;
    hr = inDefinition->SpawnInstance(0, inParameters.Put());
    if (FAILED(hr)) {
        TraceLog("WMIProcess::Create - SpawnInstance Failed  hr=0x%X\n", static_cast<unsigned>(hr));
        return result;
    }
    Variant command = Variant::FromBstr(Bstr::FromAnsi(commandLine).Detach());
    hr = inParameters->Put(L"CommandLine", 0, command.Get(), 0);
    if (FAILED(hr)) {
        TraceLog("WMIProcess::Create - Failed putting command  hr=0x%X\n", static_cast<unsigned>(hr));
        return result;
    }
    Bstr methodName(L"Create");
    // A real slot for the output parameters: they are released unread.
    ComPtr<IWbemClassObject> outParameters;
    hr = services->ExecMethod(className.Get(), methodName.Get(), 0, nullptr, inParameters.Get(),
                              outParameters.Put(), nullptr);
    if (FAILED(hr))
        TraceLog("WMIProcess::Create - ExecMethod Failed hr=0x%X\n", static_cast<unsigned>(hr));
    else
        result = 1;
    return result;
}

}  // namespace

DWORD WMIProcess::Create(const char* commandLine)
{
    if (!commandLine)
        return 0;
    ComApartment apartment;
    try {
        return RunCreate(commandLine);
    } catch (...) {
        TraceLog("WMIProcess::Create - Caught Exception.\n");
        return 0;
    }
}

DWORD WMIProcess::CreateThreadProc(void* ownedCopy)
{
    // The thread owns its copy: after a time-out the caller's text may be gone.
    std::unique_ptr<char[]> commandLine(static_cast<char*>(ownedCopy));
    return Create(commandLine.get());
}

bool WMIProcess::ThreadCreate(const char* commandLine)
{
    if (!commandLine || !*commandLine)
        return false;
    const std::size_t size = std::strlen(commandLine) + 1;
    std::unique_ptr<char[]> copy(new (std::nothrow) char[size]);
    if (!copy)
        return false;
    std::memcpy(copy.get(), commandLine, size);
    // After a time-out the thread runs on alone: it holds the library it runs in until it ends.
    UniqueHandle thread(StartModuleThread(&WMIProcess::CreateThreadProc, copy.get()));
    if (!thread)
        return false;
    copy.release();   // the thread frees it
    if (WaitForSingleObject(thread.Get(), kWaitMs) != WAIT_OBJECT_0) {
        TraceLog("WMIProcess::ThreadCreate - WaitForSingleObject timed out.\n");
        return false;
    }
    DWORD exitCode = 0;
    if (!GetExitCodeThread(thread.Get(), &exitCode))
        return false;
    return exitCode != 0;
}
