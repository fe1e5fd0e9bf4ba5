// The offscreen browser: a hidden, disabled window hosting the control, on this thread, loading
// the browser stand-in's fixture pages.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "common/HostMessages.h"
#include "common/com/Bstr.h"
#include "common/com/Handle.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/WispLibrary.h"
#include "tests/support/host/HostApplication.h"
#include "Wisp/mail/WispOffscreenBrowser.h"

using testing_support::TraceCapture;

namespace {

std::string FixtureUrl(const wchar_t* page)
{
    std::wstring url =
        host::FileUrl(host::PathBesideExecutable((std::wstring(L"fixtures\\browser\\") + page).c_str()));
    return std::string(url.begin(), url.end());
}

// Pumps until the browser has counted a loaded document (or the time is up).
bool WaitLoaded(CWispOffscreenBrowser& browser, DWORD timeoutMs = 10000)
{
    return testing_support::PumpUntil([&] { return browser.DocLoadComplete() > 0; }, timeoutMs);
}

class OffscreenBrowser : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(S_OK, testing_support::RegisterWisp()); }
};

TEST_F(OffscreenBrowser, IsAHiddenDisabledPopupThatNeverActivates)
{
    CWispOffscreenBrowser browser;
    const std::size_t mark = TraceCapture::Mark();
    HWND window = browser.CreateWispOffscreenBrowser(FixtureUrl(L"page.htm").c_str());
    ASSERT_NE(nullptr, window);
    const LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
    EXPECT_EQ(0x86000000u, static_cast<DWORD>(style) & ~static_cast<DWORD>(WS_DISABLED));
    EXPECT_EQ(0x08000000, GetWindowLongPtrA(window, GWL_EXSTYLE) & 0x08000000);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_FALSE(IsWindowEnabled(window));
    RECT rect;
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(0, rect.left);
    EXPECT_EQ(0, rect.top);
    EXPECT_EQ(1280, rect.right - rect.left);
    EXPECT_EQ(300, rect.bottom - rect.top);
    char name[64] = {};
    GetWindowTextA(window, name, sizeof name);
    EXPECT_STREQ("WispOffscreenBrowser", name);
    char expected[96];
    wsprintfA(expected, "CWispOffscreenBrowser::CreateWispPopupWindow complete, m_hWnd = 0x%X\n",
              static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window)));
    EXPECT_NE(std::string::npos, TraceCapture::Since(mark).find(expected));

    // The process keeps the control-creation mutex open for the class-object gate.
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "{2F6C4413-606F-4203-803D-4F347D2B2BB1}");
    EXPECT_NE(nullptr, mutex);
    if (mutex)
        CloseHandle(mutex);

    // Enabling is undone; focus goes straight back to the window that had it.
    EnableWindow(window, TRUE);
    EXPECT_FALSE(IsWindowEnabled(window));
    HWND other = CreateWindowExA(0, "EDIT", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 20, nullptr, nullptr, nullptr,
                                 nullptr);
    ASSERT_NE(nullptr, other);
    SetFocus(other);
    SendMessageA(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(other), 0);
    EXPECT_EQ(other, GetFocus());
    EXPECT_EQ(MA_NOACTIVATE, SendMessageA(window, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(window), 0));
    DestroyWindow(other);

    // The title follows the page.
    ASSERT_TRUE(WaitLoaded(browser));
    testing_support::PumpMessages(50);
    GetWindowTextA(window, name, sizeof name);
    EXPECT_STREQ("Stand-in & Page", name);
    std::string title;
    EXPECT_EQ(S_OK, browser.getLocationName(title));
    EXPECT_EQ("Stand-in & Page", title);

    const std::size_t closing = TraceCapture::Mark();
    browser.Close();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, browser.Window());
    EXPECT_NE(std::string::npos, TraceCapture::Since(closing).find("CWispOffscreenBrowser::OnFinalMessage\n"));
}

TEST_F(OffscreenBrowser, CreationWaitsForACreationUnderWayElsewhere)
{
    // Another thread holds the control-creation mutex for a while, as a creation elsewhere does.
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([ready] {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, "{2F6C4413-606F-4203-803D-4F347D2B2BB1}");
        WaitForSingleObject(mutex, 5000);
        SetEvent(ready);
        Sleep(1500);
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    });
    WaitForSingleObject(ready, 5000);
    CloseHandle(ready);
    const DWORD start = GetTickCount();
    CWispOffscreenBrowser browser;
    HWND window = browser.CreateWispOffscreenBrowser(FixtureUrl(L"page.htm").c_str());
    const DWORD waited = GetTickCount() - start;
    holder.join();
    EXPECT_NE(nullptr, window);
    EXPECT_GE(waited, 1300u);
}

