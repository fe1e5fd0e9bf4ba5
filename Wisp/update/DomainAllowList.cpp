#include "Wisp/update/DomainAllowList.h"

#include <cctype>
#include <string>

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

bool IsAbsoluteHttpUrl(const std::string& url)
{
    const std::size_t start = url.find_first_not_of(" \t\r\n\f\v");
    if (start == std::string::npos)
        return false;
    const std::string head = Lower(url.substr(start, 8));
    return head.compare(0, 7, "http://") == 0 || head == "https://";
}

bool IsAllowedUrl(const std::string& url, std::string& hostName, std::string* checkedUrl)
{
    hostName.clear();
    if (checkedUrl)
        checkedUrl->clear();
    UrlParts parts;
    // The splitter takes a text without a scheme as http; a download would read it otherwise.
    if (!IsAbsoluteHttpUrl(url) || !SplitUrl(url, parts) || !IsAllowedHost(parts.host))
        return false;
    hostName = parts.host;
    if (checkedUrl) {
        // An allowed host is a name, never an address literal that would need brackets.
        const unsigned short standard = parts.secure ? 443 : 80;
        // A blank goes escaped: raw it cannot stand in a request line, and one at the end of
        // the rebuilt text would be trimmed away by the next reading (a fragment cut off after it).
        std::string target;
        for (char c : parts.RequestTarget())
            target += c == ' ' ? std::string("%20") : std::string(1, c);
        *checkedUrl = parts.scheme + "://" + parts.host +
                      (parts.port != standard ? ":" + std::to_string(parts.port) : std::string()) + target;
    }
    return true;
}

}  // namespace domain_allow_list
