#include "common/UrlSplitter.h"

#include <cstddef>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool IsControl(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

bool IsAsciiAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsSchemeChar(char c)
{
    return IsAsciiAlpha(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// Characters no host name may hold; ':' and the brackets are handled by the caller.
bool IsForbiddenInHost(char c)
{
    if (IsControl(c) || c == ' ')
        return true;
    for (const char* p = "#%/<>?@[\\]^`{|}\""; *p; ++p)
        if (c == *p)
            return true;
    return false;
}

bool ParsePort(const std::string& text, unsigned short& port)
{
    if (text.empty() || text.size() > 5)
        return false;
    unsigned long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value == 0 || value > 65535)
        return false;
    port = static_cast<unsigned short>(value);
    return true;
}

// host[:port] or [v6]:port into out.host and out.port (the default already there).
bool SplitHostPort(const std::string& hostPort, UrlParts& out)
{
    std::string host;
    std::string portText;
    bool hasPort = false;
    if (!hostPort.empty() && hostPort[0] == '[') {
        const std::size_t close = hostPort.find(']');
        if (close == std::string::npos)
            return false;
        host = hostPort.substr(1, close - 1);
        for (char c : host)
            if (!((c >= '0' && c <= '9') || (Lower(c) >= 'a' && Lower(c) <= 'f') || c == ':' || c == '.'))
                return false;
        const std::string rest = hostPort.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':')
                return false;
            hasPort = true;
            portText = rest.substr(1);
        }
    } else {
        const std::size_t colon = hostPort.find(':');
        host = hostPort.substr(0, colon);
        if (colon != std::string::npos) {
            hasPort = true;
            portText = hostPort.substr(colon + 1);
        }
        for (char c : host)
            if (IsForbiddenInHost(c) || c == ':')
                return false;
    }
    if (host.empty())
        return false;
    // "host:" keeps the scheme's port, as an empty port means in a URL.
    if (hasPort && !portText.empty() && !ParsePort(portText, out.port))
        return false;
    out.host = host;
    return true;
}

bool Split(const std::string& text, UrlParts& out)
{
    for (char c : text)
        if (IsControl(c))
            return false;

    // A scheme is what stands before "://" when only scheme characters precede it.
    std::size_t start = 0;
    out.scheme = "http";
    const std::size_t marker = text.find("://");
    if (marker != std::string::npos) {
        bool isScheme = marker > 0 && IsAsciiAlpha(text[0]);
        for (std::size_t i = 0; isScheme && i < marker; ++i)
            isScheme = IsSchemeChar(text[i]);
        if (isScheme) {
            out.scheme.clear();
            for (std::size_t i = 0; i < marker; ++i)
                out.scheme += Lower(text[i]);
            start = marker + 3;
        }
    }
    if (out.scheme == "http") {
        out.port = 80;
    } else if (out.scheme == "https") {
        out.port = 443;
        out.secure = true;
    } else {
        return false;
    }

    const std::size_t end = text.find_first_of("/?#", start);
    const std::string authority = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    for (char c : authority)
        if (c == '\\' || c == ' ')
            return false;
    // The last '@' ends the user information, so "a.example@b.example" is a request to b.example.
    const std::size_t at = authority.rfind('@');
    std::string hostPort = authority;
    if (at != std::string::npos) {
        out.userInfo = authority.substr(0, at);
        hostPort = authority.substr(at + 1);
    }
    if (!SplitHostPort(hostPort, out))
        return false;

    std::string rest = end == std::string::npos ? std::string() : text.substr(end);
    const std::size_t hash = rest.find('#');
    if (hash != std::string::npos)
        rest.erase(hash);
    const std::size_t question = rest.find('?');
    if (question != std::string::npos) {
        out.query = rest.substr(question);
        rest.erase(question);
    }
    out.path = rest.empty() ? std::string("/") : rest;
    return true;
}

}  // namespace

bool SplitUrl(const std::string& url, UrlParts& out)
{
    out = UrlParts();
    std::size_t first = 0;
    std::size_t last = url.size();
    while (first < last && IsBlank(url[first]))
        ++first;
    while (last > first && IsBlank(url[last - 1]))
        --last;
    UrlParts parts;
    if (!Split(url.substr(first, last - first), parts))
        return false;
    out = parts;
    return true;
}
