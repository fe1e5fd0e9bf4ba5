// What the pop-up and balloon suites share: the test host showing a page that opens them from
// script, the content folder (the fixture pages), and readings of the windows they make.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/ScratchState.h"
#include "tests/support/host/HostApplication.h"

namespace popups {

// The fixture pages, narrow (bin\fixtures\windows\<name>).
std::string FixturePath(const char* name);
// A JScript string literal of that page's file:// URL with `query` appended.
std::string PageUrl(const char* name, const std::string& query = "");

bool InRegion(HWND window, int x, int y);   // false as well when the window has no region
bool HasRegion(HWND window);
int Alpha(HWND window);                      // -1 before any layered attributes were set
RECT WindowRect(HWND window);
// The visible top-level window of this class, waiting for it; null when none shows in time.
HWND WaitForVisible(const char* windowClass, DWORD timeoutMs = 10000);
bool WaitForGone(HWND window, DWORD timeoutMs);
// Destroys every top-level window of the class (left over by a failing test).
void DestroyAll(const char* windowClass);
// This thread's top-level windows of the class, hidden ones too.
std::vector<HWND> WindowsOf(const char* windowClass);

class PopupPage : public ::testing::Test {
protected:
    PopupPage();
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    std::string Run(const std::string& code) { return m_host.CallPageFunction(L"run", code); }
    std::string App(const std::string& arguments) { return Run("app().CallApplicationMethod(" + arguments + ")"); }
    std::string Traced() const;
    bool WaitForTrace(const std::string& needle, DWORD timeoutMs = 10000) const;
    // The control's client origin on the screen.
    POINT ControlOrigin() const;

    testing_support::FileBackup m_settings;
    host::HostApplication m_host;
    std::size_t m_mark = 0;
};

}  // namespace popups
