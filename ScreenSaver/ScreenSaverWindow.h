// The screen-saver program's window and its life: full screen over every monitor with the
// screen-saver page in Wisp.WispControl, relaying between the page and the host over the
// pipe channel, or as a preview child window inside the Display control panel.
#pragma once

#include <windows.h>

#include "ScreenSaver/QDIPC.h"

// The pipe-channel client, registered with the main window in full-screen mode.
extern QDIPC gQDIPCClient;
// -1 at start and in preview; then 0 (the host already ran), 1 (launched here, start-up event
// seen) or -1 (launch failed or the event did not come).
extern long g_lMothershipStatus;

// The timer that ends the screen saver when it fires.
const UINT_PTR kTearDownTimer = 1066;

bool RegisterScreenSaverClass(HINSTANCE instance);
// Creates the main window and what lives in it; a parent window means preview mode.
bool InitInstance(HINSTANCE instance, int showCommand, HWND parent);
LRESULT CALLBACK ScreenSaverWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void TearDown(bool bCloseMothership);
void SwitchToFadeout();
void ReportCurrentStory();
// After the message loop (or a failed start): leaves the channel, uninitialises and releases
// the control, destroys the window and makes sure the system no longer thinks a screen saver
// runs. Safe to call more than once.
void ShutDown();
