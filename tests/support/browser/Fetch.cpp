#include "Fetch.h"

#include "Url.h"

#include <wininet.h>

#include <algorithm>
#include <cwctype>
#include <memory>

namespace standin {

namespace {

struct InternetHandle {
    HINTERNET h = nullptr;
    explicit InternetHandle(HINTERNET value) : h(value) {}
    ~InternetHandle()
    {
        if (h)
            InternetCloseHandle(h);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
};

std::wstring LastErrorText(const wchar_t* what)
{
    return std::wstring(what) + L" failed, error " + std::to_wstring(GetLastError());
}

FetchResult FetchFile(const FetchRequest& request)
{
    FetchResult r;
    std::wstring path;
    if (!FilePathFromUrl(request.url, path)) {
        r.error = L"not a file URL";
        return r;
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        r.error = LastErrorText(L"CreateFile");
        return r;
    }
    std::string bytes;
    char buffer[16384];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    r.ok = true;
    r.status = 200;
    r.finalUrl = request.url;
    r.text = DecodeBytes(bytes, L"");
    return r;
}

FetchResult FetchHttp(const FetchRequest& request)
{
    FetchResult r;
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH] = {};
    wchar_t path[INTERNET_MAX_URL_LENGTH] = {};
    wchar_t extra[INTERNET_MAX_URL_LENGTH] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = INTERNET_MAX_HOST_NAME_LENGTH;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = INTERNET_MAX_URL_LENGTH;
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = INTERNET_MAX_URL_LENGTH;
    if (!InternetCrackUrlW(request.url.c_str(), 0, 0, &parts)) {
        r.error = LastErrorText(L"InternetCrackUrl");
        return r;
    }
    std::wstring object = std::wstring(path) + extra;
    if (object.empty())
        object = L"/";
    // The real engine keeps the #fragment to itself.
    object = object.substr(0, object.find(L'#'));

    InternetHandle session(InternetOpenW(L"Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1)",
                                         INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session.h) {
        r.error = LastErrorText(L"InternetOpen");
        return r;
    }
    DWORD timeout = 15000;
    InternetSetOptionW(session.h, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionW(session.h, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionW(session.h, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
    InternetHandle connection(InternetConnectW(session.h, host, parts.nPort, nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection.h) {
        r.error = LastErrorText(L"InternetConnect");
        return r;
    }
    DWORD flags = INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTH;
    if (request.noCache)
        flags |= INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS)
        flags |= INTERNET_FLAG_SECURE;
    InternetHandle req(HttpOpenRequestW(connection.h, request.method.c_str(), object.c_str(), nullptr,
                                        nullptr, nullptr, flags, 0));
    if (!req.h) {
        r.error = LastErrorText(L"HttpOpenRequest");
        return r;
    }
    std::wstring headers = request.headers;
    if (!request.body.empty() && headers.find(L"Content-Type") == std::wstring::npos)
        headers += L"Content-Type: application/x-www-form-urlencoded\r\n";
    if (!HttpSendRequestW(req.h, headers.empty() ? nullptr : headers.c_str(),
                          static_cast<DWORD>(headers.size()),
                          request.body.empty() ? nullptr : const_cast<char*>(request.body.data()),
                          static_cast<DWORD>(request.body.size()))) {
        r.error = LastErrorText(L"HttpSendRequest");
        return r;
    }
    DWORD status = 0, size = sizeof status;
    HttpQueryInfoW(req.h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
    wchar_t contentType[512] = {};
    size = sizeof contentType;
    HttpQueryInfoW(req.h, HTTP_QUERY_CONTENT_TYPE, contentType, &size, nullptr);
    std::string bytes;
    char buffer[16384];
    DWORD got = 0;
    while (InternetReadFile(req.h, buffer, sizeof buffer, &got) && got > 0)
        bytes.append(buffer, got);
    wchar_t finalUrl[INTERNET_MAX_URL_LENGTH] = {};
    size = sizeof finalUrl;
    if (InternetQueryOptionW(req.h, INTERNET_OPTION_URL, finalUrl, &size) && finalUrl[0])
        r.finalUrl = finalUrl;
    else
        r.finalUrl = request.url;
    r.ok = true;
    r.status = status;
    r.text = DecodeBytes(bytes, contentType);
    return r;
}

std::string LowerAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

UINT CodePageOf(const std::string& declared)
{
    std::string d = LowerAscii(declared);
    std::size_t at = d.find("charset=");
    if (at == std::string::npos)
        return 0;
    std::string name = d.substr(at + 8);
    name.erase(0, name.find_first_not_of("\"' "));
    name = name.substr(0, name.find_first_of("\"'; >\r\n"));
    if (name == "utf-8" || name == "utf8")
        return CP_UTF8;
    if (name == "windows-1252" || name == "iso-8859-1" || name == "us-ascii")
        return 1252;
    return 0;
}

}  // namespace

std::wstring DecodeBytes(const std::string& bytes, const std::wstring& contentType)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    }
    std::string body = bytes;
    UINT codePage = 0;
    if (body.size() >= 3 && body.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        body.erase(0, 3);
        codePage = CP_UTF8;
    }
    if (!codePage) {
        std::string type;
        for (wchar_t c : contentType)
            type += static_cast<char>(c < 128 ? c : '?');
        codePage = CodePageOf(type);
    }
    if (!codePage)
        codePage = CodePageOf(body.substr(0, std::min<std::size_t>(body.size(), 2048)));
    if (!codePage) {
        bool utf8 = body.empty() ||
                    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, body.data(),
                                        static_cast<int>(body.size()), nullptr, 0) > 0;
        codePage = utf8 ? CP_UTF8 : CP_ACP;
    }
    if (body.empty())
        return {};
    int n = MultiByteToWideChar(codePage, 0, body.data(), static_cast<int>(body.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, body.data(), static_cast<int>(body.size()), &out[0], n);
    return out;
}

FetchResult Fetch(const FetchRequest& request)
{
    std::wstring scheme = SchemeOf(request.url);
    if (scheme == L"file")
        return FetchFile(request);
    if (scheme == L"http" || scheme == L"https")
        return FetchHttp(request);
    FetchResult r;
    if (request.url == L"about:blank") {
        r.ok = true;
        r.status = 200;
        r.finalUrl = request.url;
        return r;
    }
    r.error = L"unsupported scheme '" + scheme + L"'";
    return r;
}

}  // namespace standin
