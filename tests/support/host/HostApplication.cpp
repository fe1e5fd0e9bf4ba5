#include "tests/support/host/HostApplication.h"

#include "common/HostMessages.h"
#include "common/MessageBlock.h"
#include "common/com/Strings.h"
#include "Wisp/web/HttpResultBlock.h"

#include <shlwapi.h>

#include <cstring>

namespace host {

namespace {

const char kContainerClass[] = "WispTestHostContainer";
const char kFrameClass[] = "WispTestHostFrame";

HINSTANCE ThisModule()
{
    return GetModuleHandleA(nullptr);
}

bool IsUserInput(UINT message)
{
    return (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) || message == WM_KEYDOWN ||
           message == WM_SYSKEYDOWN;
}

}  // namespace

HostApplication::HostApplication() = default;

HostApplication::~HostApplication()
{
    Destroy();
}

bool HostApplication::Create(int width, int height, bool visible)
{
    // Not owned: it only has to exist for the library to hand out controls.
    m_creationMutex.Reset(CreateMutexA(nullptr, FALSE, CONTROL_CREATION_MUTEX));
    if (!m_creationMutex)
        return false;

    WNDCLASSEXA wc = {sizeof wc};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = ThisModule();
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    const char* hostClass = m_contractWindow ? HOST_WINDOW_CLASS : kFrameClass;
    wc.lpszClassName = hostClass;
    RegisterClassExA(&wc);
    wc.lpfnWndProc = ContainerProc;
    wc.lpszClassName = kContainerClass;
    RegisterClassExA(&wc);

    RECT frame = {0, 0, width, height};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    m_hostWindow = CreateWindowExA(0, hostClass, m_contractWindow ? HOST_WINDOW_TITLE : "Wisp test frame",
                                   WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0,
                                   0, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                   ThisModule(), this);
    if (!m_hostWindow)
        return false;
    m_container = CreateWindowExA(0, kContainerClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, width,
                                  height, m_hostWindow, nullptr, ThisModule(), this);
    if (!m_container)
        return false;
    m_axHost = MakeComObject<AxHost>();
    m_axHost->Attach(m_container);
    if (visible) {
        ShowWindow(m_hostWindow, SW_SHOW);
        UpdateWindow(m_hostWindow);
    }
    return true;
}

HRESULT HostApplication::CreateControl(const wchar_t* progId)
{
    if (!m_axHost)
        return E_UNEXPECTED;
    HRESULT hr = m_axHost->CreateControl(progId);
    if (FAILED(hr))
        return hr;
    return m_axHost->QueryControl(IID_IWispControl, m_control.PutVoid());
}

HRESULT HostApplication::InitControl(const std::wstring& url, IDispatch* parent)
{
    if (!m_control)
        return E_UNEXPECTED;
    BSTR text = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    HRESULT hr = m_control->Init(text, m_hostWindow, parent, m_child.Put());
    SysFreeString(text);
    return hr;
}

bool HostApplication::OpenPage(const wchar_t* page, int width, int height, bool visible, DWORD timeoutMs)
{
    if (!Create(width, height, visible) || CreateControl() != S_OK ||
        InitControl(FileUrl(PathBesideExecutable(page))) != S_OK)
        return false;
    return WaitForMessage(RM_DOCUMENT_COMPLETE, timeoutMs);
}

void HostApplication::Destroy()
{
    if (m_control) {
        m_control->UnInit();
        m_control = nullptr;
    }
    m_child = nullptr;
    if (m_axHost) {
        m_axHost->Detach();
        m_axHost = nullptr;
    }
    if (m_hostWindow) {
        DestroyWindow(m_hostWindow);
        m_hostWindow = nullptr;
        m_container = nullptr;
    }
    m_creationMutex.Reset();
}

HWND HostApplication::ControlWindow() const
{
    HWND window = nullptr;
    if (m_control)
        m_control->get_HWND(&window);
    return window;
}

void HostApplication::ResizeContainer(int width, int height)
{
    SetWindowPos(m_container, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void HostApplication::ReserveBottom(int height)
{
    m_reservedBottom = height;
    RECT client;
    GetClientRect(m_hostWindow, &client);
    ResizeContainer(client.right, client.bottom > height ? client.bottom - height : 0);
}

std::string HostApplication::CallPageFunction(const wchar_t* function, VARIANT* argument)
{
    VARIANT result;
    VariantInit(&result);
    BSTR name = SysAllocString(function);
    HRESULT hr = m_control ? m_control->CallScriptMethod(name, &result, argument ? 1 : 0, argument) : E_POINTER;
    SysFreeString(name);
    std::string text = "<call failed>";
    if (SUCCEEDED(hr) && SUCCEEDED(VariantChangeType(&result, &result, 0, VT_BSTR)))
        text = AnsiFromWide(result.bstrVal, SysStringLen(result.bstrVal));
    VariantClear(&result);
    return text;
}

std::string HostApplication::CallPageFunction(const wchar_t* function, const std::string& text)
{
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = SysAllocString(WideFromAnsi(text).c_str());
    std::string answer = CallPageFunction(function, &argument);
    VariantClear(&argument);
    return answer;
}

LRESULT HostApplication::SendToControl(UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageA(ControlWindow(), message, wParam, lParam);
}

LRESULT HostApplication::SendPostedBlock(WPARAM wParam, void* block)
{
    const UINT kind = MessageBlockKind(block);
    // Posted to this thread and taken off its queue again: the block counts as posted.
    MSG posted = {};
    if (!PostMessageBlock(nullptr, wParam, block) ||
        !PeekMessageA(&posted, reinterpret_cast<HWND>(-1), kind, kind, PM_REMOVE))
        return -2;
    return SendToControl(kind, posted.wParam, posted.lParam);
}

void* HostApplication::PostHttpComplete(unsigned long requestId, unsigned long status, const std::string& text)
{
    void* block = NewHttpResultBlock(status, text.data(), text.size());
    return block && PostMessageBlock(m_hostWindow, requestId, block) ? block : nullptr;
}

int HostApplication::CountMessages(UINT message, ReceivedMessage::Window window) const
{
    int count = 0;
    for (const auto& m : m_messages)
        count += (m.message == message && m.window == window) ? 1 : 0;
    return count;
}

bool HostApplication::WaitForMessage(UINT message, DWORD timeoutMs, int already)
{
    DWORD start = GetTickCount();
    while (CountMessages(message) <= already) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

void HostApplication::Record(ReceivedMessage::Window window, UINT message, WPARAM wParam, LPARAM lParam,
                             std::string data)
{
    m_messages.push_back({window, message, wParam, lParam, std::move(data)});
    if (m_observer)
        m_observer(m_messages.back(), m_observerContext);
}

LRESULT CALLBACK HostApplication::HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<HostApplication*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_COPYDATA) {
        auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        std::string data;
        if (copy && copy->lpData && copy->cbData)
            data.assign(static_cast<const char*>(copy->lpData), copy->cbData);
        self->Record(ReceivedMessage::Host, WM_COPYDATA, copy ? copy->dwData : 0, 0, std::move(data));
        return TRUE;
    }
    if (message >= WM_USER && message < WM_USER + 0x400) {
        self->Record(ReceivedMessage::Host, message, wParam, lParam);
        // The host passes HTTP results on to the control's window, as the screen saver does.
        if (message == RM_ASYNC_HTTP_COMPLETE) {
            // Passed on as it came, as the desktop application does; a result that cannot be
            // passed on is taken and freed here.
            HWND control = self->ControlWindow();
            if (!control || !PostMessageA(control, message, wParam, lParam))
                TakeMessageBlock(message, lParam);
        }
        auto reply = self->m_replies.find(message);
        return reply == self->m_replies.end() ? 0 : reply->second;
    }
    if (message == WM_SIZE && self->m_container) {
        // The container follows the host window's client area.
        int height = HIWORD(lParam) > self->m_reservedBottom ? HIWORD(lParam) - self->m_reservedBottom : 0;
        SetWindowPos(self->m_container, nullptr, 0, 0, LOWORD(lParam), height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (message == WM_NCDESTROY)
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK HostApplication::ContainerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<HostApplication*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcA(window, message, wParam, lParam);
    if (IsUserInput(message))
        self->Record(ReceivedMessage::Container, message, wParam, lParam);
    LRESULT result = 0;
    if (AxHost* ax = AxHost::FromWindow(window)) {
        if (ax->HandleMessage(message, wParam, lParam, result))
            return result;
    }
    if (message == WM_NCDESTROY)
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    return DefWindowProcA(window, message, wParam, lParam);
}

std::wstring PathBesideExecutable(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring full(path, length);
    std::size_t slash = full.find_last_of(L"\\/");
    return full.substr(0, slash + 1) + name;
}

std::wstring FileUrl(const std::wstring& path)
{
    wchar_t url[2048];
    DWORD size = 2048;
    if (FAILED(UrlCreateFromPathW(path.c_str(), url, &size, 0)))
        return path;
    return url;
}

std::string JsString(const std::string& text)
{
    std::string literal = "'";
    for (char c : text) {
        if (c == '\\' || c == '\'')
            literal += '\\';
        literal += c;
    }
    return literal + "'";
}

}  // namespace host
