// Late binding without a type library: what script engines see of the objects built on it.
#include "common/com/ComObject.h"
#include "tests/support/DispatchTable.h"
#include "common/com/Variant.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class Sample : public ComObject<Sample>, public IDispatch {
public:
    WISP_COM_INTERFACES(Sample, WISP_COM_ENTRY(IDispatch))
    WISP_IUNKNOWN_FORWARD()
    WISP_DISPATCH_FORWARD(m_members)

    Sample()
    {
        m_members.Property(L"title", [this](VARIANT* r) { return VariantFromString(title, r); },
                           [this](const VARIANT& v) {
                               title = VariantToString(&v);
                               return S_OK;
                           });
        m_members.Property(L"readOnly", [](VARIANT* r) { return VariantFromString(L"fixed", r); });
        m_members.Method(L"join", [](const DispArgs& a, VARIANT* r) {
            std::wstring s;
            for (UINT i = 0; i < a.Count(); ++i)
                s += (i ? L"," : L"") + a.String(i);
            return VariantFromString(s, r);
        });
        m_members.Property(L"child", [this](VARIANT* r) { return VariantFromDispatch(child.Get(), r); });
        m_members.Value([](const DispArgs& a, VARIANT* r) { return VariantFromString(L"value:" + a.String(0), r); });
        m_members.Dynamic([this](const std::wstring& n) { return _wcsnicmp(n.c_str(), L"item", 4) == 0 && n.size() <= maxName; },
                          [](const std::wstring& n, WORD, const DispArgs&, const VARIANT* put, VARIANT* r) {
                              return put ? DISP_E_MEMBERNOTFOUND : VariantFromString(L"dyn " + n, r);
                          });
    }
    std::wstring title;
    ComPtr<IDispatch> child;
    std::size_t maxName = 10;

private:
    DispatchTable m_members;
};

DISPID IdOf(IDispatch* d, const wchar_t* name)
{
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    return SUCCEEDED(d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)) ? id : DISPID_UNKNOWN;
}

HRESULT Call(IDispatch* d, DISPID id, WORD flags, std::vector<Variant> args, Variant& result)
{
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it)
        reversed.push_back(*it->Get());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
    }
    return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.Get(), nullptr, nullptr);
}

Variant Text(const wchar_t* s)
{
    return Variant::FromBstr(SysAllocString(s));
}

TEST(DispatchTable, ResolvesNamesWithoutCaseAndRefusesUnknownOnes)
{
    ComPtr<Sample> s = MakeComObject<Sample>();
    DISPID title = IdOf(s.Get(), L"title");
    EXPECT_NE(DISPID_UNKNOWN, title);
    EXPECT_EQ(title, IdOf(s.Get(), L"TITLE"));
    EXPECT_EQ(DISPID_UNKNOWN, IdOf(s.Get(), L"nothing"));
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"join"), const_cast<LPOLESTR>(L"param")};
    DISPID ids[2] = {};
    EXPECT_EQ(DISP_E_UNKNOWNNAME, s->GetIDsOfNames(IID_NULL, names, 2, 0, ids));
    EXPECT_EQ(IdOf(s.Get(), L"join"), ids[0]);
    EXPECT_EQ(DISPID_UNKNOWN, ids[1]);
    Variant r;
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(s.Get(), 424242, DISPATCH_METHOD, {}, r));
}

TEST(DispatchTable, PropertiesGetAndPutAndMethodsSeeArgumentsInScriptOrder)
{
    ComPtr<Sample> s = MakeComObject<Sample>();
    Variant r;
    ASSERT_EQ(S_OK, Call(s.Get(), IdOf(s.Get(), L"title"), DISPATCH_PROPERTYPUT, {Text(L"new")}, r));
    EXPECT_EQ(L"new", s->title);
    ASSERT_EQ(S_OK, Call(s.Get(), IdOf(s.Get(), L"title"), DISPATCH_PROPERTYGET, {}, r));
    EXPECT_EQ(L"new", VariantToString(r.Get()));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(s.Get(), IdOf(s.Get(), L"readOnly"), DISPATCH_PROPERTYPUT, {Text(L"x")}, r));

    Variant joined;
    ASSERT_EQ(S_OK, Call(s.Get(), IdOf(s.Get(), L"join"), DISPATCH_METHOD,
                         {Text(L"a"), Variant::FromInt(2), Variant::FromBool(true)}, joined));
    EXPECT_EQ(L"a,2,True", VariantToString(joined.Get()));
    // A by-reference argument is read through.
    Variant inner = Text(L"ref");
    Variant byRef;
    byRef.Get()->vt = VT_BYREF | VT_VARIANT;
    byRef.Get()->pvarVal = inner.Get();
    Variant viaRef;
    ASSERT_EQ(S_OK, Call(s.Get(), IdOf(s.Get(), L"join"), DISPATCH_METHOD, {byRef}, viaRef));
    byRef.Get()->vt = VT_EMPTY;
    EXPECT_EQ(L"ref", VariantToString(viaRef.Get()));
}

TEST(DispatchTable, MethodReadAsValueStaysCallableAndKeepsItsOwner)
{
    ComPtr<IDispatch> bound;
    {
        ComPtr<Sample> s = MakeComObject<Sample>();
        Variant r;
        ASSERT_EQ(S_OK, Call(s.Get(), IdOf(s.Get(), L"join"), DISPATCH_PROPERTYGET, {}, r));
        ASSERT_EQ(VT_DISPATCH, r.Type());
        bound = ComPtr<IDispatch>(r.Get()->pdispVal);
    }
    Variant called;
    ASSERT_EQ(S_OK, Call(bound.Get(), DISPID_VALUE, DISPATCH_METHOD, {Text(L"x"), Text(L"y")}, called));
    EXPECT_EQ(L"x,y", VariantToString(called.Get()));
}

TEST(DispatchTable, PropertyCalledWithArgumentsPassesThemToItsValue)
{
    ComPtr<Sample> parent = MakeComObject<Sample>();
    ComPtr<Sample> child = MakeComObject<Sample>();
    parent->child = ComPtr<IDispatch>(static_cast<IDispatch*>(child.Get()));
    Variant r;
    ASSERT_EQ(S_OK, Call(parent.Get(), IdOf(parent.Get(), L"child"), DISPATCH_METHOD, {Text(L"k")}, r));
    EXPECT_EQ(L"value:k", VariantToString(r.Get()));
    Variant notObject;
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(parent.Get(), IdOf(parent.Get(), L"title"), DISPATCH_METHOD, {Text(L"k")}, notObject));
}

TEST(DispatchTable, DynamicNamesKeepTheirIdsAndVanishWhenTheyNoLongerExist)
{
    ComPtr<Sample> s = MakeComObject<Sample>();
    DISPID a = IdOf(s.Get(), L"item1");
    DISPID b = IdOf(s.Get(), L"item2");
    ASSERT_GE(a, DispatchTable::kFirstDynamicId);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, IdOf(s.Get(), L"ITEM1"));
    Variant r;
    ASSERT_EQ(S_OK, Call(s.Get(), a, DISPATCH_PROPERTYGET, {}, r));
    EXPECT_EQ(L"dyn item1", VariantToString(r.Get()));
    s->maxName = 0;
    EXPECT_EQ(DISPID_UNKNOWN, IdOf(s.Get(), L"item1"));
}

}  // namespace
