#include "tests/support/DispatchTable.h"

#include "common/com/ComObject.h"
#include "common/com/Variant.h"

#include <cwchar>
#include <new>

namespace {

const VARIANT* Deref(const VARIANT* v)
{
    while (v && v->vt == (VT_BYREF | VT_VARIANT))
        v = v->pvarVal;
    return v;
}

// What script gets when it reads a method as a value: calling it runs the method.
class BoundMethod : public ComObject<BoundMethod>, public IDispatch {
public:
    WISP_COM_INTERFACES(BoundMethod, WISP_COM_ENTRY(IDispatch))
    WISP_IUNKNOWN_FORWARD()

    BoundMethod(IUnknown* owner, DispatchTable::MethodFn method)
        : m_owner(owner), m_method(std::move(method)) {}

    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info)
            *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override
    {
        for (UINT i = 0; i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override
    {
        if (id != DISPID_VALUE || !(flags & DISPATCH_METHOD))
            return DISP_E_MEMBERNOTFOUND;
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        Variant scratch;
        if (result)
            VariantInit(result);
        return m_method(DispArgs(params ? params : &none), result ? result : scratch.Get());
    }

private:
    ComPtr<IUnknown> m_owner;
    DispatchTable::MethodFn m_method;
};

}  // namespace

UINT DispArgs::Count() const
{
    return m_params ? m_params->cArgs - m_params->cNamedArgs : 0;
}

const VARIANT* DispArgs::At(UINT i) const
{
    if (i >= Count())
        return nullptr;
    return Deref(&m_params->rgvarg[m_params->cArgs - 1 - i]);
}

bool DispArgs::Has(UINT i) const
{
    const VARIANT* v = At(i);
    return v && v->vt != VT_EMPTY && !(v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND);
}

std::wstring DispArgs::String(UINT i) const
{
    return Has(i) ? VariantToString(At(i)) : std::wstring();
}

LONG DispArgs::Int(UINT i, LONG fallback) const
{
    if (!Has(i))
        return fallback;
    Variant converted;
    if (FAILED(VariantChangeType(converted.Get(), const_cast<VARIANT*>(At(i)), 0, VT_I4)))
        return fallback;
    return converted.Get()->lVal;
}

bool DispArgs::Bool(UINT i, bool fallback) const
{
    if (!Has(i))
        return fallback;
    Variant converted;
    if (FAILED(VariantChangeType(converted.Get(), const_cast<VARIANT*>(At(i)), 0, VT_BOOL)))
        return fallback;
    return converted.Get()->boolVal != VARIANT_FALSE;
}

IDispatch* DispArgs::Dispatch(UINT i) const
{
    const VARIANT* v = At(i);
    if (!v)
        return nullptr;
    if (v->vt == VT_DISPATCH)
        return v->pdispVal;
    if (v->vt == (VT_BYREF | VT_DISPATCH) && v->ppdispVal)
        return *v->ppdispVal;
    return nullptr;
}

std::wstring VariantToString(const VARIANT* value)
{
    value = Deref(value);
    if (!value || value->vt == VT_EMPTY || value->vt == VT_NULL)
        return {};
    if (value->vt == VT_BSTR)
        return value->bstrVal ? std::wstring(value->bstrVal, SysStringLen(value->bstrVal)) : std::wstring();
    Variant converted;
    if (FAILED(VariantChangeType(converted.Get(), const_cast<VARIANT*>(value), VARIANT_ALPHABOOL, VT_BSTR)))
        return {};
    BSTR text = converted.Get()->bstrVal;
    return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

HRESULT VariantFromString(const std::wstring& text, VARIANT* out)
{
    if (!out)
        return E_POINTER;
    BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!b)
        return E_OUTOFMEMORY;
    VariantClear(out);
    out->vt = VT_BSTR;
    out->bstrVal = b;
    return S_OK;
}

HRESULT VariantFromDispatch(IDispatch* object, VARIANT* out)
{
    if (!out)
        return E_POINTER;
    VariantClear(out);
    if (!object) {
        out->vt = VT_NULL;
        return S_OK;
    }
    out->vt = VT_DISPATCH;
    out->pdispVal = object;
    object->AddRef();
    return S_OK;
}

void DispatchTable::Property(const wchar_t* name, Getter get, Setter set)
{
    m_members.push_back({name, kFirstId + static_cast<DISPID>(m_members.size()), std::move(get),
                         std::move(set), {}});
}

void DispatchTable::Method(const wchar_t* name, MethodFn method)
{
    m_members.push_back({name, kFirstId + static_cast<DISPID>(m_members.size()), {}, {}, std::move(method)});
}

void DispatchTable::Value(MethodFn method)
{
    m_value = std::move(method);
}

void DispatchTable::Dynamic(Exists exists, DynamicFn handle)
{
    m_exists = std::move(exists);
    m_dynamic = std::move(handle);
}

DISPID DispatchTable::Find(const std::wstring& name) const
{
    for (const Member& m : m_members)
        if (_wcsicmp(m.name.c_str(), name.c_str()) == 0)
            return m.id;
    if (!m_exists)
        return DISPID_UNKNOWN;
    for (std::size_t i = 0; i < m_dynamicNames.size(); ++i)
        if (_wcsicmp(m_dynamicNames[i].c_str(), name.c_str()) == 0)
            return m_exists(name) ? kFirstDynamicId + static_cast<DISPID>(i) : DISPID_UNKNOWN;
    if (!m_exists(name))
        return DISPID_UNKNOWN;
    m_dynamicNames.push_back(name);
    return kFirstDynamicId + static_cast<DISPID>(m_dynamicNames.size() - 1);
}

HRESULT DispatchTable::GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const
{
    if (!names || !ids)
        return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        ids[i] = (i == 0 && names[0]) ? Find(names[0]) : DISPID_UNKNOWN;
        if (ids[i] == DISPID_UNKNOWN)
            hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

const DispatchTable::Member* DispatchTable::ById(DISPID id) const
{
    if (id < kFirstId || id >= kFirstId + static_cast<DISPID>(m_members.size()))
        return nullptr;
    return &m_members[static_cast<std::size_t>(id - kFirstId)];
}

HRESULT DispatchTable::Invoke(IUnknown* owner, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) const
{
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    if (!params)
        params = &none;
    Variant scratch;
    if (!result)
        result = scratch.Get();
    else
        VariantInit(result);
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    const VARIANT* putValue = (put && params->cArgs > 0) ? Deref(&params->rgvarg[0]) : nullptr;
    DispArgs args(params);

    try {
        if (id == DISPID_VALUE) {
            if (!m_value || put)
                return DISP_E_MEMBERNOTFOUND;
            return m_value(args, result);
        }
        if (id >= kFirstDynamicId) {
            std::size_t index = static_cast<std::size_t>(id - kFirstDynamicId);
            if (!m_dynamic || index >= m_dynamicNames.size())
                return DISP_E_MEMBERNOTFOUND;
            if (put && !putValue)
                return DISP_E_PARAMNOTOPTIONAL;
            std::wstring name = m_dynamicNames[index];
            return m_dynamic(name, flags, args, putValue, result);
        }
        const Member* m = ById(id);
        if (!m)
            return DISP_E_MEMBERNOTFOUND;
        if (m->method) {
            if (flags & DISPATCH_METHOD)
                return m->method(args, result);
            if (put)
                return DISP_E_MEMBERNOTFOUND;
            ComPtr<BoundMethod> bound = MakeComObject<BoundMethod>(owner, m->method);
            return VariantFromDispatch(bound.Get(), result);
        }
        if (put) {
            if (!m->set)
                return DISP_E_MEMBERNOTFOUND;
            if (!putValue)
                return DISP_E_PARAMNOTOPTIONAL;
            return m->set(*putValue);
        }
        if (!m->get)
            return DISP_E_MEMBERNOTFOUND;
        HRESULT hr = m->get(result);
        // `obj.items("x")` calls the property with arguments: the value's default member takes them.
        if (SUCCEEDED(hr) && (flags & DISPATCH_METHOD) && args.Count() > 0) {
            if (result->vt != VT_DISPATCH || !result->pdispVal) {
                VariantClear(result);
                return DISP_E_TYPEMISMATCH;
            }
            ComPtr<IDispatch> value(result->pdispVal);
            VariantClear(result);
            return value->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params,
                                 result, nullptr, nullptr);
        }
        return hr;
    } catch (const std::bad_alloc&) {
        VariantClear(result);
        return E_OUTOFMEMORY;
    }
}
