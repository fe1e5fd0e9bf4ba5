#include "RecorderWindow.h"

#include "common/HostMessages.h"
#include "common/MessageBlock.h"
#include "common/QDCopyData.h"
#include "common/QDUtilities.h"

#include <chrono>

RecorderWindow::RecorderWindow(const char* className, const char* title, LRESULT answer)
    : m_answer(answer)
{
    m_thread = std::thread(&RecorderWindow::Run, this, std::string(className), std::string(title));
    std::unique_lock<std::mutex> guard(m_lock);
    m_changed.wait_for(guard, std::chrono::seconds(10), [this] { return m_ready; });
}

RecorderWindow::~RecorderWindow()
{
    if (m_window)
        PostMessageA(m_window, WM_CLOSE, 0, 0);
    if (m_thread.joinable())
        m_thread.join();
}

void RecorderWindow::Run(std::string className, std::string title)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className.c_str();
    RegisterClassA(&windowClass);   // may exist already from an earlier window
    HWND window = CreateWindowExA(0, className.c_str(), title.c_str(), WS_POPUP, 0, 0, 10, 10,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), this);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_window = window;
        m_ready = true;
    }
    m_changed.notify_all();
    if (!window)
        return;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

LRESULT CALLBACK RecorderWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    RecorderWindow* self = reinterpret_cast<RecorderWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    if (!self || (message < WM_USER && message != WM_COPYDATA))
        return DefWindowProcA(window, message, wParam, lParam);

    ReceivedMessage received;
    received.message = message;
    received.wParam = wParam;
    received.lParam = lParam;
    if (message == WM_COPYDATA) {
        const COPYDATASTRUCT* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        received.dwData = data->dwData;
        received.bytes.assign(static_cast<const char*>(data->lpData), data->cbData);
    } else if (message == RM_NOTIFY_MOTHERSHIP) {
        received.bytes.assign(reinterpret_cast<const char*>(lParam), wParam);
    } else if (message == kDataPost && lParam) {
        if (UniqueMessageBlock block = TakeMessageBlock(kDataPost, lParam)) {
            received.heapBlockSize = MessageBlockSize(block.get());
            received.bytes.assign(static_cast<const char*>(block.get()), received.heapBlockSize);
        }
    }
    {
        std::lock_guard<std::mutex> guard(self->m_lock);
        self->m_messages.push_back(received);
        if (message == kSentinel)
            ++self->m_sentinelsSeen;
    }
    self->m_changed.notify_all();
    return self->m_answer + message;
}

std::vector<ReceivedMessage> RecorderWindow::Drain(DWORD milliseconds)
{
    std::unique_lock<std::mutex> guard(m_lock);
    ++m_sentinelsPosted;
    PostMessageA(m_window, kSentinel, 0, 0);
    m_changed.wait_for(guard, std::chrono::milliseconds(milliseconds),
                       [&] { return m_sentinelsSeen >= m_sentinelsPosted; });
    std::vector<ReceivedMessage> taken;
    for (const ReceivedMessage& message : m_messages)
        if (message.message != kSentinel)
            taken.push_back(message);
    m_messages.clear();
    return taken;
}
