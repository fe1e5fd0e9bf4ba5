// The text rules of the update manifest: its integers, the folder a component names, the file
// name taken from a component's URL, and the names built from them. Free of platform headers,
// so that they can also be built and checked natively.
#pragma once

#include <cstdint>
#include <string>

namespace manifest_rules {

// As atoi reads a number: leading blanks, an optional sign, digits up to the first other
// character; no digits give 0. Values beyond 32 bits stop at the nearest limit.
int32_t ParseInteger(const std::string& text);

// A component's "path" names a folder below the update folder: empty, or relative segments
// separated by backslashes (or slashes). Refused: a leading separator (absolute or UNC), any
// colon (drive letters, streams), a segment of only dots and blanks ("..", and what Windows
// trims to it), characters no file name may hold.
bool IsSafeComponentPath(const std::string& path);

// The last path segment of the URL (query and fragment dropped). False when the URL does not
// split or the segment is no usable file name (empty, only dots and blanks, or holding
// characters no file name may hold).
bool FileNameFromUrl(const std::string& url, std::string& name);

// "<path>\<file name>": a component's key in its update.
std::string ComponentKey(const std::string& path, const std::string& fileName);
// "<timestamp>_<file name>": the name a download is stored under.
std::string TimestampedName(int32_t timestamp, const std::string& fileName);
// "<timestamp>_<key without its leading backslashes>".
std::string CacheName(int32_t timestamp, const std::string& key);

}  // namespace manifest_rules
