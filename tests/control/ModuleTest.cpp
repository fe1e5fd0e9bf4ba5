// What a host sees of Wisp.dll before creating anything: the exports, the embedded type library,
// the registry entries it writes and removes, and the class-object gate.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Wisp_h.h"
#include "common/HostMessages.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/WispLibrary.h"

using testing_support::TraceCapture;

namespace {

const char kClsidKey[] = "CLSID\\{51FD1C75-2005-4EBA-8E41-45416E366143}";
const char kAppIdKey[] = "AppID\\{ADE83D1D-C5C8-438B-A104-9F8DB6125D6E}";
const char kTypeLibKey[] = "TypeLib\\{775097FD-4104-4071-B098-CF615FB392B5}";

bool KeyExists(const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// The string value `name` ("" = default) of HKCR\path; "<missing>" when absent.
std::string Value(const std::string& path, const char* name = "")
{
    char data[1024];
    DWORD size = sizeof data;
    DWORD type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<missing>";
    LONG rc = RegQueryValueExA(key, *name ? name : nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ)
        return "<missing>";
    return std::string(data, size && data[size - 1] == '\0' ? size - 1 : size);
}

std::vector<std::string> SubKeys(const std::string& path)
{
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, size);
    }
    RegCloseKey(key);
    return names;
}

std::string ModulePath()
{
    std::wstring wide = testing_support::WispPath();
    char path[MAX_PATH];
    GetFullPathNameA(std::string(wide.begin(), wide.end()).c_str(), MAX_PATH, path, nullptr);
    return path;
}

void ExpectRegistered(const std::string& module = ModulePath())
{
    const std::string clsid = "{51FD1C75-2005-4EBA-8E41-45416E366143}";
    EXPECT_EQ("Wisp", Value(kAppIdKey));
    EXPECT_EQ("{ADE83D1D-C5C8-438B-A104-9F8DB6125D6E}", Value("AppID\\Wisp.DLL", "AppID"));

    EXPECT_EQ("WispControl Class", Value("Wisp.WispControl.1"));
    EXPECT_EQ(clsid, Value("Wisp.WispControl.1\\CLSID"));
    EXPECT_EQ("WispControl Class", Value("Wisp.WispControl"));
    EXPECT_EQ(clsid, Value("Wisp.WispControl\\CLSID"));
    EXPECT_EQ("Wisp.WispControl.1", Value("Wisp.WispControl\\CurVer"));

    const std::string c = kClsidKey;
    EXPECT_EQ("WispControl Class", Value(c));
    EXPECT_EQ("{ADE83D1D-C5C8-438B-A104-9F8DB6125D6E}", Value(c, "AppID"));
    EXPECT_EQ("Wisp.WispControl.1", Value(c + "\\ProgID"));
    EXPECT_EQ("Wisp.WispControl", Value(c + "\\VersionIndependentProgID"));
    EXPECT_TRUE(KeyExists(c + "\\Programmable"));
    EXPECT_EQ(module, Value(c + "\\InprocServer32"));
    EXPECT_EQ("Apartment", Value(c + "\\InprocServer32", "ThreadingModel"));
    EXPECT_TRUE(KeyExists(c + "\\Control"));
    EXPECT_EQ(module + ", 102", Value(c + "\\ToolboxBitmap32"));
    EXPECT_EQ("0", Value(c + "\\MiscStatus"));
    EXPECT_EQ("131472", Value(c + "\\MiscStatus\\1"));
    EXPECT_EQ("{775097FD-4104-4071-B098-CF615FB392B5}", Value(c + "\\TypeLib"));
    EXPECT_EQ("1.0", Value(c + "\\Version"));
    EXPECT_EQ(9u, SubKeys(c).size());

    EXPECT_EQ("Wisp 1.0 Type Library", Value(std::string(kTypeLibKey) + "\\1.0"));
}

