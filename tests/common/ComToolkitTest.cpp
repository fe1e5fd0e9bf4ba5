// The COM toolkit every object of the system is built on.
#include "common/com/Bstr.h"
#include "common/com/ComObject.h"
#include "common/com/Handle.h"
#include "common/com/Strings.h"
#include "common/com/Variant.h"

#include <gtest/gtest.h>
#include <ocidl.h>

namespace {

class TwoFaced : public ComObject<TwoFaced>, public IPersist, public IOleWindow {
public:
    WISP_COM_INTERFACES(TwoFaced, WISP_COM_ENTRY(IPersist) WISP_COM_ENTRY(IOleWindow))
    WISP_IUNKNOWN_FORWARD()
    explicit TwoFaced(bool* destroyed = nullptr) : m_destroyed(destroyed) {}
    ~TwoFaced() override
    {
        if (m_destroyed)
            *m_destroyed = true;
    }
    STDMETHODIMP GetClassID(CLSID* id) override
    {
        *id = CLSID_NULL;
        return S_OK;
    }
    STDMETHODIMP GetWindow(HWND* window) override
    {
        *window = reinterpret_cast<HWND>(0x1234);
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

private:
    bool* m_destroyed;
};

TEST(ComObject, AnswersItsTableWithOneIdentityAndCountsReferences)
{
    bool destroyed = false;
    const long before = ModuleLock::Current();
    {
        ComPtr<TwoFaced> object = MakeComObject<TwoFaced>(&destroyed);
        EXPECT_EQ(before + 1, ModuleLock::Current());

        ComPtr<IOleWindow> window;
        ASSERT_EQ(S_OK, object->QueryInterface(IID_IOleWindow, window.PutVoid()));
        HWND hwnd = nullptr;
        window->GetWindow(&hwnd);
        EXPECT_EQ(reinterpret_cast<HWND>(0x1234), hwnd);

        ComPtr<IUnknown> a, b;
        ASSERT_EQ(S_OK, window->QueryInterface(IID_IUnknown, a.PutVoid()));
        ComPtr<IPersist> persist;
        ASSERT_EQ(S_OK, object->QueryInterface(IID_IPersist, persist.PutVoid()));
        ASSERT_EQ(S_OK, persist->QueryInterface(IID_IUnknown, b.PutVoid()));
        EXPECT_EQ(a.Get(), b.Get());

        ComPtr<IDispatch> none;
        EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(IID_IDispatch, none.PutVoid()));
        EXPECT_FALSE(none);
        EXPECT_EQ(E_POINTER, object->QueryInterface(IID_IPersist, nullptr));
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(before, ModuleLock::Current());
}

TEST(ComObject, ClassFactoryCreatesRefusesAggregationAndLocks)
{
    ComPtr<IClassFactory> factory;
    factory.Attach(new ClassFactory<TwoFaced>());
    factory->AddRef();
    const long before = ModuleLock::Current();

    ComPtr<IOleWindow> window;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IOleWindow, window.PutVoid()));
    EXPECT_EQ(before + 1, ModuleLock::Current());
    window = nullptr;
    EXPECT_EQ(before, ModuleLock::Current());

    ComPtr<IUnknown> outer;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.Get()), IID_IUnknown, outer.PutVoid()));
    ComPtr<IDispatch> none;
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IDispatch, none.PutVoid()));
    EXPECT_EQ(before, ModuleLock::Current());

    factory->LockServer(TRUE);
    EXPECT_EQ(before + 1, ModuleLock::Current());
    factory->LockServer(FALSE);
    EXPECT_EQ(before, ModuleLock::Current());
}

TEST(ComValues, TextCrossesTheBoundaryBothWays)
{
    EXPECT_EQ(L"caf\u00e9 42", WideFromAnsi("caf\xe9 42"));
    EXPECT_EQ("caf\xe9 42", AnsiFromWide(L"caf\u00e9 42"));
    EXPECT_EQ(L"", WideFromAnsi(static_cast<const char*>(nullptr)));
    EXPECT_EQ("", AnsiFromWide(static_cast<const wchar_t*>(nullptr)));

    Bstr text = Bstr::FromAnsi("hello");
    EXPECT_EQ(5u, text.Length());
    EXPECT_EQ("hello", text.ToAnsi());
    Bstr copy = text;
    EXPECT_NE(text.Get(), copy.Get());
    EXPECT_EQ("hello", copy.ToAnsi());
    // Embedded NULs survive, as BSTRs carry their length.
    Bstr withNul(std::wstring(L"a\0b", 3));
    EXPECT_EQ(3u, withNul.Length());
    EXPECT_EQ(std::string("a\0b", 3), withNul.ToAnsi());

    // The one-pass form takes exactly the bytes it is given.
    Bstr counted = Bstr::FromAnsi("caf\xe9 42 and more", 7);
    EXPECT_EQ(7u, counted.Length());
    EXPECT_EQ(std::wstring(L"caf\u00e9 42"), std::wstring(counted.Get(), counted.Length()));
    Bstr none = Bstr::FromAnsi(nullptr, 3);
    ASSERT_NE(nullptr, none.Get());
    EXPECT_EQ(0u, none.Length());

    Variant v = Variant::FromBstr(Bstr::FromAnsi("x").Detach());
    VARIANT out;
    v.Detach(&out);
    EXPECT_EQ(VT_EMPTY, v.Type());
    EXPECT_EQ(VT_BSTR, out.vt);
    VariantClear(&out);
}

TEST(ComValues, HandlesAreClosedOnce)
{
    HANDLE raw = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    {
        UniqueHandle event(raw);
        EXPECT_TRUE(event);
        UniqueHandle moved(std::move(event));
        EXPECT_FALSE(event);
        EXPECT_EQ(raw, moved.Get());
    }
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(raw, &flags));
    UniqueFile none;
    EXPECT_FALSE(none);
    EXPECT_EQ(INVALID_HANDLE_VALUE, none.Get());
}

}  // namespace
