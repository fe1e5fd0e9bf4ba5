// Late binding for objects without a type library: member names mapped to DISPIDs and handlers.
//
//   class Thing : public ComObject<Thing>, public IDispatch {
//   public:
//       WISP_COM_INTERFACES(Thing, WISP_COM_ENTRY(IDispatch))
//       WISP_IUNKNOWN_FORWARD()
//       WISP_DISPATCH_FORWARD(m_members)
//       Thing() {
//           m_members.Property(L"title", [this](VARIANT* r) { ... }, [this](const VARIANT& v) { ... });
//           m_members.Method(L"submit", [this](const DispArgs& args, VARIANT* r) { ... });
//       }
//   private:
//       DispatchTable m_members;
//   };
//
// Names match without regard to case, as the browser's object model does. A method read as a
// property (script taking `obj.method` as a value) answers a callable object bound to it.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>
#include <vector>

// The arguments of one call in the order script wrote them (DISPPARAMS holds them reversed).
class DispArgs {
public:
    explicit DispArgs(const DISPPARAMS* params) : m_params(params) {}
    UINT Count() const;
    // Argument i (0 = first), references followed; null when the caller passed fewer.
    const VARIANT* At(UINT i) const;
    bool Has(UINT i) const;   // present and neither empty nor a missing optional
    std::wstring String(UINT i) const;   // converted to text; empty when absent
    LONG Int(UINT i, LONG fallback = 0) const;
    bool Bool(UINT i, bool fallback = false) const;
    IDispatch* Dispatch(UINT i) const;   // borrowed; null when not an object

private:
    const DISPPARAMS* m_params;
};

// Conversions shared by the handlers.
std::wstring VariantToString(const VARIANT* value);
HRESULT VariantFromString(const std::wstring& text, VARIANT* out);
HRESULT VariantFromDispatch(IDispatch* object, VARIANT* out);   // adds a reference; null is VT_NULL

class DispatchTable {
public:
    using Getter = std::function<HRESULT(VARIANT* result)>;
    using Setter = std::function<HRESULT(const VARIANT& value)>;
    using MethodFn = std::function<HRESULT(const DispArgs& args, VARIANT* result)>;
    // Names the table does not hold (collection indexes, form fields, frame names): `exists`
    // decides whether a name resolves; each such name keeps the DISPID it was first given, and
    // `handle` serves every call made with one (putValue set for property puts).
    using Exists = std::function<bool(const std::wstring& name)>;
    using DynamicFn = std::function<HRESULT(const std::wstring& name, WORD flags, const DispArgs& args,
                                            const VARIANT* putValue, VARIANT* result)>;

    static constexpr DISPID kFirstId = 1000;   // ids the table hands out, in order of adding
    static constexpr DISPID kFirstDynamicId = 100000;

    void Property(const wchar_t* name, Getter get, Setter set = {});
    void Method(const wchar_t* name, MethodFn method);
    // The default member (DISPID_VALUE): what `obj(args)` and `obj` as text call.
    void Value(MethodFn method);
    void Dynamic(Exists exists, DynamicFn handle);

    HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const;
    // owner keeps the object alive while a bound method it handed out lives.
    HRESULT Invoke(IUnknown* owner, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) const;
    DISPID Find(const std::wstring& name) const;   // DISPID_UNKNOWN when absent

private:
    struct Member {
        std::wstring name;
        DISPID id;
        Getter get;
        Setter set;
        MethodFn method;
    };
    const Member* ById(DISPID id) const;

    std::vector<Member> m_members;
    MethodFn m_value;
    Exists m_exists;
    DynamicFn m_dynamic;
    mutable std::vector<std::wstring> m_dynamicNames;
};

#define WISP_DISPATCH_FORWARD(table)                                                              \
    STDMETHODIMP GetTypeInfoCount(UINT* count) override                                         \
    {                                                                                             \
        if (!count)                                                                               \
            return E_POINTER;                                                                     \
        *count = 0;                                                                               \
        return S_OK;                                                                              \
    }                                                                                             \
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override                             \
    {                                                                                             \
        if (info)                                                                                 \
            *info = nullptr;                                                                      \
        return E_NOTIMPL;                                                                         \
    }                                                                                             \
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override \
    {                                                                                             \
        return (table).GetIDsOfNames(names, count, ids);                                          \
    }                                                                                             \
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, \
                        EXCEPINFO*, UINT*) override                                               \
    {                                                                                             \
        return (table).Invoke(Identity(), id, flags, params, result);                             \
    }
