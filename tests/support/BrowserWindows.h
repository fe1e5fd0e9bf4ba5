// What the default-browser tests set up: the "http" registration of a browser (kept and put
// back), top-level windows with a browser's class and caption, and an Internet Explorer frame
// holding the browser stand-in, optionally listed in the shell's window list.
#pragma once

#include <windows.h>
#include <exdisp.h>

#include <string>

#include "common/axhost/AxHost.h"
#include "common/com/ComPtr.h"
#include "tests/support/ScratchState.h"

namespace testing_support {

// HKCR "HTTP\shell\open" for the life of the object; Set writes the command and, when given,
// the ddeexec "Application" name.
class DefaultBrowserRegistration {
public:
    DefaultBrowserRegistration();
    ~DefaultBrowserRegistration() = default;
    void Set(const std::string& command, const char* ddeApplication = nullptr);
    void Clear();

private:
    RegistryKeyBackup m_backup;
};

// Closes every window of the test browser program (tests/support/browser_program) and waits for
// each program to end, so its file can go.
void CloseTestBrowsers();

// A visible top-level window of its own class (registered once per name) and caption.
class TopLevelWindow {
public:
    TopLevelWindow(const char* className, const char* caption);
    ~TopLevelWindow();
    TopLevelWindow(const TopLevelWindow&) = delete;
    TopLevelWindow& operator=(const TopLevelWindow&) = delete;
    HWND Get() const { return m_window; }

private:
    HWND m_window = nullptr;
};

// An "IEFrame" window with the browser stand-in in it, laid out as Internet Explorer's page.
class InternetExplorerWindow {
public:
    InternetExplorerWindow();
    ~InternetExplorerWindow();
    bool Ok() const { return m_browser.Get() != nullptr; }
    // Navigates and pumps until the page is complete.
    bool Navigate(const std::wstring& url);
    // Joins the shell's window list as Internet Explorer does (left again on destruction).
    bool RegisterInShell();
    HWND Frame() const { return m_frame.Get(); }
    IWebBrowser2* Browser() const { return m_browser.Get(); }
    // The stand-in's record of ShowBrowserBar: the calls so far and the last arguments.
    long BrowserBarCalls(VARIANT* clsid = nullptr, VARIANT* show = nullptr, VARIANT* size = nullptr) const;
    long Requests() const;   // navigations and refreshes started

private:
    TopLevelWindow m_frame;
    ComPtr<AxHost> m_host;
    ComPtr<IWebBrowser2> m_browser;
    long m_shellCookie = 0;
};

}  // namespace testing_support
