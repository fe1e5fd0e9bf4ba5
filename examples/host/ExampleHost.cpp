// A small stand-in for the desktop application: it shows the sample page in Wisp.WispControl,
// waits for the page to load, then sends the host messages that raise the page's events and
// prints every message the control sends back.
//
//   ExampleHost.exe [--page=<path or URL>] [--hold=<ms>]
// --hold keeps the window up that long after the events (for a screenshot); "READY" is printed
// when the page has had all its events.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <shlobj.h>
#include <string>

#include "common/HostMessages.h"
#include "tests/support/host/HostApplication.h"

namespace {

const char* MessageName(UINT message)
{
    switch (message) {
    case RM_DOCUMENT_COMPLETE: return "RM_DOCUMENT_COMPLETE";
    case RM_ASYNC_HTTP_COMPLETE: return "RM_ASYNC_HTTP_COMPLETE";
    case WM_COPYDATA: return "WM_COPYDATA";
    default: return "";
    }
}

void PrintMessage(const host::ReceivedMessage& m, void*)
{
    if (m.window != host::ReceivedMessage::Host)
        return;
    std::printf("host <- 0x%04X %s wParam=%lu lParam=0x%lX%s%s\n", m.message, MessageName(m.message),
                static_cast<unsigned long>(m.wParam), static_cast<unsigned long>(m.lParam),
                m.data.empty() ? "" : " data=", m.data.c_str());
    std::fflush(stdout);
}

std::string Switch(int argc, char** argv, const char* name)
{
    std::string prefix = std::string("--") + name + "=";
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0)
            return argv[i] + prefix.size();
    return {};
}

void Send(host::HostApplication& app, UINT message, const char* name)
{
    std::printf("host -> 0x%04X %s\n", message, name);
    std::fflush(stdout);
    app.SendToControl(message);
}

// The page's own account of what it saw, from its summary() function.
std::string PageSummary(host::HostApplication& app)
{
    VARIANT result;
    VariantInit(&result);
    BSTR name = SysAllocString(L"summary");
    HRESULT hr = app.Control()->CallScriptMethod(name, &result, 0, nullptr);
    SysFreeString(name);
    std::string text;
    if (SUCCEEDED(hr) && result.vt == VT_BSTR && result.bstrVal) {
        int size = WideCharToMultiByte(CP_ACP, 0, result.bstrVal, -1, nullptr, 0, nullptr, nullptr);
        text.resize(size > 0 ? size - 1 : 0);
        WideCharToMultiByte(CP_ACP, 0, result.bstrVal, -1, &text[0], size, nullptr, nullptr);
    } else {
        text = "summary() could not be called";
    }
    VariantClear(&result);
    return text;
}

void Pump(DWORD ms)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    std::wstring page;
    std::string pageArg = Switch(argc, argv, "page");
    if (pageArg.empty()) {
        page = host::FileUrl(host::PathBesideExecutable(L"content\\sample.htm"));
    } else {
        page.assign(pageArg.begin(), pageArg.end());
        if (page.find(L"://") == std::wstring::npos)
            page = host::FileUrl(page);
    }
    DWORD hold = static_cast<DWORD>(std::atoi(Switch(argc, argv, "hold").c_str()));

    // The settings component makes the per-user folder in the real product; the trace file
    // goes there.
    char folder[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, folder))) {
        std::string path = std::string(folder) + "\\Quill";
        CreateDirectoryA(path.c_str(), nullptr);
        CreateDirectoryA((path + "\\Tidewire").c_str(), nullptr);
    }

    OleInitialize(nullptr);
    int status = 1;
    {
        host::HostApplication app;
        app.SetObserver(PrintMessage, nullptr);
        if (!app.Create(800, 420, true)) {
            std::printf("could not create the host windows\n");
        } else if (HRESULT hr = app.CreateControl(); FAILED(hr)) {
            std::printf("creating Wisp.WispControl failed, hr=0x%08lX (is Wisp.dll registered?)\n",
                        static_cast<unsigned long>(hr));
        } else if (HRESULT init = app.InitControl(page); FAILED(init)) {
            std::printf("Init failed, hr=0x%08lX\n", static_cast<unsigned long>(init));
        } else {
            std::printf("Init(%ls) done, waiting for the page\n", page.c_str());
            std::fflush(stdout);
            if (!app.WaitForMessage(RM_DOCUMENT_COMPLETE, 15000)) {
                std::printf("the page did not load within 15 s\n");
            } else {
                Pump(300);
                Send(app, RM_DESKTOP_LOADED, "desktop loaded");
                Send(app, RM_NEW_DESKTOP_INSTANCE, "new desktop instance");
                Send(app, RM_NEW_CONTENT_AVAILABLE, "new content available");
                Send(app, RM_DEFAULT_BROWSER_NAVIGATE_COMPLETE, "default browser navigation complete");
                std::printf("host -> 0x%04X RM_ASYNC_HTTP_COMPLETE request 1, status 200\n", RM_ASYNC_HTTP_COMPLETE);
                app.PostHttpComplete(1, 200, "hello from the host");
                std::printf("host: window resized to 700 pixels\n");
                SetWindowPos(app.HostWindow(), nullptr, 0, 0, 700, 420, SWP_NOZORDER | SWP_NOMOVE);
                Pump(700);
                std::string summary = PageSummary(app);
                std::printf("page summary:\n%s", summary.c_str());
                // The stand-in browser of the demo draws no page: the host shows the summary.
                app.ReserveBottom(190);
                RECT client;
                GetClientRect(app.HostWindow(), &client);
                HWND panel = CreateWindowExA(0, "STATIC", ("The page reports:\r\n" + summary).c_str(),
                                             WS_CHILD | WS_VISIBLE | SS_LEFT, 8, client.bottom - 186,
                                             client.right - 16, 182, app.HostWindow(), nullptr, nullptr, nullptr);
                (void)panel;
                Pump(300);
                std::printf("READY\n");
                std::fflush(stdout);
                Pump(hold);
                status = 0;
            }
        }
        app.Destroy();
    }
    OleUninitialize();
    return status;
}
