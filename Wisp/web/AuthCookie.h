// The product site's login cookie "TWUser", as the default browser keeps it: WinINet's cookie
// store for Internet Explorer, the Firefox profile's cookie file for Firefox.
#pragma once

namespace DefaultBrowser {

extern const char kSiteUrl[];       // the product web site the cookie belongs to
extern const char kAuthCookie[];    // "TWUser"

// Whether WinINet's cookie text for the URL holds name + "=".
bool HasCookie(const char* url, const char* name);
bool IsClientLoggedIn();
// Internet Explorer: expires the cookie (false when there was none). Other browsers: true,
// nothing touched. Every Internet Explorer window is refreshed afterwards.
bool DeleteAuthCookie();

}  // namespace DefaultBrowser
