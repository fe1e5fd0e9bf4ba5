// Waiting while this thread's windows keep working: the mail threads own windows (the offscreen
// browser), whose pages load only while the thread dispatches its messages. The waits sleep on
// the message queue instead of polling it.
#pragma once

#include <windows.h>

// Dispatches every message that arrives until `ms` milliseconds have passed.
void PumpMessagesFor(DWORD ms);
// Dispatches messages one second at a time until `ms` milliseconds have passed: at least one
// second, and it ends on the first whole second past `ms`.
void PumpMessagesInSeconds(DWORD ms);
