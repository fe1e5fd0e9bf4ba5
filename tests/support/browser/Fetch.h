// Loading one resource for the stand-in: local files, and http(s) through WinINet (which also
// keeps the cookies the way the real browser shares them with WinINet).
#pragma once

#include <windows.h>

#include <string>

namespace standin {

struct FetchRequest {
    std::wstring url;
    std::wstring method = L"GET";
    std::string body;
    std::wstring headers;   // extra request headers, "Name: value\r\n" lines
    bool noCache = false;
};

struct FetchResult {
    bool ok = false;           // the resource was read (an HTTP error page counts as read)
    DWORD status = 0;          // HTTP status; 200 for files
    std::wstring finalUrl;     // after redirects
    std::wstring text;         // decoded to UTF-16
    std::wstring error;        // why it failed
};

FetchResult Fetch(const FetchRequest& request);
// Bytes to text: BOM, then the charset of the Content-Type or of a <meta>, then UTF-8 when the
// bytes are valid UTF-8, else the ANSI code page.
std::wstring DecodeBytes(const std::string& bytes, const std::wstring& contentType);

}  // namespace standin
