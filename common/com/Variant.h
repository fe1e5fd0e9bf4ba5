// Owner of one VARIANT: cleared when it goes.
#pragma once

#include <windows.h>
#include <oleauto.h>

class Variant {
public:
    Variant() { VariantInit(&m_v); }
    ~Variant() { VariantClear(&m_v); }
    Variant(const Variant& other)
    {
        VariantInit(&m_v);
        VariantCopy(&m_v, const_cast<VARIANT*>(&other.m_v));
    }
    Variant& operator=(const Variant& other)
    {
        if (this != &other)
            VariantCopy(&m_v, const_cast<VARIANT*>(&other.m_v));
        return *this;
    }

    static Variant FromInt(LONG value)
    {
        Variant v;
        v.m_v.vt = VT_I4;
        v.m_v.lVal = value;
        return v;
    }
    static Variant FromBool(bool value)
    {
        Variant v;
        v.m_v.vt = VT_BOOL;
        v.m_v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        return v;
    }
    // Takes ownership of the BSTR.
    static Variant FromBstr(BSTR value)
    {
        Variant v;
        v.m_v.vt = VT_BSTR;
        v.m_v.bstrVal = value;
        return v;
    }

    VARIANT* Get() { return &m_v; }
    const VARIANT* Get() const { return &m_v; }
    VARTYPE Type() const { return m_v.vt; }
    void Clear() { VariantClear(&m_v); }
    // Moves the value out to a caller-owned VARIANT, leaving this empty.
    void Detach(VARIANT* out)
    {
        *out = m_v;
        VariantInit(&m_v);
    }

private:
    VARIANT m_v;
};
