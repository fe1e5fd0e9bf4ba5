#include "Wisp/web/AuthCookie.h"

#include <windows.h>
#include <wininet.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/QDUtilities.h"
#include "common/TraceLog.h"
#include "Wisp/web/DefaultBrowser.h"
#include "Wisp/web/InternetExplorer.h"

namespace DefaultBrowser {

const char kSiteUrl[] = "http://www.tidewire.com/";
const char kAuthCookie[] = "TWUser";

namespace {

// The expiry attribute is written without blanks around "=": spelled "expires = ...", WinINet
// does not take it as the expiry and keeps the cookie, so a logout would leave the user logged in.
const char kExpiredCookie[] = "user = 0; expires=Sat, 01-Jan-2000 00:00:00 GMT";

}  // namespace

bool HasCookie(const char* url, const char* name)
{
    if (!url || !name)
        return false;
    DWORD size = 0;
    if (!InternetGetCookieA(url, name, nullptr, &size) || size == 0)
        return false;
    std::vector<char> text(size + 1, '\0');
    DWORD read = size;
    // A cookie that grew between the two calls does not fit the buffer: no answer from it.
    if (!InternetGetCookieA(url, name, text.data(), &read) || read > size)
        return false;
    const std::string wanted = std::string(name) + "=";
    return std::strstr(text.data(), wanted.c_str()) != nullptr;
}

bool IsClientLoggedIn()
{
    if (IsDefaultBrowserIE())
        return HasCookie(kSiteUrl, kAuthCookie);
    bool found = false;
    if (!QDUtilities::GetFireFoxAuthCookie(found))
        return false;
    return found;
}

bool DeleteAuthCookie()
{
    bool deleted = true;
    if (IsDefaultBrowserIE()) {
        deleted = HasCookie(kSiteUrl, kAuthCookie) &&
                  InternetSetCookieA(kSiteUrl, kAuthCookie, kExpiredCookie) != FALSE;
    }
    RefreshAllIEBrowsers();
    return deleted;
}

}  // namespace DefaultBrowser
