// The COM toolkit every object of the system is built on.
#include "common/MessageBlock.h"
#include "common/com/Bstr.h"
#include "common/com/ComError.h"
#include "common/com/ComObject.h"
#include "common/com/Handle.h"
#include "common/com/Strings.h"
#include "common/com/Variant.h"

#include <gtest/gtest.h>
#include <ocidl.h>

#include <stdexcept>
#include <vector>

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

// Takes and drops a reference to itself while it is destroyed, as a window procedure does when
// the object's window gets a message on the way out.
class SelfHolding : public ComObject<SelfHolding>, public IPersist {
public:
    WISP_COM_INTERFACES(SelfHolding, WISP_COM_ENTRY(IPersist))
    WISP_IUNKNOWN_FORWARD()
    explicit SelfHolding(int* destructions) : m_destructions(destructions) {}
    ~SelfHolding() override
    {
        ++*m_destructions;
        ComPtr<IUnknown> self(Identity());
    }
    STDMETHODIMP GetClassID(CLSID* id) override
    {
        *id = CLSID_NULL;
        return S_OK;
    }

private:
    int* m_destructions;
};

TEST(ComObject, AReferenceTakenDuringDestructionDoesNotDestroyItTwice)
{
    int destructions = 0;
    const long before = ModuleLock::Current();
    MakeComObject<SelfHolding>(&destructions);
    EXPECT_EQ(1, destructions);
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
    // Past a long ASCII start the code page still converts the rest.
    const std::string mixed = "0123456789abc\xe9 and the rest";
    Bstr converted = Bstr::FromAnsi(mixed.data(), mixed.size());
    EXPECT_EQ(WideFromAnsi(mixed), std::wstring(converted.Get(), converted.Length()));
    EXPECT_EQ(L'\u00e9', converted.Get()[13]);
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

TEST(ComValues, AVariantArrayGivesTheLentVariantsBackOnEveryPathOut)
{
    VARIANT lent[2];
    VariantInit(&lent[0]);
    VariantInit(&lent[1]);
    lent[0].vt = VT_I4;
    lent[0].lVal = 7;
    lent[1].vt = VT_BSTR;
    lent[1].bstrVal = SysAllocString(L"kept");
    const BSTR text = lent[1].bstrVal;
    try {
        VariantArray array(2, lent);
        EXPECT_EQ(VT_EMPTY, lent[0].vt);
        EXPECT_EQ(VT_EMPTY, lent[1].vt);
        EXPECT_EQ(7, array[0].lVal);
        throw std::runtime_error("the call failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(VT_I4, lent[0].vt);
    EXPECT_EQ(7, lent[0].lVal);
    ASSERT_EQ(VT_BSTR, lent[1].vt);
    EXPECT_EQ(text, lent[1].bstrVal);

    // Released: what was taken is freed and the lender keeps nothing.
    {
        VariantArray array(2, lent);
        array.Release();
    }
    EXPECT_EQ(VT_EMPTY, lent[0].vt);
    EXPECT_EQ(VT_EMPTY, lent[1].vt);
    VariantArray none(0);
    EXPECT_EQ(nullptr, none.Data());
}

TEST(ComValues, NoExceptionLeavesAComMethod)
{
    EXPECT_EQ(S_OK, ComBoundary("Test::Ok", [] { return S_OK; }));
    EXPECT_EQ(E_ACCESSDENIED, ComBoundary("Test::ComError", []() -> HRESULT { ThrowComError(E_ACCESSDENIED); }));
    EXPECT_EQ(E_OUTOFMEMORY, ComBoundary("Test::Memory", []() -> HRESULT { throw std::bad_alloc(); }));
    EXPECT_EQ(E_UNEXPECTED, ComBoundary("Test::Other", []() -> HRESULT { throw std::out_of_range("index"); }));
    EXPECT_EQ(E_UNEXPECTED, ComBoundary("Test::Int", []() -> HRESULT { throw 3; }));
}

TEST(MessageBlocks, OnlyLiveBlocksOfThisProcessAreTakenAndEachIsFreedOnce)
{
    void* block = AllocateMessageBlock(0x040C, 16);
    ASSERT_NE(nullptr, block);
    EXPECT_TRUE(IsLiveMessageBlock(block));
    EXPECT_EQ(0, static_cast<unsigned char*>(block)[15]);
    EXPECT_EQ(16u, MessageBlockSize(block));
    EXPECT_EQ(0x040Cu, MessageBlockKind(block));

    // A handler takes a block only once it is posted, only as its own kind, and only once.
    EXPECT_FALSE(TakeMessageBlock(0x040C, reinterpret_cast<LPARAM>(block)));
    ASSERT_TRUE(PostMessageBlock(nullptr, 7, block));
    MSG posted = {};
    ASSERT_TRUE(PeekMessageA(&posted, reinterpret_cast<HWND>(-1), 0x040C, 0x040C, PM_REMOVE));
    EXPECT_EQ(7u, posted.wParam);
    EXPECT_TRUE(IsPostedMessageBlock(block, 0x040C));
    for (UINT other : {0x040Bu, 0x0436u})
        EXPECT_FALSE(TakeMessageBlock(other, posted.lParam)) << other;
    UniqueMessageBlock taken = TakeMessageBlock(0x040C, posted.lParam);
    EXPECT_EQ(block, taken.get());
    EXPECT_FALSE(TakeMessageBlock(0x040C, posted.lParam));
    EXPECT_TRUE(IsLiveMessageBlock(block)) << "the taker holds it";
    taken.release();
    // A post that fails frees the block.
    void* lost = AllocateMessageBlock(0x0436, 8);
    EXPECT_FALSE(PostMessageBlock(reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x7FFE)), 0, lost));
    EXPECT_FALSE(IsLiveMessageBlock(lost));

    // Made-up pointers are never touched: an unmapped address, one inside a live block, a
    // block of the heap that is not a message block.
    char local[8];
    void* plain = HeapAlloc(GetProcessHeap(), 0, 16);
    for (void* forged : {reinterpret_cast<void*>(0x10), static_cast<void*>(static_cast<char*>(block) + 4),
                         static_cast<void*>(local), plain}) {
        EXPECT_FALSE(IsLiveMessageBlock(forged)) << forged;
        EXPECT_FALSE(FreeMessageBlock(forged)) << forged;
    }
    HeapFree(GetProcessHeap(), 0, plain);
    EXPECT_FALSE(FreeMessageBlock(nullptr));

    EXPECT_TRUE(FreeMessageBlock(block));
    EXPECT_FALSE(IsLiveMessageBlock(block));
    EXPECT_FALSE(FreeMessageBlock(block));

    // Many blocks at once, each listed on its own; the holder frees its block when it goes.
    std::vector<void*> blocks;
    for (int i = 0; i < 500; ++i)
        blocks.push_back(AllocateMessageBlock(0x040B, i));
    for (void* b : blocks)
        ASSERT_TRUE(IsLiveMessageBlock(b));
    for (void* b : blocks) {
        UniqueMessageBlock hold(b);
    }
    for (void* b : blocks)
        EXPECT_FALSE(IsLiveMessageBlock(b));
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
