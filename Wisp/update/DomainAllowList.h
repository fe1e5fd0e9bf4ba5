// The hosts updates may be downloaded from: the maker's own sites and its partners'. Free of
// platform headers, so that it can also be built and checked natively.
#pragma once

#include <string>

namespace domain_allow_list {

const int kEntryCount = 5;
// In the order they are tried.
extern const char* const kEntries[kEntryCount];

// A host is allowed when it equals an entry or ends with "." + entry, without regard to case.
// A name that merely contains an entry ("tidewire.com.evil.test", "nottidewire.com") is not.
bool IsAllowedHost(const std::string& host);

// Splits the URL with the one URL splitter (http and https only) and tests its host; the host
// name (as written) into hostName when allowed, an empty one otherwise.
bool IsAllowedUrl(const std::string& url, std::string& hostName);

}  // namespace domain_allow_list
