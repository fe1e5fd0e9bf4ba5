// Addresses as the stand-in handles them: paths and file:// URLs, http(s), about:blank.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace standin {

// What Navigate accepts turned into a URL: a path becomes file:///..., an address without a
// scheme becomes http://... as the real browser does.
std::wstring NormalizeUrl(const std::wstring& input);
std::wstring ResolveUrl(const std::wstring& base, const std::wstring& relative);
std::wstring SchemeOf(const std::wstring& url);   // lower case, without ':'
// The local path of a file:// URL (query and fragment dropped); false for other URLs.
bool FilePathFromUrl(const std::wstring& url, std::wstring& path);
// Replaces the query (and drops the fragment) of a URL.
std::wstring WithQuery(const std::wstring& url, const std::wstring& query);
// application/x-www-form-urlencoded, UTF-8.
std::string FormEncode(const std::vector<std::pair<std::wstring, std::wstring>>& fields);

// Parts for location: protocol "http:", host "h:p", hostname, port, pathname, search "?q", hash "#f".
struct UrlParts {
    std::wstring protocol, host, hostname, port, pathname, search, hash;
};
UrlParts SplitUrl(const std::wstring& url);

std::string Utf8FromWide(const std::wstring& text);
std::wstring WideFromUtf8(const std::string& text);

}  // namespace standin
