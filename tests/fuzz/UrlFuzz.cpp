// The URL splitter and the manifest's path rules. An accepted URL gives host, port and path
// taken from the input and free of what could redirect a request; a refused one leaves the
// parts empty. A component path or file name the rules accept holds nothing that could climb
// out of the update folder, so a refused one is all that could. A download URL passes the
// allow-list only when absolute, for a host that is an allowed site or a name below one, and
// the URL it gives to fetch names the same request. A page the bridge's trust rule passes is
// blank, a resource of the module, an allowed https site or a local page whose canonical path
// (no dot segments, reading back the same) lies in one of the folders.
#include "Wisp/control/PageTrust.h"
#include "Wisp/update/DomainAllowList.h"
#include "Wisp/update/ManifestRules.h"
#include "common/UrlSplitter.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <cctype>
#include <cstring>
#include <string>

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

bool HasControl(const std::string& text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    return false;
}

bool DotsAndBlanks(const std::string& segment)
{
    return segment.find_first_not_of(". ") == std::string::npos;
}

// Whether a folder path could leave the folder it is put under, or name what Windows refuses.
bool Escapes(const std::string& path)
{
    if (!path.empty() && (path[0] == '\\' || path[0] == '/'))
        return true;
    if (HasControl(path) || path.find_first_of(":<>\"|?*") != std::string::npos)
        return true;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find_first_of("\\/", start);
        const std::string segment = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!segment.empty() && DotsAndBlanks(segment))
            return true;
        if (end == std::string::npos)
            return false;
        start = end + 1;
    }
}

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool UnderAllowedSite(const std::string& host)
{
    // A fully qualified name (a trailing dot) is the same host; an empty first label is none.
    std::string lower = Lower(host);
    if (!lower.empty() && lower.back() == '.')
        lower.pop_back();
    for (const char* entry : {"tidewire.com", "quilldesktop.com", "ashgrove.com", "marigoldmedia.net",
                              "downloads.partnercdn.net"}) {
        const std::string site = entry;
        if (lower == site || (lower.size() > site.size() + 1 &&
                              lower.compare(lower.size() - site.size() - 1, std::string::npos, "." + site) == 0))
            return true;
    }
    return false;
}

bool StartsWithScheme(const std::string& url)
{
    const std::size_t start = url.find_first_not_of(" \t\r\n\f\v");
    const std::string head = Lower(url.substr(start == std::string::npos ? url.size() : start, 8));
    return head.rfind("http://", 0) == 0 || head.rfind("https://", 0) == 0;
}

void CheckAllowList(const std::string& url)
{
    std::string hostName = "untouched";
    std::string checked = "untouched";
    const bool allowed = domain_allow_list::IsAllowedUrl(url, hostName, &checked);
    UrlParts parts;
    const bool split = SplitUrl(url, parts);
    FUZZ_CHECK(allowed == (split && StartsWithScheme(url) && UnderAllowedSite(parts.host)));
    FUZZ_CHECK(allowed ? hostName == parts.host : hostName.empty() && checked.empty());
    if (!allowed)
        return;
    // The URL fetched names the same request, and checks the same way again.
    UrlParts again;
    FUZZ_CHECK(SplitUrl(checked, again));
    std::string target;   // with its blanks escaped
    for (char c : parts.RequestTarget())
        target += c == ' ' ? std::string("%20") : std::string(1, c);
    FUZZ_CHECK(again.scheme == parts.scheme && again.host == parts.host && again.port == parts.port &&
               again.RequestTarget() == target && again.userInfo.empty());
    std::string twice;
    FUZZ_CHECK(domain_allow_list::IsAllowedUrl(checked, hostName, &twice) && twice == checked);
}

void CheckUrl(const std::string& url)
{
    UrlParts parts;
    if (!SplitUrl(url, parts)) {
        FUZZ_CHECK(parts.scheme.empty() && parts.host.empty() && parts.path.empty() &&
                   parts.query.empty() && parts.userInfo.empty() && parts.port == 0);
        return;
    }
    FUZZ_CHECK(parts.scheme == "http" || parts.scheme == "https");
    FUZZ_CHECK(parts.secure == (parts.scheme == "https"));
    FUZZ_CHECK(parts.port >= 1);
    if (parts.port != (parts.secure ? 443 : 80))
        FUZZ_CHECK(Contains(url, std::to_string(parts.port)));
    FUZZ_CHECK(!parts.host.empty() && Contains(url, parts.host));
    FUZZ_CHECK(parts.host.find_first_of("/\\@ ?#") == std::string::npos);
    FUZZ_CHECK(!parts.path.empty() && parts.path[0] == '/');
    FUZZ_CHECK(parts.path == "/" || Contains(url, parts.path));
    FUZZ_CHECK(parts.path.find_first_of("?#") == std::string::npos);
    FUZZ_CHECK(parts.query.empty() || (parts.query[0] == '?' && Contains(url, parts.query)));
    FUZZ_CHECK(parts.query.find('#') == std::string::npos);
    FUZZ_CHECK(Contains(url, parts.userInfo));
    FUZZ_CHECK(!HasControl(parts.host) && !HasControl(parts.RequestTarget()));
}

