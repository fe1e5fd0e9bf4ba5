// Plays the desktop application a control lives in: it creates the control-creation mutex, a
// top-level window of the host contract's class and title, a container child window holding
// Wisp.WispControl (created by ProgID), and records the messages those windows receive. Tests
// and the example host share it.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "Wisp_h.h"
#include "common/axhost/AxHost.h"
#include "common/com/ComPtr.h"
#include "common/com/Handle.h"

namespace host {

struct ReceivedMessage {
    enum Window { Host, Container, Pipe } window;   // Pipe: arrived on the pipe channel
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::string data;   // WM_COPYDATA payload (dwData is in wParam then)
};

class HostApplication {
public:
    HostApplication();
    ~HostApplication();
    HostApplication(const HostApplication&) = delete;
    HostApplication& operator=(const HostApplication&) = delete;

    // Before Create: false makes the top-level window a plain frame rather than the host
    // contract's, for tests whose host application is another process (TidewireDesktop.exe).
    void SetContractWindow(bool contract) { m_contractWindow = contract; }
    // The mutex and the windows; the container fills the host window's client area.
    bool Create(int width = 640, int height = 480, bool visible = false);
    // Creates Wisp.WispControl in the container. Answers the creation's HRESULT.
    HRESULT CreateControl(const wchar_t* progId = L"Wisp.WispControl");
    // Init(url, host window, parent, &child) on the control.
    HRESULT InitControl(const std::wstring& url, IDispatch* parent = nullptr);
    // Create, CreateControl and InitControl with the page beside the executable (a relative
    // path such as L"fixtures\\windows\\menus.htm"), then waits for the page's
    // document-complete message. False when a step fails or the page does not load in time.
    bool OpenPage(const wchar_t* page, int width, int height, bool visible = false, DWORD timeoutMs = 10000);
    // UnInit, release, destroy the windows (in that order). Safe to call twice.
    void Destroy();

    IWispControl* Control() const { return m_control.Get(); }
    IDispatch* ChildDispatch() const { return m_child.Get(); }
    HWND HostWindow() const { return m_hostWindow; }
    HWND ContainerWindow() const { return m_container; }
    HWND ControlWindow() const;

    // Moves and sizes the container (the control fills it).
    void ResizeContainer(int width, int height);
    // Keeps `height` pixels at the bottom of the host window free of the container.
    void ReserveBottom(int height);

    // Calls a function of the page with no argument, one variant (lent, given back) or one
    // text, and answers its result as text; "<call failed>" when the call fails.
    std::string CallPageFunction(const wchar_t* function, VARIANT* argument = nullptr);
    std::string CallPageFunction(const wchar_t* function, const std::string& text);

    // Host-contract messages to the control's window.
    LRESULT SendToControl(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // A message block as its worker posts it, handed to the control synchronously for the
    // handler's result (-2 when it could not be posted).
    LRESULT SendPostedBlock(WPARAM wParam, void* block);
    // An asynchronous HTTP result as the HTTP client posts it: to the host window, which passes
    // it on to the control. Answers the block (freed by the control).
    void* PostHttpComplete(unsigned long requestId, unsigned long status, const std::string& text);

    // What the host window answers to a message of the host range (0 unless set).
    void SetReply(UINT message, LRESULT reply) { m_replies[message] = reply; }

    const std::vector<ReceivedMessage>& Messages() const { return m_messages; }
    void ClearMessages() { m_messages.clear(); }
    int CountMessages(UINT message, ReceivedMessage::Window window = ReceivedMessage::Host) const;
    // Pumps until `message` arrives (count grows past `already`), or the time is up.
    bool WaitForMessage(UINT message, DWORD timeoutMs, int already = 0);
    // Each recorded message is also reported here (the example host prints them).
    void SetObserver(void (*observer)(const ReceivedMessage&, void*), void* context)
    {
        m_observer = observer;
        m_observerContext = context;
    }

private:
    static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ContainerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Record(ReceivedMessage::Window window, UINT message, WPARAM wParam, LPARAM lParam, std::string data = {});

    bool m_contractWindow = true;
    UniqueHandle m_creationMutex;
    HWND m_hostWindow = nullptr;
    HWND m_container = nullptr;
    int m_reservedBottom = 0;
    ComPtr<AxHost> m_axHost;
    ComPtr<IWispControl> m_control;
    ComPtr<IDispatch> m_child;
    std::vector<ReceivedMessage> m_messages;
    std::map<UINT, LRESULT> m_replies;
    void (*m_observer)(const ReceivedMessage&, void*) = nullptr;
    void* m_observerContext = nullptr;
};

// Full path of a file next to the running executable.
std::wstring PathBesideExecutable(const wchar_t* name);
// file:/// URL of a local path.
std::wstring FileUrl(const std::wstring& path);
// A text as a JScript string literal (backslashes and single quotes escaped).
std::string JsString(const std::string& text);

}  // namespace host
