// Which pages may use the native bridge (window.external.CallApplicationMethod): the product's
// own files, the maker's https sites and the page the host chose. Everything else a browser may
// end up showing (a redirect, a link, a frame's navigation of the top) is refused. Texts are
// UTF-8, so that no conversion can turn a character the browser sees into a '?' or a separator
// here. Free of platform headers, so that it can also be built and checked natively.
#pragma once

#include <functional>
#include <string>

namespace page_trust {

// The content and application folders (content_directory, application_directory). Asked for
// only when a local page lies outside the anchor: reading the settings costs a file read.
using FolderSource = std::function<void(std::string& contentDirectory, std::string& applicationDirectory)>;

// A document may use the bridge when its URL is
// - a file URL or a path inside the content or the application folder;
// - "about:blank", or a res: URL of the module at modulePath (Wisp.dll itself);
// - an https URL (without user information) whose host the download allow-list passes;
// - inside the anchor, the URL the host gave Init (empty for none): for an http(s) anchor the
//   pages of its scheme, host and port; for a local one its folder and the folders below,
//   and only the anchor page itself when that folder is a drive's root.
bool IsTrustedPage(const std::string& url, const std::string& modulePath, const std::string& anchor,
                   const FolderSource& folders);

// A file URL ("file:///C:/x", "file://C:\x", "file://localhost/C:/x", percent-encoded) or a
// drive path, as "c:\dir\file": separators made '\', "." and ".." resolved, ASCII letters
// lower case. False for UNC and device paths, relative ones, bad escapes, control characters,
// ':' past the drive, wildcards, and segments ending in a dot or a blank (which Windows would
// trim, so that they name another file than they spell).
bool CanonicalFilePath(const std::string& pathOrUrl, std::string& canonical);

// Whether the path or file URL lies in `folder` (a path) or below it, both canonical.
bool IsInsideFolder(const std::string& pathOrUrl, const std::string& folder);
// The same for a plain path only: a file name handed to the file system, where a URL names no file.
bool IsPathInsideFolder(const std::string& path, const std::string& folder);

}  // namespace page_trust
