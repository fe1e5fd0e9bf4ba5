// Owners of VARIANTs: one (Variant), or an array for a call (VariantArray).
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <vector>

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

// A private array of VARIANTs for one call, cleared when it goes. Made from a caller's array
// (the lender), it takes the caller's VARIANTs over, leaving each empty, and hands them back
// when it goes, on every path out, a thrown exception included. Release() instead frees what
// was taken and leaves the lender's VARIANTs empty.
class VariantArray {
public:
    explicit VariantArray(std::size_t count, VARIANT* lender = nullptr) : m_items(count), m_lender(lender)
    {
        for (std::size_t i = 0; i < count; ++i) {
            VariantInit(&m_items[i]);
            if (lender) {
                m_items[i] = lender[i];
                VariantInit(&lender[i]);
            }
        }
    }
    ~VariantArray()
    {
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            if (m_lender)
                m_lender[i] = m_items[i];
            else
                VariantClear(&m_items[i]);
        }
    }
    VariantArray(const VariantArray&) = delete;
    VariantArray& operator=(const VariantArray&) = delete;

    VARIANT* Data() { return m_items.empty() ? nullptr : m_items.data(); }
    VARIANT& operator[](std::size_t i) { return m_items[i]; }
    std::size_t Size() const { return m_items.size(); }
    void Release()
    {
        for (VARIANT& v : m_items)
            VariantClear(&v);
        m_lender = nullptr;
    }

private:
    std::vector<VARIANT> m_items;
    VARIANT* m_lender;
};
