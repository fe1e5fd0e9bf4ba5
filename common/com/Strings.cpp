#include "common/com/Strings.h"

#include "common/com/Bstr.h"

#include <cstdint>
#include <cstring>
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

namespace {

// How many bytes at the start of the text are below 0x80, looked at eight at a time.
std::size_t AsciiPrefixLength(const char* text, std::size_t length)
{
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text + i, sizeof word);
        if (word & 0x8080808080808080ull)
            break;
    }
    while (i < length && static_cast<unsigned char>(text[i]) < 0x80)
        ++i;
    return i;
}

}  // namespace

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
    // Every ANSI code page maps the bytes below 0x80 to the same characters, and no lead byte is
    // below 0x80: the ASCII start of a text (all of most HTTP bodies) is widened here, and only
    // the rest goes through the code page's conversion.
    const std::size_t ascii = AsciiPrefixLength(text, length);
    wchar_t* wide = result.m_b;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    for (std::size_t i = 0; i < ascii; ++i)
        wide[i] = bytes[i];
    if (ascii == length)
        return result;
    const int rest = static_cast<int>(length - ascii);
    const int converted = MultiByteToWideChar(CP_ACP, 0, text + ascii, rest, result.m_b + ascii, rest);
    const std::size_t total = ascii + static_cast<std::size_t>(converted > 0 ? converted : 0);
    if (total != length)
        SysReAllocStringLen(&result.m_b, result.m_b, static_cast<UINT>(total));
    return result;
}

std::string Bstr::ToAnsi() const
{
    return AnsiFromWide(m_b, Length());
}
