#include "Wisp/control/PageTrust.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include "common/UrlSplitter.h"
#include "Wisp/update/DomainAllowList.h"

namespace page_trust {

namespace {

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerText(std::string text)
{
    for (char& c : text)
        c = Lower(c);
    return text;
}

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    const std::size_t length = std::strlen(prefix);
    return text.size() >= length && LowerText(text.substr(0, length)) == prefix;
}

bool IsDriveLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// "C:" or the old file-URL spelling "C|".
bool IsDrive(const std::string& text)
{
    return text.size() == 2 && IsDriveLetter(text[0]) && (text[1] == ':' || text[1] == '|');
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = Lower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// %XX escapes into their bytes; false for a '%' that starts no escape.
bool PercentDecode(const std::string& text, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

// The path a file URL names, still with its separators and dot segments. UNC forms
// ("file://server/share") are refused here; "file:////server" is caught as a path.
bool PathFromFileUrl(const std::string& url, std::string& path)
{
    std::string rest = url.substr(5);
    rest = rest.substr(0, rest.find_first_of("?#"));
    for (char& c : rest)
        if (c == '\\')
            c = '/';
    if (rest.compare(0, 2, "//") == 0) {
        const std::size_t slash = rest.find('/', 2);
        const std::string host = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
        if (host.empty() || IsDrive(host))
            rest.erase(0, 2);
        else if (LowerText(host) == "localhost")
            rest = slash == std::string::npos ? std::string() : rest.substr(slash);
        else
            return false;
    }
    if (!PercentDecode(rest, path))
        return false;
    // "/C:/x" names the drive path "C:/x".
    if (path.size() >= 3 && path[0] == '/' && IsDrive(path.substr(1, 2)))
        path.erase(0, 1);
    if (path.size() >= 2 && IsDrive(path.substr(0, 2)))
        path[1] = ':';
    return true;
}

bool IsForbiddenInSegment(unsigned char c)
{
    return c < 0x20 || c == 0x7F || std::strchr(":*?\"<>|", c) != nullptr;
}

// A drive path as "c:\a\b". `exact` refuses empty, "." and ".." segments instead of resolving
// them (a res: URL names its module by spelling, not through the file system).
bool CanonicalDrivePath(const std::string& path, bool exact, std::string& out)
{
    if (path.size() < 3 || !IsDriveLetter(path[0]) || path[1] != ':' || !IsSeparator(path[2]))
        return false;
    std::vector<std::string> segments;
    std::size_t start = 3;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("\\/", start);
        if (end == std::string::npos)
            end = path.size();
        const std::string segment = path.substr(start, end - start);
        start = end + 1;
        if (segment.empty() || segment == "." || segment == "..") {
            if (exact)
                return false;
            if (segment == ".." && !segments.empty())
                segments.pop_back();
            continue;
        }
        for (char c : segment)
            if (IsForbiddenInSegment(static_cast<unsigned char>(c)))
                return false;
        // Windows trims these, so "content." or ".. " would name another file than they spell.
        if (segment.back() == '.' || segment.back() == ' ')
            return false;
        segments.push_back(LowerText(segment));
    }
    out.assign(1, Lower(path[0]));
    out += ':';
    for (const std::string& segment : segments)
        out += '\\' + segment;
    return true;
}

bool IsBelow(const std::string& path, const std::string& folder)
{
    if (path == folder)
        return true;
    return path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '\\';
}

bool IsWebUrl(const std::string& url)
{
    return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://");
}

std::string HostKey(const std::string& host)
{
    std::string key = LowerText(host);
    if (!key.empty() && key.back() == '.')
        key.pop_back();
    return key;
}

// res://<module path>/<type>/<name>: only resources of this very module, named by its full path.
bool IsModuleResource(const std::string& url, const std::string& modulePath)
{
    std::string rest = url.substr(6);
    rest = rest.substr(0, rest.find_first_of("?#"));
    std::string decoded, module, resource;
    if (!PercentDecode(rest, decoded) || !CanonicalDrivePath(modulePath, false, module) ||
        !CanonicalDrivePath(decoded, true, resource))
        return false;
    return resource.size() > module.size() + 1 && IsBelow(resource, module);
}

bool IsAllowedSite(const std::string& url)
{
    UrlParts parts;
    // User information in front of an allowed name is how a look-alike is spelt.
    return SplitUrl(url, parts) && parts.scheme == "https" && parts.userInfo.empty() &&
           domain_allow_list::IsAllowedHost(parts.host);
}

bool IsInsideAnchor(const std::string& url, const std::string& anchor)
{
    if (anchor.empty())
        return false;
    if (IsWebUrl(anchor)) {
        UrlParts mine, page;
        if (!IsWebUrl(url) || !SplitUrl(anchor, mine) || !SplitUrl(url, page))
            return false;
        return page.userInfo.empty() && page.scheme == mine.scheme && page.port == mine.port &&
               HostKey(page.host) == HostKey(mine.host);
    }
    std::string anchorPath, page;
    if (!CanonicalFilePath(anchor, anchorPath) || !CanonicalFilePath(url, page))
        return false;
    const std::size_t cut = anchorPath.rfind('\\');
    if (cut == std::string::npos)
        return false;
    const std::string folder = anchorPath.substr(0, cut);
    // A page in a drive's root would otherwise vouch for every file of the drive.
    if (folder.size() == 2)
        return page == anchorPath;
    return IsBelow(page, folder);
}

}  // namespace

bool CanonicalFilePath(const std::string& pathOrUrl, std::string& canonical)
{
    canonical.clear();
    std::string path = pathOrUrl;
    if (StartsWithNoCase(pathOrUrl, "file:") && !PathFromFileUrl(pathOrUrl, path))
        return false;
    std::string out;
    if (!CanonicalDrivePath(path, false, out))
        return false;
    canonical = out;
    return true;
}

bool IsInsideFolder(const std::string& pathOrUrl, const std::string& folder)
{
    std::string page, base;
    return !folder.empty() && CanonicalFilePath(pathOrUrl, page) && CanonicalFilePath(folder, base) &&
           IsBelow(page, base);
}

bool IsPathInsideFolder(const std::string& path, const std::string& folder)
{
    std::string file, base;
    return !folder.empty() && CanonicalDrivePath(path, false, file) && CanonicalFilePath(folder, base) &&
           IsBelow(file, base);
}

bool IsTrustedPage(const std::string& url, const std::string& modulePath, const std::string& anchor,
                   const FolderSource& folders)
{
    if (LowerText(url) == "about:blank")
        return true;
    if (StartsWithNoCase(url, "res://"))
        return IsModuleResource(url, modulePath);
    if (StartsWithNoCase(url, "https://") && IsAllowedSite(url))
        return true;
    if (IsInsideAnchor(url, anchor))
        return true;
    std::string page;
    if (!CanonicalFilePath(url, page))
        return false;
    std::string content, application;
    if (folders)
        folders(content, application);
    return IsInsideFolder(page, content) || IsInsideFolder(page, application);
}

}  // namespace page_trust
