// Owner of one BSTR, with the narrow (ANSI code page) conversions used at the COM boundary.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* text) : m_b(text ? SysAllocString(text) : nullptr) {}
    explicit Bstr(const std::wstring& text)
        : m_b(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    // From narrow text in the ANSI code page.
    static Bstr FromAnsi(const char* text);
    // From `length` bytes of narrow text, converted in one pass (for long texts). Null only
    // when out of memory.
    static Bstr FromAnsi(const char* text, std::size_t length);
    Bstr(const Bstr& other) : m_b(other.m_b ? SysAllocStringLen(other.m_b, other.Length()) : nullptr) {}
    Bstr(Bstr&& other) noexcept : m_b(other.m_b) { other.m_b = nullptr; }
    ~Bstr() { SysFreeString(m_b); }
    Bstr& operator=(Bstr other) noexcept
    {
        std::swap(m_b, other.m_b);
        return *this;
    }

    BSTR Get() const { return m_b; }
    UINT Length() const { return m_b ? SysStringLen(m_b) : 0; }
    bool Empty() const { return Length() == 0; }
    BSTR* Put()
    {
        SysFreeString(m_b);
        m_b = nullptr;
        return &m_b;
    }
    void Attach(BSTR b)
    {
        SysFreeString(m_b);
        m_b = b;
    }
    BSTR Detach()
    {
        BSTR b = m_b;
        m_b = nullptr;
        return b;
    }
    std::string ToAnsi() const;

private:
    BSTR m_b = nullptr;
};