bool Below(const std::string& path, const std::string& folder)
{
    return path == folder || path.compare(0, folder.size() + 1, folder + "\\") == 0;
}

// A res: URL whose decoded text names a resource of C:\Tidewire\Wisp.dll.
bool ModuleResource(const std::string& lower)
{
    if (lower.compare(0, 6, "res://") != 0)
        return false;
    std::string decoded;
    for (std::size_t i = 6; i < lower.size(); ++i) {
        // Only the module's part must decode; a '%' further on may start no escape at all.
        if (lower[i] == '%' && i + 2 < lower.size() && std::isxdigit(static_cast<unsigned char>(lower[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(lower[i + 2]))) {
            decoded += static_cast<char>(std::stoi(lower.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += lower[i] == '/' ? '\\' : lower[i];
        }
    }
    for (char& c : decoded)
        if (c == '/')
            c = '\\';
    return Lower(decoded).compare(0, 21, "c:\\tidewire\\wisp.dll\\") == 0;
}

void CheckPageTrust(const std::string& url)
{
    std::string canonical;
    if (page_trust::CanonicalFilePath(url, canonical)) {
        FUZZ_CHECK(canonical.size() >= 2 && canonical[0] >= 'a' && canonical[0] <= 'z' && canonical[1] == ':');
        FUZZ_CHECK(!Contains(canonical + "\\", "\\.\\") && !Contains(canonical + "\\", "\\..\\"));
        FUZZ_CHECK(!Contains(canonical, "/") && !Contains(canonical, "\\\\") && !HasControl(canonical));
        FUZZ_CHECK(Lower(canonical) == canonical);
        // Reads back the same; a drive's root alone ("c:") would be drive-relative as input.
        std::string again;
        FUZZ_CHECK(canonical.size() == 2 || (page_trust::CanonicalFilePath(canonical, again) && again == canonical));
    } else {
        FUZZ_CHECK(canonical.empty());
    }
    bool asked = false;
    const bool trusted = page_trust::IsTrustedPage(
        url, "C:\\Tidewire\\Wisp.dll", "", [&](std::string& content, std::string& application) {
            asked = true;
            content = "C:\\content";
            application = "C:\\Tidewire";
        });
    // The folders are read only for a local page.
    FUZZ_CHECK(!asked || !canonical.empty());
    if (!trusted)
        return;
    const std::string lower = Lower(url);
    UrlParts parts;
    const bool site = lower.compare(0, 8, "https://") == 0 && SplitUrl(url, parts) && parts.userInfo.empty() &&
                      UnderAllowedSite(parts.host);
    const bool local = !canonical.empty() && (Below(canonical, "c:\\content") || Below(canonical, "c:\\tidewire"));
    FUZZ_CHECK(lower == "about:blank" || ModuleResource(lower) || site || local);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    CheckUrl(input);
    CheckAllowList(input);
    CheckPageTrust(input);

    // Before the first zero byte a component's path, after it the component's URL.
    const std::size_t zero = input.find('\0');
    const std::string path = input.substr(0, zero);
    const std::string url = zero == std::string::npos ? input : input.substr(zero + 1);
    const bool safe = manifest_rules::IsSafeComponentPath(path);
    FUZZ_CHECK(safe == !Escapes(path));

    const int32_t timestamp = manifest_rules::ParseInteger(input);
    std::string name = "untouched";
    if (manifest_rules::FileNameFromUrl(url, name)) {
        FUZZ_CHECK(!name.empty() && !DotsAndBlanks(name) && Contains(url, name));
        FUZZ_CHECK(name.find_first_of("\\/") == std::string::npos && !Escapes(name));
        // An empty path keys the component as "\\<name>", right in the update folder.
        if (safe) {
            const std::string key = manifest_rules::ComponentKey(path, name);
            FUZZ_CHECK(!Escapes(path.empty() ? name : key));
            // The download's and the cache's names below their folders.
            FUZZ_CHECK(!Escapes(manifest_rules::TimestampedName(timestamp, name)));
            FUZZ_CHECK(!Escapes(manifest_rules::CacheName(timestamp, key)));
        }
    } else {
        FUZZ_CHECK(name.empty());
    }
    return 0;
}
