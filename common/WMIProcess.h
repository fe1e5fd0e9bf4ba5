// Starts a program by asking the management service (WMI) to run Win32_Process.Create, so the
// new process belongs to the service rather than to the caller. The screen saver launches the
// host this way; Wisp starts installers and browsers with it.
#pragma once

#include <windows.h>

class WMIProcess {
public:
    // 1 when the service accepted the request, 0 otherwise. The method's own return value and
    // the new process id are not looked at: a missing program still answers 1. Initialises
    // COM (apartment) for the calling thread for the duration of the call.
    static DWORD Create(const char* commandLine);

    // Create on a thread of its own, waited for at most kWaitMs. False for a null or empty
    // command line, a thread that could not start, a time-out (the thread then finishes by
    // itself) or a result of 0.
    static bool ThreadCreate(const char* commandLine);

    static const DWORD kWaitMs = 60000;

private:
    static DWORD CreateThreadProc(void* ownedCopy);
};
