// Fetching the components of an update into the update folder through the platform's URL
// moniker, each redirect followed only after its address was checked. A file only ever appears
// under its final name once it came whole (as many bytes as the answer announced) from an
// allowed host with a successful HTTP status: it is written under "<name>.part" first and
// renamed.
#pragma once

#include <string>

class UpdateComponent;

// Whether the component's URL is an absolute http(s) URL naming an allowed host
// (Wisp/update/DomainAllowList.h); the host into hostName and the URL rebuilt from the checked
// parts into checkedUrl when asked, both emptied when not allowed.
bool IsAllowedDomain(const UpdateComponent* component, std::string& hostName, std::string* checkedUrl = nullptr);

// Whether a download that has been on https (fromSecure) or only on http may go on to the
// request `text` names (the first one or a redirect): an absolute http(s) URL, in any case,
// must name an allowed host and may not lead from https to http; other texts the download
// reports are no requests and pass. A refusal is traced.
bool IsAllowedRequest(const std::string& text, bool fromSecure);

// The name a download is written under until it is complete.
std::string PartialDownloadName(const std::string& target);
