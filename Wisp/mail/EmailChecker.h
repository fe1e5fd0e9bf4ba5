// What the control needs of the e-mail checker: the mail methods create one (owned by the
// control), the worker's completion message is handed to it, and UnInit stops it.
#pragma once

#include <windows.h>

class EmailChecker {
public:
    virtual ~EmailChecker() = default;
    // A check pass ended (message 0x040B, whose lParam is this checker), on the control's thread.
    virtual void OnCheckComplete() = 0;
    // Ends the worker's run and sleep loops.
    virtual void Stop() = 0;
};
