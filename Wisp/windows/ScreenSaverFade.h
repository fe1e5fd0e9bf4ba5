// What the screen saver's page does with pop-ups: the fade set-up on the control's current
// pop-up, and the fade window (a small rounded pop-up near the bottom-right corner of the
// usable screen that fades out after a while and then clears the page).
#pragma once

#include <windows.h>

#include <string>

class CWispControl;

namespace ScreenSaverFade {

const int kFadeWindowSide = 400;
const int kFadeWindowMargin = 12;
const int kFadeWindowRadius = 4;
const int kFadeWindowAlpha = 220;
const char kFadePage[] = "fadesscontent.htm";

// The process-wide fade values (ms): start of the fade, its duration and its step interval.
struct FadeValues {
    int start;
    int duration;
    int interval;
};
FadeValues CurrentFadeValues();

// The fade window's rectangle: kFadeWindowMargin pixels in from the bottom-right corner of the
// virtual screen less the task bar and, when the desk bar is on, less its size on its edge.
RECT FadeRectangle(bool deskBar, int deskBarEdge, int deskBarSize);

// SSCycledItemReady: the current pop-up's page goes into its small-window mode and is told `arg`.
bool SetUpFadeout(CWispControl& control, const std::string& arg);
// SSWarmup, SSShowFadeWindow, SSCooldown.
bool Warmup(CWispControl& control);
bool ShowFadeWindow(CWispControl& control);
bool Cooldown(CWispControl& control);

}  // namespace ScreenSaverFade
