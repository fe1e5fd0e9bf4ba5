// Sliding HTML pop-ups, speech balloons and the screen saver's fade window, as page script opens
// them. Rectangles come as left, top, width, height; a pop-up or balloon in the control's
// coordinates follows the control's top-level window (none inside the host application, which
// moves its windows itself).
#include <windows.h>

#include "common/HostMessages.h"
#include "common/QDUtilities.h"
#include "common/TraceLog.h"
#include "Wisp/control/WispControl.h"
#include "Wisp/methods/ApplicationMethods.h"
#include "Wisp/windows/ScreenSaverFade.h"
#include "Wisp/windows/WispBalloonWindow.h"
#include "Wisp/windows/WispPopupWindow.h"

#include <cstring>
#include <string>

namespace methods {

namespace {

RECT RectFrom(const ApplicationMethodArgs& args, unsigned first)
{
    const LONG left = args.Int(first), top = args.Int(first + 1);
    return {left, top, left + args.Int(first + 2), top + args.Int(first + 3)};
}

void ToScreen(HWND control, RECT& rect)
{
    MapWindowPoints(control, nullptr, reinterpret_cast<POINT*>(&rect), 2);
}

HWND TrackingWindowFor(HWND control)
{
    if (!control)
        return nullptr;
    HWND root = QDUtilities::GetAncestorDyn(control, GA_ROOTOWNER);
    char name[64] = "";
    if (root)
        GetClassNameA(root, name, sizeof name);
    return std::strcmp(name, HOST_WINDOW_CLASS) == 0 ? nullptr : root;
}

// SlideHTMLRoundedPopup and ShowHTMLWindow. Arguments: 0 URL; 1-4 start; 5 unread; 6-9
// destination; 10 the rectangles are in the control's client coordinates; 11 close when the
// mouse leaves; then (SlideHTMLRoundedPopup only) 12-15 the corner radii top-left, top-right,
// bottom-left, bottom-right, 16 the lifetime in ms.
void OpenPopup(MethodCall& call, bool shaped)
{
    const ApplicationMethodArgs& args = call.args;
    CWispControl& control = *call.control;
    HWND controlWindow = control.ControlWindow();
    const std::string url = args.String(0);
    RECT start = RectFrom(args, 1), dest = RectFrom(args, 6);
    // ShowHTMLWindow takes 10 and 11 as integers: any non-zero value is true, 256 as well (a
    // boolean reading sees only its low byte, 0).
    const bool client = shaped ? args.Bool(10) : args.Int(10) != 0;
    const bool mouseFlag = shaped ? args.Bool(11) : args.Int(11) != 0;
    if (client && controlWindow) {
        ToScreen(controlWindow, start);
        ToScreen(controlWindow, dest);
    }
    int radii[4] = {0, 0, 0, 0};
    DWORD lifetime = 0;
    if (shaped) {
        for (unsigned i = 0; i < 4; ++i)
            radii[i] = args.Int(12 + i);
        const long requested = args.Int(16);
        lifetime = requested > 0 ? static_cast<DWORD>(requested) : 0;
    }
    auto* popup = new CWispPopupWindow(&control.MessageChain());
    popup->SetCreator(&control);
    popup->SetPageTrust(control.TrustForNested());
    popup->SetTrackingWindow(TrackingWindowFor(controlWindow));
    const char* page = args.IsString(0) ? url.c_str() : nullptr;
    IDispatch* parent = control.Browser();
    // The creator argument is argument 1 as well, as it always was; the pop-up does not use it.
    HWND creator = reinterpret_cast<HWND>(static_cast<LONG_PTR>(args.Int(1)));
    HWND window = nullptr;
    if (radii[0] || radii[1] || radii[2] || radii[3] || lifetime)
        window = popup->CreateWispPopupWindow(creator, start, dest, page, WS_POPUP, nullptr, mouseFlag, parent,
                                              radii[0], radii[1], radii[2], radii[3], lifetime);
    else
        window = popup->CreateWispPopupWindow(creator, start, dest, page, WS_POPUP, nullptr, mouseFlag, parent);
    if (!window)
        return;
    control.CurrentPopup() = popup;
    call.SetObject(popup->PageDispatch());
}

}  // namespace

void SlideHTMLRoundedPopup(MethodCall& call)
{
    OpenPopup(call, true);
}

void ShowHTMLWindow(MethodCall& call)
{
    OpenPopup(call, false);
}

void SSCycledItemReady(MethodCall& call)
{
    call.SetBool(ScreenSaverFade::SetUpFadeout(*call.control, call.args.String(0)));
}

void SSWarmup(MethodCall& call)
{
    call.SetBool(ScreenSaverFade::Warmup(*call.control));
}

void SSCooldown(MethodCall& call)
{
    call.SetBool(ScreenSaverFade::Cooldown(*call.control));
}

void SSShowFadeWindow(MethodCall& call)
{
    call.SetBool(ScreenSaverFade::ShowFadeWindow(*call.control));
}

// 0 URL, 1-2 the anchor in the control's client coordinates, 3-4 size, 5 lifetime in seconds.
void ShowBalloon(MethodCall& call)
{
    CWispControl& control = *call.control;
    HWND controlWindow = control.ControlWindow();
    if (!controlWindow || !IsWindowVisible(controlWindow)) {
        call.SetBool(false);
        return;
    }
    const ApplicationMethodArgs& args = call.args;
    POINT anchor = {args.Int(1), args.Int(2)};
    ClientToScreen(controlWindow, &anchor);
    HWND owner = control.NotifyWindow() ? QDUtilities::GetAncestorDyn(control.NotifyWindow(), GA_ROOT) : nullptr;
    auto* balloon = new CWispBalloonWindow(&control.MessageChain());
    balloon->SetCreator(control.Identity());
    balloon->SetPageTrust(control.TrustForNested());
    balloon->SetTrackingWindow(TrackingWindowFor(controlWindow));
    const std::string url = args.String(0);
    HWND window = balloon->CreateWispBalloonWindow(args.IsString(0) ? url.c_str() : nullptr, anchor.x, anchor.y,
                                                   args.Int(3), args.Int(4), args.Int(5), owner);
    if (!window) {
        call.SetBool(false);
        return;
    }
    call.SetObject(balloon->PageDispatch());
}

// 0 URL, 1-2 size, 3 lifetime in seconds; the host answers the anchor, x in the high word.
void ShowTrayBalloon(MethodCall& call)
{
    const ApplicationMethodArgs& args = call.args;
    const LRESULT position = QDUtilities::SendApplicationMessage(RM_GET_TRAY_BALLOON_POSITION, 0, 0);
    const int x = HIWORD(position), y = LOWORD(position);
    auto* balloon = new CWispBalloonWindow();
    balloon->SetPageTrust(call.control->TrustForNested());
    const std::string url = args.String(0);
    HWND window = balloon->CreateWispBalloonWindow(args.IsString(0) ? url.c_str() : nullptr, x, y, args.Int(1),
                                                   args.Int(2), args.Int(3), nullptr);
    call.SetBool(window != nullptr);
}

}  // namespace methods