TEST_F(OffscreenBrowser, CountsEveryDocumentOfAFramesetAndReadsFrames)
{
    CWispOffscreenBrowser browser;
    ASSERT_NE(nullptr, browser.CreateWispOffscreenBrowser(FixtureUrl(L"frames.htm").c_str()));
    const std::size_t mark = TraceCapture::Mark();
    browser.DoMessageLoops(1500);
    // Two frames, the top document and the control's own notice.
    EXPECT_GE(browser.DocLoadComplete(), 3);
    const std::string traced = TraceCapture::Since(mark);
    EXPECT_NE(std::string::npos, traced.find("CWispOffscreenBrowser::Invoke - DISPID_DOCUMENTCOMPLETE\n"));
    EXPECT_NE(std::string::npos, traced.find("    mDocLoadComplete = 3\n"));
    EXPECT_NE(std::string::npos, traced.find("CWispOffscreenBrowser::DoMessageLoops \n"));

    std::string html = "left over";
    EXPECT_EQ(S_OK, browser.getFrameSource("main", html));
    EXPECT_NE(std::string::npos, html.find("<B>7</B> unread"));
    html = "left over";
    EXPECT_EQ(-1, browser.getFrameSource("nosuchframe", html));
    EXPECT_TRUE(html.empty());

    // A new navigation counts from zero again.
    ASSERT_EQ(S_OK, browser.Navigate(FixtureUrl(L"main.htm").c_str()));
    EXPECT_EQ(0, browser.DocLoadComplete());
    ASSERT_TRUE(WaitLoaded(browser));
}

TEST_F(OffscreenBrowser, PumpsInWholeSeconds)
{
    CWispOffscreenBrowser browser;
    ASSERT_NE(nullptr, browser.CreateWispOffscreenBrowser(FixtureUrl(L"page.htm").c_str()));
    ASSERT_EQ(S_OK, browser.Navigate(FixtureUrl(L"main.htm").c_str()));
    DWORD start = GetTickCount();
    browser.DoMessageLoops(0);
    DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 990u);
    EXPECT_LT(took, 1900u);
    // The page loaded while it pumped.
    EXPECT_GT(browser.DocLoadComplete(), 0);
    start = GetTickCount();
    browser.DoMessageLoops(1200);
    took = GetTickCount() - start;
    EXPECT_GE(took, 1990u);
    EXPECT_LT(took, 2900u);
    // It sleeps on the queue: the thread used far less processor time than it waited.
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    ULARGE_INTEGER before;
    before.LowPart = user.dwLowDateTime;
    before.HighPart = user.dwHighDateTime;
    browser.DoMessageLoops(1000);
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    ULARGE_INTEGER after;
    after.LowPart = user.dwLowDateTime;
    after.HighPart = user.dwHighDateTime;
    EXPECT_LT(after.QuadPart - before.QuadPart, 3000000u);   // 300 ms in 100 ns units
}

TEST_F(OffscreenBrowser, ReadsAndFillsThePage)
{
    CWispOffscreenBrowser browser;
    ASSERT_NE(nullptr, browser.CreateWispOffscreenBrowser(FixtureUrl(L"page.htm").c_str()));
    ASSERT_TRUE(WaitLoaded(browser));
    std::string text;
    EXPECT_EQ(S_OK, browser.getPageText(text));
    EXPECT_NE(std::string::npos, text.find("You have 12 unread messages"));
    std::string html;
    EXPECT_EQ(S_OK, browser.getPageSource(html));
    EXPECT_NE(std::string::npos, html.find("<B>12</B>"));
    std::string url;
    EXPECT_EQ(S_OK, browser.getLocationUrl(url));
    EXPECT_NE(std::string::npos, url.find("page.htm"));

    ComPtr<IHTMLElement> element;
    EXPECT_EQ(S_OK, browser.getElement("email", element.Put()));
    EXPECT_NE(nullptr, element.Get());
    EXPECT_EQ(-1, browser.getElement("nosuchelement", element.Put()));
    EXPECT_EQ(nullptr, element.Get());

    EXPECT_EQ(S_OK, browser.setElementAttribute("email", "value", "someone@example.com"));
    EXPECT_EQ(-1, browser.setElementAttribute("nosuchelement", "value", "x"));
    ComPtr<IHTMLInputElement> input;
    ASSERT_EQ(S_OK, browser.getElement("email", element.Put()));
    ASSERT_EQ(S_OK, element.As(IID_IHTMLInputElement, input));
    Bstr value;
    ASSERT_EQ(S_OK, input->get_value(value.Put()));
    EXPECT_EQ("someone@example.com", value.ToAnsi());
    browser.Close();
    // Without a document every getter fails with -1 and leaves its output empty.
    text = "left over";
    EXPECT_EQ(-1, browser.getPageText(text));
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(-1, browser.getPageSource(text));
    EXPECT_EQ(-1, browser.getFrameSource("main", text));
}

}  // namespace