void ExpectUnregistered()
{
    EXPECT_FALSE(KeyExists(kClsidKey));
    EXPECT_FALSE(KeyExists("Wisp.WispControl"));
    EXPECT_FALSE(KeyExists("Wisp.WispControl.1"));
    EXPECT_FALSE(KeyExists(kAppIdKey));
    EXPECT_FALSE(KeyExists("AppID\\Wisp.DLL"));
    EXPECT_FALSE(KeyExists(std::string(kTypeLibKey) + "\\1.0"));
    EXPECT_TRUE(KeyExists("CLSID"));
    EXPECT_TRUE(KeyExists("AppID"));
}

class WispModule : public ::testing::Test {
protected:
    void SetUp() override { m_module = LoadLibraryW(testing_support::WispPath().c_str()); }
    void TearDown() override
    {
        if (m_module)
            FreeLibrary(m_module);
    }
    template <class F>
    F Export(const char* name)
    {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m_module, name)));
    }
    HMODULE m_module = nullptr;
};

using Entry = HRESULT(STDAPICALLTYPE*)();
using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

TEST_F(WispModule, ExportsTheFourServerEntryPointsByPlainName)
{
    ASSERT_NE(nullptr, m_module);
    for (const char* name :
         {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"})
        EXPECT_NE(nullptr, reinterpret_cast<void*>(GetProcAddress(m_module, name))) << name;
}

TEST_F(WispModule, EmbedsTheTypeLibraryAsResourceOne)
{
    ASSERT_NE(nullptr, m_module);
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(m_module, path, MAX_PATH);
    ITypeLib* library = nullptr;
    ASSERT_EQ(S_OK, LoadTypeLibEx(path, REGKIND_NONE, &library));

    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, library->GetLibAttr(&attributes));
    EXPECT_TRUE(IsEqualGUID(LIBID_WispLib, attributes->guid));
    EXPECT_EQ(1, attributes->wMajorVerNum);
    EXPECT_EQ(0, attributes->wMinorVerNum);
    library->ReleaseTLibAttr(attributes);

    ITypeInfo* info = nullptr;
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(IID_IWispControl, &info));
    MEMBERID id = 0;
    const DISPID expected[] = {500, 501, 502, 504, 505, 506, 507, -504, -505, -515, -519};
    const wchar_t* names[] = {L"Init", L"LoadHTML", L"CallApplicationMethod", L"CallScriptMethod",
                              L"ScriptMethodExists", L"InformParentOfUserEvents", L"UnInit", L"BorderStyle",
                              L"BorderWidth", L"HWND", L"BorderVisible"};
    for (int i = 0; i < 11; ++i) {
        LPOLESTR name = const_cast<LPOLESTR>(names[i]);
        ASSERT_EQ(S_OK, info->GetIDsOfNames(&name, 1, &id)) << i;
        EXPECT_EQ(expected[i], id);
    }
    BSTR help = nullptr;
    ASSERT_EQ(S_OK, info->GetDocumentation(502, nullptr, &help, nullptr, nullptr));
    EXPECT_STREQ(L"method CallApplicationMethod", help);
    SysFreeString(help);
    info->Release();

    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(CLSID_WispControl, &info));
    info->Release();
    library->Release();
}

TEST_F(WispModule, RegistersThroughItsExportsIdempotentlyAndUnregistersCleanly)
{
    ASSERT_NE(nullptr, m_module);
    auto registerServer = Export<Entry>("DllRegisterServer");
    auto unregisterServer = Export<Entry>("DllUnregisterServer");
    ASSERT_EQ(S_OK, registerServer());
    ExpectRegistered();

    // A stray key under the class key goes with the rebuilt ForceRemove key.
    HKEY stray = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CLASSES_ROOT, (std::string(kClsidKey) + "\\Stray").c_str(), &stray));
    RegCloseKey(stray);
    ASSERT_EQ(S_OK, registerServer());
    ExpectRegistered();
    EXPECT_FALSE(KeyExists(std::string(kClsidKey) + "\\Stray"));

    ASSERT_EQ(S_OK, unregisterServer());
    ExpectUnregistered();
    ASSERT_EQ(S_OK, registerServer());
    ExpectRegistered();
}

