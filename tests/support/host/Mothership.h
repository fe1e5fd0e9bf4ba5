// What makes the test host the desktop application for its clients: the host-running mutex,
// the mothership end of the pipe channel and the start-up event. The pipe is registered with
// a message-only window of its own, so records that came over the pipe are told apart from
// window messages sent to the host window.
#pragma once

#include <windows.h>

#include "ScreenSaver/QDIPC.h"
#include "common/com/Handle.h"
#include "tests/support/host/HostApplication.h"

namespace host {

class Mothership {
public:
    Mothership();
    ~Mothership();
    Mothership(const Mothership&) = delete;
    Mothership& operator=(const Mothership&) = delete;

    // HostRunningMutex, held for the life of the object.
    bool HoldRunningMutex();
    // QDIPC::Register as mothership: 0, or its failure code.
    DWORD RegisterPipe();
    // Opens (or creates) the start-up event and sets it.
    bool SignalStartup();
    // Unregisters and lets go of the mutex and the event.
    void Stop();

    QDIPC& Channel() { return m_ipc; }
    // Every record that arrives, as a ReceivedMessage of window Pipe (data records as
    // WM_COPYDATA with dwData in wParam).
    void SetObserver(void (*observer)(const ReceivedMessage&, void*), void* context)
    {
        m_observer = observer;
        m_observerContext = context;
    }

private:
    static LRESULT CALLBACK PipeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_pipeWindow = nullptr;
    QDIPC m_ipc;
    UniqueHandle m_runningMutex;
    UniqueHandle m_startupEvent;
    void (*m_observer)(const ReceivedMessage&, void*) = nullptr;
    void* m_observerContext = nullptr;
};

}  // namespace host
