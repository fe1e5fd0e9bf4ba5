// What a host sees of Wisp.dll before creating anything: the exports and the embedded type library.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include "Wisp_h.h"

namespace {

class WispModule : public ::testing::Test {
protected:
    void SetUp() override { m_module = LoadLibraryA("Wisp.dll"); }
    void TearDown() override
    {
        if (m_module)
            FreeLibrary(m_module);
    }
    HMODULE m_module = nullptr;
};

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
    const DISPID expected[] = {500, 501, 502, 504, 505, 506, 507};
    const wchar_t* names[] = {L"Init", L"LoadHTML", L"CallApplicationMethod", L"CallScriptMethod",
                              L"ScriptMethodExists", L"InformParentOfUserEvents", L"UnInit"};
    for (int i = 0; i < 7; ++i) {
        LPOLESTR name = const_cast<LPOLESTR>(names[i]);
        ASSERT_EQ(S_OK, info->GetIDsOfNames(&name, 1, &id)) << i;
        EXPECT_EQ(expected[i], id);
    }
    info->Release();

    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(CLSID_WispControl, &info));
    info->Release();
    library->Release();
}

}  // namespace
