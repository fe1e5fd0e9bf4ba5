#include "Wisp/update/DomainAllowList.h"

#include <cctype>

#include "common/UrlSplitter.h"

namespace domain_allow_list {

const char* const kEntries[kEntryCount] = {
    "tidewire.com", "quilldesktop.com", "ashgrove.com", "marigoldmedia.net", "downloads.partnercdn.net",
};

namespace {

std::string Lower(const std::string& text)
{
    std::string lower = text;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

}  // namespace

bool IsAllowedHost(const std::string& host)
{
    // A fully qualified name ("tidewire.com.") is the same host.
    std::string name = Lower(host);
    if (!name.empty() && name.back() == '.')
        name.pop_back();
    for (const char* entry : kEntries) {
        const std::string domain = entry;
        // A substring test would let "tidewire.com.evil.test" through: the entry must be the
        // whole name or its last labels.
        if (name == domain)
            return true;
        if (name.size() > domain.size() + 1 && name.compare(name.size() - domain.size(), domain.size(), domain) == 0 &&
            name[name.size() - domain.size() - 1] == '.')
            return true;
    }
    return false;
}

bool IsAllowedUrl(const std::string& url, std::string& hostName)
{
    hostName.clear();
    UrlParts parts;
    if (!SplitUrl(url, parts) || !IsAllowedHost(parts.host))
        return false;
    hostName = parts.host;
    return true;
}

}  // namespace domain_allow_list
