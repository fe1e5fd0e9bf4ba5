// Entry points of the stand-in DLL and its registration in the test prefix.
#include "ShellWindows.h"
#include "WebBrowser.h"

#include <exdisp.h>
#include <olectl.h>

#include <string>

namespace {

HINSTANCE g_instance = nullptr;
const wchar_t kSavedTreatAs[] = L"PreviousTreatAs";

// Each stand-in, and the platform class it takes the place of through TreatAs.
struct StandIn {
    const CLSID* own;
    const CLSID* emulated;
    const wchar_t* description;
};
const StandIn kStandIns[] = {
    {&CLSID_BrowserStandIn, &CLSID_WebBrowser, L"Wisp test browser stand-in"},
    {&CLSID_ShellWindowsStandIn, &CLSID_ShellWindows, L"Wisp test shell window list stand-in"},
};

std::wstring GuidText(REFGUID guid)
{
    wchar_t text[64] = {};
    StringFromGUID2(guid, text, 64);
    return text;
}

LONG SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value)
{
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    rc = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc;
}

bool GetString(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& value)
{
    wchar_t buffer[256] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return false;
    value = buffer;
    return true;
}

std::wstring ClassKey(REFCLSID clsid)
{
    return L"CLSID\\" + GuidText(clsid);
}

template <class T>
HRESULT FactoryFor(REFIID iid, LPVOID* out)
{
    auto* factory = new ClassFactory<T>();
    factory->AddRef();
    HRESULT hr = factory->QueryInterface(iid, out);
    factory->Release();
    return hr;
}

HRESULT RegisterStandIn(const StandIn& standIn, const wchar_t* path)
{
    const std::wstring own = ClassKey(*standIn.own);
    LONG rc = SetString(HKEY_CLASSES_ROOT, own, nullptr, standIn.description);
    if (rc == ERROR_SUCCESS)
        rc = SetString(HKEY_CLASSES_ROOT, own + L"\\InprocServer32", nullptr, path);
    if (rc == ERROR_SUCCESS)
        rc = SetString(HKEY_CLASSES_ROOT, own + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    if (rc != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(rc);
    // Keep what the prefix had, so that unregistering gives it back.
    const std::wstring treatAs = ClassKey(*standIn.emulated) + L"\\TreatAs";
    std::wstring previous;
    if (GetString(HKEY_CLASSES_ROOT, treatAs, nullptr, previous) &&
        _wcsicmp(previous.c_str(), GuidText(*standIn.own).c_str()) != 0)
        SetString(HKEY_CLASSES_ROOT, own, kSavedTreatAs, previous);
    rc = SetString(HKEY_CLASSES_ROOT, treatAs, nullptr, GuidText(*standIn.own));
    return HRESULT_FROM_WIN32(rc);
}

HRESULT UnregisterStandIn(const StandIn& standIn)
{
    const std::wstring own = ClassKey(*standIn.own);
    const std::wstring treatAs = ClassKey(*standIn.emulated) + L"\\TreatAs";
    std::wstring previous;
    if (GetString(HKEY_CLASSES_ROOT, own, kSavedTreatAs, previous))
        SetString(HKEY_CLASSES_ROOT, treatAs, nullptr, previous);
    else
        RegDeleteKeyW(HKEY_CLASSES_ROOT, treatAs.c_str());
    LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, own.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(rc);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    return ModuleLock::Current() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    // COM asks with the emulating class; the real one is accepted as well.
    if (IsEqualCLSID(clsid, CLSID_BrowserStandIn) || IsEqualCLSID(clsid, CLSID_WebBrowser))
        return FactoryFor<standin::WebBrowser>(iid, out);
    if (IsEqualCLSID(clsid, CLSID_ShellWindowsStandIn) || IsEqualCLSID(clsid, CLSID_ShellWindows))
        return FactoryFor<standin::ShellWindows>(iid, out);
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllRegisterServer()
{
    wchar_t path[MAX_PATH] = {};
    if (!GetModuleFileNameW(g_instance, path, MAX_PATH))
        return HRESULT_FROM_WIN32(GetLastError());
    for (const StandIn& standIn : kStandIns) {
        HRESULT hr = RegisterStandIn(standIn, path);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

STDAPI DllUnregisterServer()
{
    HRESULT result = S_OK;
    for (const StandIn& standIn : kStandIns) {
        HRESULT hr = UnregisterStandIn(standIn);
        if (FAILED(hr))
            result = hr;
    }
    return result;
}
