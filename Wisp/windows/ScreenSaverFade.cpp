#include "Wisp/windows/ScreenSaverFade.h"

#include <shellapi.h>

#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"
#include "common/com/Bstr.h"
#include "common/com/Variant.h"
#include "Wisp/control/WispControl.h"
#include "Wisp/windows/WispPopupWindow.h"

namespace ScreenSaverFade {

namespace {

FadeValues g_fade = {4999, 799, 24};
int g_setUpFailures = 0;

// Its window goes, and with it the control's pointers to it.
void DestroyFadeWindow(CWispControl& control)
{
    CWispPopupWindow* popup = control.FadeWindow();
    control.FadeWindow() = nullptr;
    if (control.CurrentPopup() == popup)
        control.CurrentPopup() = nullptr;
    if (popup && popup->Window())
        DestroyWindow(popup->Window());
}

}  // namespace

FadeValues CurrentFadeValues()
{
    return g_fade;
}

RECT FadeRectangle(bool deskBar, int deskBarEdge, int deskBarSize)
{
    // Only the right and bottom bounds place the window: a task bar or desk bar on the left or
    // at the top leaves them where they are.
    LONG right = GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    LONG bottom = GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    RECT bar = {};
    HWND taskBar = FindWindowA("Shell_TrayWnd", nullptr);
    if (taskBar && GetWindowRect(taskBar, &bar)) {
        const int edge = QDUtilities::GetTaskBarEdge();
        if (edge == ABE_RIGHT)
            right -= bar.right - bar.left;
        else if (edge == ABE_BOTTOM)
            bottom -= bar.bottom - bar.top;
    }
    if (deskBar && deskBarEdge == ABE_RIGHT)
        right -= deskBarSize;
    if (deskBar && deskBarEdge == ABE_BOTTOM)
        bottom -= deskBarSize;
    // In from the corner itself: measured as right - left - 12 and bottom - top - 12 the window
    // would stand elsewhere whenever the usable area does not start at 0,0.
    RECT rect;
    rect.right = right - kFadeWindowMargin;
    rect.bottom = bottom - kFadeWindowMargin;
    rect.left = rect.right - kFadeWindowSide;
    rect.top = rect.bottom - kFadeWindowSide;
    return rect;
}

bool SetUpFadeout(CWispControl& control, const std::string& arg)
{
    CWispPopupWindow* popup = control.CurrentPopup();
    bool found = false;
    if (!popup || FAILED(popup->ScriptMethodExists("GoIntoSmallWindowMode", found)) || !found) {
        ++g_setUpFailures;
        return false;
    }
    g_setUpFailures = 0;
    if (FAILED(popup->CallScriptMethod("GoIntoSmallWindowMode", nullptr, 0, nullptr)))
        TraceLog("screensaver SetUpFadeout: CallScriptMethod failed on GoIntoSmallWindowMode \n");
    Variant text = Variant::FromBstr(Bstr::FromAnsi(arg.c_str()).Detach());
    if (FAILED(popup->CallScriptMethod("RespectNewWindowSize", nullptr, 1, text.Get())))
        TraceLog("screensaver SetUpFadeout: CallScriptMethod failed on RespectNewWindowSize \n");
    return true;
}

bool Warmup(CWispControl& control)
{
    RECT rect;
    {
        // Closed before the window is made: the pop-up opens the settings again for its frame page.
        PersistentSettings settings;
        settings.GetProperty(SettingsId::screensaver_fadestartelapsed, g_fade.start);
        settings.GetProperty(SettingsId::screensaver_fadewatchelapsed, g_fade.duration);
        settings.GetProperty(SettingsId::screensaver_fadewatchfrequency, g_fade.interval);
        bool deskBar = false;
        int edge = 0, size = 0;
        settings.GetProperty(SettingsId::appbar_deskbar, deskBar);
        settings.GetProperty(SettingsId::appbar_edge, edge);
        settings.GetProperty(SettingsId::appbar_size, size);
        rect = FadeRectangle(deskBar, edge, size);
    }
    char path[MAX_PATH] = {};
    QDUtilities::MakeContentPath(path, kFadePage, sizeof path);
    // One fade window a control: a second warm-up replaces it rather than leaving it behind.
    DestroyFadeWindow(control);

    auto* popup = new CWispPopupWindow();
    popup->SetCreator(&control);
    popup->SetPageTrust(control.TrustForNested());
    popup->SetShowOnFirstLoad(true);
    popup->SetHoldLifetimeWhileHidden(false);
    // Not closed by the mouse leaving it: the fade window ends with its fade or with SSCooldown.
    HWND window = popup->CreateWispPopupWindow(rect, path, nullptr, false);
    if (!window)
        return false;
    popup->SetRoundedRegion(rect, kFadeWindowRadius, kFadeWindowRadius, kFadeWindowRadius, kFadeWindowRadius);
    control.CurrentPopup() = popup;
    control.FadeWindow() = popup;
    return true;
}

// The fade window, not whatever pop-up came last: a notification opened after the warm-up
// would otherwise be faded or closed in its place.
bool ShowFadeWindow(CWispControl& control)
{
    CWispPopupWindow* popup = control.FadeWindow();
    if (!popup)
        return false;
    popup->StartFade(kFadeWindowAlpha, static_cast<DWORD>(g_fade.start), static_cast<DWORD>(g_fade.duration),
                     static_cast<DWORD>(g_fade.interval));
    return true;
}

bool Cooldown(CWispControl& control)
{
    DestroyFadeWindow(control);
    return true;
}

}  // namespace ScreenSaverFade
