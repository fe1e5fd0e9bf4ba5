#include "common/com/Strings.h"

#include "common/com/Bstr.h"

#include <cwchar>

std::wstring WideFromAnsi(const char* text)
{
    if (!text || !*text)
        return {};
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 1)
        return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

std::wstring WideFromAnsi(const std::string& text)
{
    if (text.empty())
        return {};
    int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

std::string AnsiFromWide(const wchar_t* text, std::size_t size)
{
    if (!text || size == 0)
        return {};
    int length = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(size), &narrow[0], length, nullptr, nullptr);
    return narrow;
}

std::string Utf8FromWide(const wchar_t* text, std::size_t size)
{
    if (!text || size == 0)
        return {};
    int length = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), &narrow[0], length, nullptr, nullptr);
    return narrow;
}

std::string AnsiFromWide(const wchar_t* text)
{
    return text ? AnsiFromWide(text, std::wcslen(text)) : std::string();
}

Bstr Bstr::FromAnsi(const char* text)
{
    return Bstr(WideFromAnsi(text));
}

Bstr Bstr::FromAnsi(const char* text, std::size_t length)
{
    Bstr result;
    if (!text || length == 0 || length > 0x7FFFFFFF) {
        result.Attach(SysAllocStringLen(L"", 0));
        return result;
    }
    // A narrow text never needs more wide characters than it has bytes.
    result.Attach(SysAllocStringLen(nullptr, static_cast<UINT>(length)));
    if (!result.m_b)
        return result;
    const int converted = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), result.m_b,
                                              static_cast<int>(length));
    if (static_cast<std::size_t>(converted) != length)
        SysReAllocStringLen(&result.m_b, result.m_b, static_cast<UINT>(converted > 0 ? converted : 0));
    return result;
}

std::string Bstr::ToAnsi() const
{
    return AnsiFromWide(m_b, Length());
}
