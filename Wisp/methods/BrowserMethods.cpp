// The default browser, the product site's login cookie and the "feed" protocol. The browser's
// COM objects need the control's single-threaded apartment, so each runs on the caller's
// thread; OpenNew (through ShowQuillDesktopInBrowser) may block it for up to 33 s.
#include "Wisp/control/WispControl.h"
#include "Wisp/methods/ApplicationMethods.h"
#include "Wisp/web/AuthCookie.h"
#include "Wisp/web/BrowserName.h"
#include "Wisp/web/DefaultBrowser.h"
#include "Wisp/web/DefaultRSSReader.h"
#include "Wisp/web/RSSRegistrarIE.h"

namespace methods {

void DeleteAuthCookie(MethodCall& call)
{
    call.SetBool(DefaultBrowser::DeleteAuthCookie());
}

void IsClientLoggedIn(MethodCall& call)
{
    call.SetBool(DefaultBrowser::IsClientLoggedIn());
}

void ShowQuillDesktopInBrowser(MethodCall& call)
{
    call.SetBool(call.control->ShowQuillDesktopInBrowser(call.args.Int(0) != 0));
}

void IsDefaultBrowserOpen(MethodCall& call)
{
    call.SetBool(DefaultBrowser::IsDefaultBrowserOpen());
}

void GetCurrentRSSReader(MethodCall& call)
{
    std::string name;
    DefaultBrowser::GetCurrentRSSReader(name);
    call.SetString(name);
}

void QDSetAsDefaultRSSReader(MethodCall&)
{
    RSSRegistrarIE().MakeMarigoldTheDefaultRSSReader();
}

void TestForFeedHandler(MethodCall& call)
{
    DefaultRSSReader::DoDetect(DefaultRSSReader::kDetectAsk, call.control->ControlWindow());
}

// A 16-bit -1 or 0, not a VT_BOOL: pages compare it with numbers.
void IsDefaultBrowserIE(MethodCall& call)
{
    call.SetShort(DefaultBrowser::IsDefaultBrowserIE() ? -1 : 0);
}

}  // namespace methods