TEST_F(WispModule, RegistersFromAFolderWhoseNameHoldsAnApostrophe)
{
    char temp[MAX_PATH] = {};
    ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
    const std::string folder = std::string(temp) + "Wisp's copy";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string copy = folder + "\\Wisp.dll";
    ASSERT_TRUE(CopyFileA(ModulePath().c_str(), copy.c_str(), FALSE));
    HMODULE module = LoadLibraryA(copy.c_str());
    ASSERT_NE(nullptr, module);
    auto registerServer = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    ASSERT_NE(nullptr, registerServer);
    EXPECT_EQ(S_OK, registerServer());
    ExpectRegistered(copy);
    FreeLibrary(module);
    DeleteFileA(copy.c_str());
    RemoveDirectoryA(folder.c_str());
    // Leave the library registered for the suites that create the control.
    EXPECT_EQ(S_OK, testing_support::RegisterWisp());
}

TEST_F(WispModule, RegistersAndUnregistersThroughRegsvr32)
{
    const std::string command = "regsvr32.exe /s \"" + ModulePath() + "\"";
    for (int round = 0; round < 2; ++round) {
        testing_support::ChildProcess child;
        ASSERT_TRUE(child.Start(command));
        ASSERT_TRUE(child.Wait(60000));
        EXPECT_EQ(0u, child.ExitCode());
        ExpectRegistered();
    }
    {
        testing_support::ChildProcess child;
        ASSERT_TRUE(child.Start("regsvr32.exe /s /u \"" + ModulePath() + "\""));
        ASSERT_TRUE(child.Wait(60000));
        EXPECT_EQ(0u, child.ExitCode());
        ExpectUnregistered();
    }
    // Leave the library registered for the suites that create the control.
    EXPECT_EQ(S_OK, testing_support::RegisterWisp());
}

TEST_F(WispModule, HandsOutClassObjectsOnlyWhileTheCreationMutexExists)
{
    ASSERT_NE(nullptr, m_module);
    auto getClassObject = Export<GetClassObject>("DllGetClassObject");
    ASSERT_NE(nullptr, getClassObject);

    std::size_t mark = TraceCapture::Mark();
    IUnknown* untouched = reinterpret_cast<IUnknown*>(0x1234);
    EXPECT_EQ(E_FAIL, getClassObject(CLSID_WispControl, IID_IClassFactory, reinterpret_cast<void**>(&untouched)));
    EXPECT_EQ(reinterpret_cast<IUnknown*>(0x1234), untouched);
    EXPECT_NE(std::string::npos, TraceCapture::Since(mark).find("Security Failure.\n"));
    // Creation by ProgID fails the same way.
    IUnknown* control = nullptr;
    EXPECT_TRUE(FAILED(CoCreateInstance(CLSID_WispControl, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                        reinterpret_cast<void**>(&control))));

    HANDLE mutex = CreateMutexA(nullptr, FALSE, CONTROL_CREATION_MUTEX);
    ASSERT_NE(nullptr, mutex);
    IClassFactory* factory = nullptr;
    EXPECT_EQ(S_OK, getClassObject(CLSID_WispControl, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    ASSERT_NE(nullptr, factory);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              getClassObject(IID_IWispControl, IID_IClassFactory, reinterpret_cast<void**>(&control)));
    EXPECT_EQ(E_POINTER, getClassObject(CLSID_WispControl, IID_IClassFactory, nullptr));

    auto canUnload = Export<Entry>("DllCanUnloadNow");
    EXPECT_EQ(S_OK, canUnload());
    IUnknown* object = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)));
    EXPECT_EQ(S_FALSE, canUnload());
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(object, IID_IUnknown, reinterpret_cast<void**>(&control)));
    object->Release();
    EXPECT_EQ(S_OK, canUnload());
    factory->LockServer(TRUE);
    EXPECT_EQ(S_FALSE, canUnload());
    factory->LockServer(FALSE);
    factory->Release();
    CloseHandle(mutex);
}

}  // namespace
