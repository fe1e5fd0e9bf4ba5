#include "tests/support/host/Mothership.h"

#include "common/HostMessages.h"
#include "common/WindowClass.h"

namespace host {

namespace {
const char kPipeWindowClass[] = "TidewireDesktopPipeWindow";
}

Mothership::Mothership()
{
    RegisterWindowClassOnce(GetModuleHandleA(nullptr), kPipeWindowClass, PipeWindowProc);
    m_pipeWindow = CreateWindowExA(0, kPipeWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   GetModuleHandleA(nullptr), this);
}

Mothership::~Mothership()
{
    Stop();
    if (m_pipeWindow)
        DestroyWindow(m_pipeWindow);
}

bool Mothership::HoldRunningMutex()
{
    m_runningMutex.Reset(CreateMutexA(nullptr, FALSE, HOST_RUNNING_MUTEX));
    return static_cast<bool>(m_runningMutex);
}

DWORD Mothership::RegisterPipe()
{
    return m_pipeWindow ? m_ipc.Register(m_pipeWindow, true) : QDIPC::kResultNullWindow;
}

bool Mothership::SignalStartup()
{
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    m_startupEvent.Reset(CreateEventA(&inheritable, TRUE, FALSE, STARTUP_SYNCHRONIZATION_EVENT));
    return m_startupEvent && SetEvent(m_startupEvent.Get());
}

void Mothership::Stop()
{
    m_ipc.UnRegister();
    m_runningMutex.Reset();
    m_startupEvent.Reset();
}

LRESULT CALLBACK Mothership::PipeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Mothership*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && self->m_observer) {
        if (message == WM_COPYDATA) {
            const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            std::string data;
            if (copy && copy->lpData && copy->cbData)
                data.assign(static_cast<const char*>(copy->lpData), copy->cbData);
            self->m_observer({ReceivedMessage::Pipe, WM_COPYDATA, copy ? copy->dwData : 0, 0, std::move(data)},
                             self->m_observerContext);
            return TRUE;
        }
        if (message >= WM_USER) {
            self->m_observer({ReceivedMessage::Pipe, message, wParam, lParam, {}}, self->m_observerContext);
            return 0;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace host
