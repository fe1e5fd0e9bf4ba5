// Where a message for a window of this thread came from. A procedure cannot tell by itself: a
// message that this thread sends while it handles one sent by another thread still answers
// InSendMessage() with TRUE. A CallWndProc hook is told, right before each sent message's
// procedure runs, whether this thread sent it; a message without that notice was posted.
#pragma once

#include <windows.h>

namespace screensaver {

enum class Origin {
    ThisThread,    // sent by this thread (the control hosted here)
    OtherThread,   // sent by another thread or process: pointers in it are not this thread's
    Posted,        // taken from the queue
    Unknown,       // no watch: any of the above, so nothing in it is followed
};

// Watches the messages sent to one window of the calling thread (one at a time). False, with
// the system's error, when the hook cannot be set.
bool WatchMessageOrigins(HWND window);
void StopWatchingMessageOrigins();
// Called first thing in the window procedure, for the message it is handling. Without a
// watch every origin is Unknown: InSendMessage() also answers TRUE for a posted message that a
// nested loop dispatches while a sent one is handled, and FALSE for any posted one.
Origin MessageOriginOf(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace screensaver
