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

// Whether the text (after leading blanks) starts with "http://" or "https://" in any case.
bool IsAbsoluteHttpUrl(const std::string& url);

// An absolute http or https URL (IsAbsoluteHttpUrl), split with the one URL splitter, whose
// host is allowed: the host name (as written) into hostName and, when asked, into checkedUrl
// the URL rebuilt from the parts that were checked (scheme, host, port, path and query; no
// user information, no fragment), which is what may be fetched. Both emptied otherwise.
bool IsAllowedUrl(const std::string& url, std::string& hostName, std::string* checkedUrl = nullptr);

}  // namespace domain_allow_list
