#include "Wisp/mail/RegExpMatch.h"

#include <windows.h>
#include <oleauto.h>

#include "common/TraceLog.h"
#include "common/com/Bstr.h"
#include "common/com/ComPtr.h"
#include "common/com/Strings.h"
#include "common/com/Variant.h"

namespace {

const CLSID kRegExpClass = {0x3f4daca4, 0x160d, 0x11d2, {0xa8, 0xe9, 0x00, 0x10, 0x4b, 0x36, 0x5c, 0x9f}};

// One late-bound call: flags DISPATCH_*, arguments in order (at most two).
HRESULT Call(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* result, VARIANT* first = nullptr)
{
    DISPID id = 0;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr))
        return hr;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {first, nullptr, first ? 1u : 0u, 0};
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    if (result)
        VariantInit(result);
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

ComPtr<IDispatch> DispatchOf(VARIANT& value)
{
    ComPtr<IDispatch> object;
    if (value.vt == VT_DISPATCH && value.pdispVal)
        object = ComPtr<IDispatch>(value.pdispVal);
    VariantClear(&value);
    return object;
}

// Item(index) of a collection (a property that is also a method).
ComPtr<IDispatch> ItemOf(IDispatch* collection, long index, VARIANT* plain = nullptr)
{
    VARIANT at, item;
    VariantInit(&at);
    at.vt = VT_I4;
    at.lVal = index;
    if (FAILED(Call(collection, L"Item", DISPATCH_PROPERTYGET | DISPATCH_METHOD, &item, &at)))
        return {};
    if (plain && item.vt != VT_DISPATCH) {
        *plain = item;
        return {};
    }
    return DispatchOf(item);
}

std::string TextOf(VARIANT& value)
{
    std::string text;
    if (SUCCEEDED(VariantChangeType(&value, &value, 0, VT_BSTR)) && value.bstrVal)
        text = AnsiFromWide(value.bstrVal, SysStringLen(value.bstrVal));
    VariantClear(&value);
    return text;
}

}  // namespace

bool MatchFirstGroup(const std::string& pattern, const std::string& text, std::string& match, std::string& group)
{
    match.clear();
    group.clear();
    ComPtr<IDispatch> regExp;
    HRESULT hr = CoCreateInstance(kRegExpClass, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, regExp.PutVoid());
    if (FAILED(hr)) {
        TraceLog("MatchFirstGroup - creating the regular expression object failed, hr=0x%X\n",
                 static_cast<unsigned>(hr));
        return false;
    }
    Bstr patternText = Bstr::FromAnsi(pattern.c_str(), pattern.size());
    Bstr subject = Bstr::FromAnsi(text.c_str(), text.size());
    VARIANT value, result;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = patternText.Get();
    if (FAILED(Call(regExp.Get(), L"Pattern", DISPATCH_PROPERTYPUT, nullptr, &value)))
        return false;
    value.bstrVal = subject.Get();
    if (FAILED(Call(regExp.Get(), L"Execute", DISPATCH_METHOD, &result, &value)))
        return false;
    ComPtr<IDispatch> matches = DispatchOf(result);
    if (!matches || FAILED(Call(matches.Get(), L"Count", DISPATCH_PROPERTYGET, &result)))
        return false;
    VariantChangeType(&result, &result, 0, VT_I4);
    const long count = result.vt == VT_I4 ? result.lVal : 0;
    VariantClear(&result);
    if (count < 1)
        return false;
    ComPtr<IDispatch> first = ItemOf(matches.Get(), 0);
    if (!first || FAILED(Call(first.Get(), L"Value", DISPATCH_PROPERTYGET, &result)))
        return false;
    match = TextOf(result);
    if (FAILED(Call(first.Get(), L"SubMatches", DISPATCH_PROPERTYGET, &result)))
        return false;
    ComPtr<IDispatch> groups = DispatchOf(result);
    VARIANT groupValue;
    VariantInit(&groupValue);
    if (!groups)
        return false;
    ItemOf(groups.Get(), 0, &groupValue);
    group = TextOf(groupValue);
    return true;
}
