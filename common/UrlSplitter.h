// The one URL splitter: an http or https URL into the host, port and request target a
// connection needs. A URL without a scheme is taken as http; without a port, 80 (443 for
// https). Free of platform headers, so that it can also be built and checked natively.
#pragma once

#include <string>

struct UrlParts {
    std::string scheme;      // "http" or "https", lower case
    std::string userInfo;    // the text before the authority's last '@'; never sent as a host
    std::string host;        // as written; an IPv6 literal without its brackets
    unsigned short port = 0;
    bool secure = false;     // https
    std::string path;        // starts with '/'
    std::string query;       // with its leading '?', or empty; the fragment is dropped

    // What a request line carries: path and query.
    std::string RequestTarget() const { return path + query; }
};

// False for anything but an http(s) URL with a well-formed host and port: another scheme, an
// empty host, a port outside 1-65535, control characters, or blanks and backslashes in the
// authority (texts that different readers would take for different hosts). `out` is left
// empty then. Leading and trailing blanks are ignored.
bool SplitUrl(const std::string& url, UrlParts& out);
