// Waiting on a thread that owns windows: messages other threads and programs send to them
// (broadcasts among them) are answered meanwhile, so nobody hangs on this thread and its
// windows do not show as not responding. Posted messages stay queued.
#pragma once

#include <windows.h>

// Waits at most timeoutMs for the object (null: the whole time) and answers as
// WaitForSingleObject does.
DWORD WaitAnsweringSentMessages(HANDLE object, DWORD timeoutMs);
