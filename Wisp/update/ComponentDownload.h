// Fetching the components of an update into the update folder with the system's URL-to-file
// download. A file only ever appears under its final name once it came whole from an allowed
// host with a successful HTTP status: it is written under "<name>.part" first and renamed.
#pragma once

#include <string>

class UpdateComponent;

// Whether the component's URL names an allowed host (Wisp/update/DomainAllowList.h); the host
// into hostName, emptied when not allowed.
bool IsAllowedDomain(const UpdateComponent* component, std::string& hostName);

// The name a download is written under until it is complete.
std::string PartialDownloadName(const std::string& target);
