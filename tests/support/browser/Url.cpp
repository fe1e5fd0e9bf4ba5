#include "Url.h"

#include <windows.h>
#include <shlwapi.h>
#include <wininet.h>

#include <cwctype>

namespace standin {

std::wstring SchemeOf(const std::wstring& url)
{
    std::size_t colon = url.find(L':');
    if (colon == std::wstring::npos || colon < 2)   // "C:" is a drive, not a scheme
        return {};
    std::wstring scheme;
    for (std::size_t i = 0; i < colon; ++i) {
        wchar_t c = url[i];
        if (!(std::iswalnum(c) || c == L'+' || c == L'-' || c == L'.'))
            return {};
        scheme += static_cast<wchar_t>(std::towlower(c));
    }
    return scheme;
}

std::wstring NormalizeUrl(const std::wstring& input)
{
    std::wstring s = input;
    while (!s.empty() && std::iswspace(s.front()))
        s.erase(s.begin());
    while (!s.empty() && std::iswspace(s.back()))
        s.pop_back();
    if (s.empty())
        return s;
    bool drivePath = s.size() >= 2 && std::iswalpha(s[0]) && s[1] == L':';
    bool uncPath = s.size() >= 2 && s[0] == L'\\' && s[1] == L'\\';
    if (drivePath || uncPath) {
        wchar_t url[INTERNET_MAX_URL_LENGTH];
        DWORD size = INTERNET_MAX_URL_LENGTH;
        if (SUCCEEDED(UrlCreateFromPathW(s.c_str(), url, &size, 0)))
            return url;
        return s;
    }
    if (SchemeOf(s).empty())
        return L"http://" + s;
    return s;
}

std::wstring ResolveUrl(const std::wstring& base, const std::wstring& relative)
{
    if (base.empty() || !SchemeOf(relative).empty())
        return NormalizeUrl(relative);
    std::wstring out(INTERNET_MAX_URL_LENGTH, L'\0');
    DWORD size = INTERNET_MAX_URL_LENGTH;
    if (FAILED(UrlCombineW(base.c_str(), relative.c_str(), &out[0], &size, 0)))
        return relative;
    out.resize(size);
    return out;
}

bool FilePathFromUrl(const std::wstring& url, std::wstring& path)
{
    if (SchemeOf(url) != L"file")
        return false;
    std::wstring bare = url.substr(0, url.find_first_of(L"?#"));
    wchar_t buffer[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    if (FAILED(PathCreateFromUrlW(bare.c_str(), buffer, &size, 0)))
        return false;
    path = buffer;
    return true;
}

std::wstring WithQuery(const std::wstring& url, const std::wstring& query)
{
    std::wstring bare = url.substr(0, url.find_first_of(L"?#"));
    return query.empty() ? bare : bare + L"?" + query;
}

std::string Utf8FromWide(const std::wstring& text)
{
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring WideFromUtf8(const std::string& text)
{
    if (text.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string FormEncode(const std::vector<std::pair<std::wstring, std::wstring>>& fields)
{
    static const char hex[] = "0123456789ABCDEF";
    auto encode = [](const std::wstring& w) {
        std::string out;
        for (unsigned char c : Utf8FromWide(w)) {
            if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '*')
                out += static_cast<char>(c);
            else if (c == ' ')
                out += '+';
            else {
                out += '%';
                out += hex[c >> 4];
                out += hex[c & 15];
            }
        }
        return out;
    };
    std::string out;
    for (auto& f : fields) {
        if (!out.empty())
            out += '&';
        out += encode(f.first) + "=" + encode(f.second);
    }
    return out;
}

UrlParts SplitUrl(const std::wstring& url)
{
    UrlParts p;
    std::wstring scheme = SchemeOf(url);
    if (scheme.empty())
        return p;
    p.protocol = scheme + L":";
    std::wstring rest = url.substr(scheme.size() + 1);
    std::size_t hash = rest.find(L'#');
    if (hash != std::wstring::npos) {
        p.hash = rest.substr(hash);
        rest.resize(hash);
    }
    std::size_t query = rest.find(L'?');
    if (query != std::wstring::npos) {
        p.search = rest.substr(query);
        rest.resize(query);
    }
    if (rest.compare(0, 2, L"//") == 0) {
        std::size_t slash = rest.find(L'/', 2);
        p.host = rest.substr(2, slash == std::wstring::npos ? std::wstring::npos : slash - 2);
        p.pathname = slash == std::wstring::npos ? L"/" : rest.substr(slash);
    } else {
        p.pathname = rest;
    }
    std::size_t colon = p.host.rfind(L':');
    p.hostname = p.host.substr(0, colon);
    if (colon != std::wstring::npos)
        p.port = p.host.substr(colon + 1);
    return p;
}

}  // namespace standin
