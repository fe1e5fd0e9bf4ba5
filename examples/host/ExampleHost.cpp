// A small stand-in for the desktop application: it shows the sample page in Wisp.WispControl,
// waits for the page to load, then sends the host messages that raise the page's events and
// prints every message the control sends back.
//
//   ExampleHost.exe [--page=<path or URL>] [--hold=<ms>] [--menu=<menu file>] [--popups]
// --hold keeps the window up that long after the events (for a screenshot); "READY" is printed
// when the page has had all its events. --menu then has the page show that XML menu file (a
// bare name is looked up in the content folder beside the program): "MENU-READY" is printed
// while the menu and its submenu are open, and after a pause the submenu's first item is chosen
// with the keyboard, as a user would. --popups then has the page open a rounded sliding pop-up
// and a speech balloon: "POPUP-READY" is printed once both show at full opacity, and they are
// closed after the hold.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <shlobj.h>
#include <string>

#include "common/HostMessages.h"
#include "common/com/Strings.h"
#include "tests/support/ModalDriver.h"
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

bool Flag(int argc, char** argv, const char* name)
{
    std::string flag = std::string("--") + name;
    for (int i = 1; i < argc; ++i)
        if (flag == argv[i])
            return true;
    return false;
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

void PrintMenu(const char* title, const std::vector<testing_support::MenuEntry>& items)
{
    std::printf("%s:\n", title);
    for (const auto& item : items) {
        if (item.separator)
            std::printf("  ----\n");
        else
            std::printf("  %-4u %s%s%s%s\n", item.id, item.text.c_str(), item.checked ? " [checked]" : "",
                        item.disabled ? " [disabled]" : "", item.submenu ? " >" : "");
    }
    std::fflush(stdout);
}

// The page shows the menu file; a helper thread opens the first submenu for the screenshot,
// then picks its first item. Answers what the page reported.
std::string ShowMenuFromPage(host::HostApplication& app, const std::string& menuPath, DWORD pause)
{
    HWND owner = app.ControlWindow();
    RECT window;
    GetWindowRect(app.HostWindow(), &window);
    SetCursorPos(window.left + 420, window.top + 60);
    std::printf("page -> AddMenu('%s'), ShowMenu\n", menuPath.c_str());
    std::fflush(stdout);
    return testing_support::DriveModal([&] {
        HWND menuWindow = testing_support::WaitForMenuWindow();
        std::vector<testing_support::MenuEntry> items = testing_support::ReadMenu(testing_support::MenuOfWindow(menuWindow));
        PrintMenu("native menu", items);
        HMENU menu = testing_support::MenuOfWindow(menuWindow);
        int submenuAt = 0;
        while (submenuAt < static_cast<int>(items.size()) && !items[submenuAt].submenu)
            ++submenuAt;
        if (HMENU submenu = testing_support::OpenSubmenu(owner, menu, submenuAt))
            PrintMenu("submenu", testing_support::ReadMenu(submenu));
        std::printf("MENU-READY\n");
        std::fflush(stdout);
        Sleep(pause);
        testing_support::PressKey(owner, VK_RETURN);
    }, [&] { return app.CallPageFunction(L"showMenu", menuPath); });
}

HWND WaitForShown(const char* windowClass, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    HWND window = nullptr;
    while (GetTickCount() - start < timeoutMs) {
        window = FindWindowA(windowClass, nullptr);
        if (window && IsWindowVisible(window))
            return window;
        Pump(20);
    }
    return nullptr;
}

// The page opens them; answers true when both showed.
bool ShowPopupsFromPage(host::HostApplication& app, DWORD hold)
{
    std::string folder = AnsiFromWide(host::FileUrl(host::PathBesideExecutable(L"content\\")));
    std::string code = folder + "|" + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "|" +
                       std::to_string(GetSystemMetrics(SM_CYSCREEN));
    std::printf("page -> SlideHTMLRoundedPopup, ShowBalloon\n");
    std::fflush(stdout);
    std::string answer = app.CallPageFunction(L"showPopupsFrom", code);
    std::printf("page <- %s\n", answer.c_str());
    HWND popup = WaitForShown("WispPopupWindow", 10000);
    HWND balloon = WaitForShown("WispBalloonWindow", 10000);
    // The balloon fades in over a third of a second.
    Pump(700);
    RECT r = {};
    if (popup && GetWindowRect(popup, &r))
        std::printf("pop-up at %ld,%ld-%ld,%ld\n", r.left, r.top, r.right, r.bottom);
    if (balloon && GetWindowRect(balloon, &r))
        std::printf("balloon at %ld,%ld-%ld,%ld\n", r.left, r.top, r.right, r.bottom);
    std::printf("POPUP-READY\n");
    std::fflush(stdout);
    Pump(hold);
    if (popup)
        SendMessageA(popup, RM_CLOSE_POPUP, 0, 0);
    if (balloon)
        SendMessageA(balloon, RM_CLOSE_POPUP, 0, 0);
    return popup && balloon;
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
    std::string menu = Switch(argc, argv, "menu");
    const bool popups = Flag(argc, argv, "popups");
    if (!menu.empty() && menu.find_first_of(":\\/") == std::string::npos)
        menu = AnsiFromWide(host::PathBesideExecutable((L"content\\" + WideFromAnsi(menu)).c_str()));

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
                app.ReserveBottom(210);
                RECT client;
                GetClientRect(app.HostWindow(), &client);
                HWND panel = CreateWindowExA(0, "STATIC", ("The page reports:\r\n" + summary).c_str(),
                                             WS_CHILD | WS_VISIBLE | SS_LEFT, 8, client.bottom - 206,
                                             client.right - 16, 202, app.HostWindow(), nullptr, nullptr, nullptr);
                Pump(300);
                std::printf("READY\n");
                std::fflush(stdout);
                Pump(hold);
                status = 0;
                if (!menu.empty()) {
                    std::string picked = ShowMenuFromPage(app, menu, hold);
                    std::printf("page <- ShowMenu answered %s\n", picked.c_str());
                    summary = PageSummary(app);
                    SetWindowTextA(panel, ("The page reports:\r\n" + summary).c_str());
                    std::printf("page summary:\n%s", summary.c_str());
                    Pump(300);
                    status = picked == "10" ? 0 : 1;
                }
                if (popups && status == 0) {
                    status = ShowPopupsFromPage(app, hold) ? 0 : 1;
                    summary = PageSummary(app);
                    SetWindowTextA(panel, ("The page reports:\r\n" + summary).c_str());
                    std::printf("page summary:\n%s", summary.c_str());
                }
            }
        }
        app.Destroy();
    }
    OleUninitialize();
    return status;
}
