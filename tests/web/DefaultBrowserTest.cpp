// The default browser against the real registry of the test prefix (HKCR "HTTP\shell\open",
// kept and put back), real top-level windows, the browser stand-in in an "IEFrame" window, the
// shell window list stand-in, WinINet's real cookie store and a real test browser program
// started through WMI and through CreateProcess.
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "common/com/Bstr.h"
#include "common/com/ComPtr.h"
#include "common/com/Handle.h"
#include "common/com/Variant.h"
#include "tests/support/BrowserWindows.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScratchState.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/host/HostApplication.h"
#include "Wisp/web/AuthCookie.h"
#include "Wisp/web/BrowserName.h"
#include "Wisp/web/DefaultBrowser.h"
#include "Wisp/web/DefaultBrowserOpenNew.h"
#include "Wisp/web/InternetExplorer.h"

using testing_support::DefaultBrowserRegistration;
using testing_support::InternetExplorerWindow;
using testing_support::TopLevelWindow;
using testing_support::TraceCapture;

namespace {

const char kOpenNewSwitch[] = "--open-new=";

std::string SettingsPath()
{
    std::string path;
    QDUtilities::GetSettingsFilePath(path);
    return path;
}

std::string ThisFolder()
{
    std::string self = testing_support::SelfPath();
    return self.substr(0, self.find_last_of('\\'));
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string ExeName()
{
    char name[260];
    return DefaultBrowser::GetExeName(name, sizeof name) ? name : "<failed>";
}

std::string ExePath()
{
    char path[260];
    return DefaultBrowser::GetExePath(path, sizeof path) ? path : "<failed>";
}

int BrowserMode()
{
    PersistentSettings settings;
    int mode = -1;
    settings.GetProperty(SettingsId::appbar_browser, mode);
    return mode;
}

class DefaultBrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDUtilities::EnsureSaveFileDirectoryExists();
        m_mark = TraceCapture::Mark();
    }
    std::string Trace() const { return TraceCapture::Since(m_mark); }

    DefaultBrowserRegistration m_http;
    testing_support::FileBackup m_settings{SettingsPath()};
    std::size_t m_mark = 0;
};

TEST_F(DefaultBrowserTest, TheNamePrefersTheDdeApplicationAndMustMatchAKindAsAWholeText)
{
    EXPECT_EQ("<failed>", ExeName());
    EXPECT_TRUE(Contains(Trace(), "DefaultBrowser::GetExeName - failed opening default browser reg key.\n"));
    EXPECT_FALSE(DefaultBrowser::GetExeName(nullptr, 260));
    EXPECT_TRUE(Contains(Trace(), "DefaultBrowser::GetExeName - strExeName is NULL.\n"));

    m_http.Set("\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -nohome", "iexplore");
    EXPECT_EQ("iexplore", ExeName());
    EXPECT_TRUE(DefaultBrowser::IsDefaultBrowserIE());

    // Without the ddeexec key the command is the name: a full path is no kind at all.
    m_http.Set("C:\\Program Files\\Internet Explorer\\iexplore.exe");
    EXPECT_EQ("C:\\Program Files\\Internet Explorer\\iexplore.exe", ExeName());
    EXPECT_FALSE(DefaultBrowser::IsDefaultBrowserIE());
    m_http.Set("IEXPLORE");
    EXPECT_TRUE(DefaultBrowser::IsDefaultBrowserIE());

    using DefaultBrowser::Kind;
    EXPECT_EQ(Kind::Firefox, DefaultBrowser::KindOfExeName("FireFox"));
    EXPECT_EQ(Kind::Netscape, DefaultBrowser::KindOfExeName("netscape"));
    EXPECT_EQ(Kind::Mozilla, DefaultBrowser::KindOfExeName("Mozilla"));
    EXPECT_EQ(Kind::Unrecognized, DefaultBrowser::KindOfExeName("firefox.exe"));
}

TEST_F(DefaultBrowserTest, ThePathDropsTheArgumentsAndExpandsAShortPath)
{
    EXPECT_EQ("<failed>", ExePath());
    EXPECT_TRUE(Contains(Trace(), "DefaultBrowser::GetExePath - failed opening default browser reg key.\n"));
    EXPECT_FALSE(DefaultBrowser::GetExePath(nullptr, 260));
    EXPECT_TRUE(Contains(Trace(), "DefaultBrowser::GetExePath - strPath is NULL.\n"));

    m_http.Set("\"C:\\Program Files\\Mozilla Firefox\\firefox.exe\" -requestPending -url \"%1\"", "Firefox");
    EXPECT_EQ("\"C:\\Program Files\\Mozilla Firefox\\firefox.exe\"", ExePath());
    m_http.Set("D:\\browsers\\opera.exe %1");
    EXPECT_EQ("D:\\browsers\\opera.exe", ExePath());

    testing_support::ScratchFolder scratch("default browser");
    const std::string folder = scratch.Path() + "\\Long Browser Folder";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string program = folder + "\\browserprogram.exe";
    ASSERT_TRUE(testing_support::WriteWholeFile(program, "MZ"));
    char shortPath[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameA(program.c_str(), shortPath, MAX_PATH));
    ASSERT_TRUE(Contains(shortPath, "~")) << shortPath;
    m_http.Set(std::string("\"") + shortPath + "\" -url \"%1\"");
    char longPath[MAX_PATH] = {};
    GetLongPathNameA(program.c_str(), longPath, MAX_PATH);
    EXPECT_EQ(longPath, ExePath());

    m_http.Set("C:\\NOSUCH~1\\BROWSER.EXE -url %1");
    EXPECT_EQ("<failed>", ExePath());
    EXPECT_TRUE(Contains(Trace(), "DefaultBrowser::GetExePath - failed getting long path name. error = "));
}

TEST_F(DefaultBrowserTest, EachKindIsFoundByItsWindowClassAndCaption)
{
    m_http.Set("firefox.exe", "Firefox");
    EXPECT_FALSE(DefaultBrowser::IsDefaultBrowserOpen());
    {
        TopLevelWindow elsewhere("MozillaWindowClass", "Mozilla Firefox Start Page");
        EXPECT_EQ(nullptr, DefaultBrowser::FindDefaultBrowserWindow());
        TopLevelWindow found("MozillaWindowClass", "News - MOZILLA FIREFOX");
        EXPECT_EQ(found.Get(), DefaultBrowser::FindDefaultBrowserWindow());
        EXPECT_TRUE(Contains(Trace(), "    caption = 'Mozilla Firefox Start Page'\n"));
        char line[64];
        snprintf(line, sizeof line, "    Found a mozilla: 0x%X\n",
                 static_cast<unsigned>(reinterpret_cast<UINT_PTR>(found.Get())));
        EXPECT_TRUE(Contains(Trace(), line));

        // The Mozilla suite's caption ends in "mozilla" only.
        m_http.Set("mozilla.exe", "Mozilla");
        EXPECT_EQ(nullptr, DefaultBrowser::FindDefaultBrowserWindow());
        TopLevelWindow suite("MozillaWindowClass", "Mail - Mozilla");
        EXPECT_EQ(suite.Get(), DefaultBrowser::FindDefaultBrowserWindow());
    }
    m_http.Set("firefox.exe", "Firefox");
    TopLevelWindow older("MozillaUIWindowClass", "anything");
    EXPECT_EQ(older.Get(), DefaultBrowser::FindDefaultBrowserWindow());

    m_http.Set("netscape.exe", "Netscape");
    TopLevelWindow netscape("NS_AE_WindowClass", "");
    EXPECT_EQ(netscape.Get(), DefaultBrowser::FindDefaultBrowserWindow());
    m_http.Set("iexplore.exe", "IExplore");
    TopLevelWindow explorer("IEFrame", "");
    EXPECT_EQ(explorer.Get(), DefaultBrowser::FindDefaultBrowserWindow());
    EXPECT_TRUE(DefaultBrowser::IsDefaultBrowserOpen());
    m_http.Set("opera.exe", "Opera");
    EXPECT_EQ(nullptr, DefaultBrowser::FindDefaultBrowserWindow());
}

TEST_F(DefaultBrowserTest, OtherBrowsersRememberTheBarChoiceOnlyWithAWindowOpen)
{
    m_http.Set("firefox.exe", "Firefox");
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty(SettingsId::appbar_browser, 7));
    }
    EXPECT_FALSE(DefaultBrowser::ShowQuillDesktop(true, false));
    EXPECT_TRUE(Contains(Trace(), "DefaultBrowser::ShowQuillDesktop - No default browsers open.\n"));
    EXPECT_EQ(7, BrowserMode());

    TopLevelWindow firefox("MozillaWindowClass", "Home - Mozilla Firefox");
    EXPECT_TRUE(DefaultBrowser::ShowQuillDesktop(true, false));
    EXPECT_EQ(1, BrowserMode());
    EXPECT_TRUE(DefaultBrowser::ShowQuillDesktop(false, true));
    EXPECT_EQ(0, BrowserMode());
    EXPECT_FALSE(Contains(Trace(), "OpenNew"));

    // An unknown kind has no window to find.
    m_http.Set("opera.exe", "Opera");
    EXPECT_FALSE(DefaultBrowser::ShowQuillDesktop(true, true));
    EXPECT_EQ(0, BrowserMode());
}

TEST_F(DefaultBrowserTest, InternetExplorersPageIsReachedThroughItsServerWindow)
{
    m_http.Set("iexplore.exe", "IExplore");
    InternetExplorerWindow explorer;
    ASSERT_TRUE(explorer.Ok());
    ASSERT_TRUE(explorer.Navigate(host::FileUrl(host::PathBesideExecutable(L"fixtures\\browser\\page.htm"))));

    ComPtr<IWebBrowser2> found;
    ASSERT_TRUE(DefaultBrowser::GetIEFromHWND(explorer.Frame(), found.Put()));
    ComPtr<IUnknown> a, b;
    found.As(IID_IUnknown, a);
    ComPtr<IWebBrowser2>(explorer.Browser()).As(IID_IUnknown, b);
    EXPECT_EQ(b.Get(), a.Get());
    EXPECT_FALSE(Contains(Trace(), "GetIEFromHWNDUsingIShell"));

    EXPECT_TRUE(DefaultBrowser::ShowQuillDesktop(true, true));
    Variant clsid, show, size;
    EXPECT_EQ(1, explorer.BrowserBarCalls(clsid.Get(), show.Get(), size.Get()));
    ASSERT_EQ(VT_BSTR, clsid.Type());
    EXPECT_STREQ(L"{CACB935E-E569-478A-B04F-F44D62B93AFC}", clsid.Get()->bstrVal);
    ASSERT_EQ(VT_BOOL, show.Type());
    EXPECT_EQ(VARIANT_TRUE, show.Get()->boolVal);
    ASSERT_EQ(VT_I4, size.Type());
    EXPECT_EQ(0, size.Get()->lVal);
    EXPECT_TRUE(DefaultBrowser::IEShowQuillDesktop(explorer.Browser(), false));
    EXPECT_EQ(2, explorer.BrowserBarCalls(nullptr, show.Get()));
    EXPECT_EQ(VARIANT_FALSE, show.Get()->boolVal);
}

TEST_F(DefaultBrowserTest, WithoutAPageTheShellsWindowListFindsTheBrowser)
{
    InternetExplorerWindow explorer;   // nothing loaded: its server window has no page to give
    ASSERT_TRUE(explorer.Ok());
    ComPtr<IWebBrowser2> found;
    EXPECT_FALSE(DefaultBrowser::GetIEFromHWND(explorer.Frame(), found.Put()));
    std::string trace = Trace();
    EXPECT_TRUE(Contains(trace, "DefaultBrowser::GetIEFromHWNDUsingObjectFromLresult - WM_HTML_GETOBJECT returned failed.\n"));
    EXPECT_TRUE(Contains(trace, "DefaultBrowser::GetIEFromHWND - trying using GetIEFromHWNDUsingIShell()\n"));
    EXPECT_TRUE(Contains(trace, "DefaultBrowser::GetIEFromHWND - Failed attaching to browser.\n"));

    ASSERT_TRUE(explorer.RegisterInShell());
    TopLevelWindow other("IEFrame", "no page");
    ASSERT_TRUE(DefaultBrowser::GetIEFromHWND(explorer.Frame(), found.Put()));
    EXPECT_TRUE(found.Get() != nullptr);
    EXPECT_TRUE(DefaultBrowser::IEShowQuillDesktop(explorer.Frame(), true));
    EXPECT_EQ(1, explorer.BrowserBarCalls());

    m_mark = TraceCapture::Mark();
    EXPECT_FALSE(DefaultBrowser::IEShowQuillDesktop(other.Get(), true));
    trace = Trace();
    EXPECT_TRUE(Contains(trace, "DefaultBrowser::GetIEServerHandle - failed couldn't find server window. \n"));
    EXPECT_TRUE(Contains(trace, "DefaultBrowser::GetIEFromHWNDUsingObjectFromLresult - Failed getting Explorer_Server hwnd.\n"));
    EXPECT_TRUE(Contains(trace, "DefaultBrowser::IEShowQuillDesktop - Failed getting IWebBrowser2 interface from HWND.\n"));
    EXPECT_FALSE(DefaultBrowser::GetIEFromHWND(nullptr, found.Put()));
    EXPECT_FALSE(DefaultBrowser::GetIEFromHWND(other.Get(), nullptr));
    EXPECT_FALSE(DefaultBrowser::IEShowQuillDesktop(static_cast<IWebBrowser2*>(nullptr), true));
    trace = Trace();
    EXPECT_TRUE(Contains(trace, "DefaultBrowser::GetIEFromHWND - hWnd is NULL.\n"));
    EXPECT_TRUE(Contains(trace, "DefaultBrowser::GetIEFromHWND - piBrowser2 is NULL.\n"));
    EXPECT_TRUE(Contains(trace, "DefaultBrowser::IEShowQuillDesktop - Failed, piBrowser2 is NULL.\n"));
}

TEST_F(DefaultBrowserTest, AHungBrowserIsGivenUpAfterASecond)
{
    // Internet Explorer's window layout on a thread that stops answering once it is made.
    HWND frame = nullptr;
    std::atomic<bool> woke{false};
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread hung([&] {
        TopLevelWindow top("IEFrame", "hung");
        HWND view = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, top.Get(), nullptr, nullptr, nullptr);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "Internet Explorer_Server";
        RegisterClassA(&wc);
        CreateWindowExA(0, wc.lpszClassName, "", WS_CHILD, 0, 0, 10, 10, view, nullptr, wc.hInstance, nullptr);
        frame = top.Get();
        SetEvent(ready);
        Sleep(4000);
        woke = true;
    });
    WaitForSingleObject(ready, 5000);
    CloseHandle(ready);
    ComPtr<IWebBrowser2> found;
    DWORD begin = GetTickCount();
    EXPECT_FALSE(DefaultBrowser::GetIEFromHWND(frame, found.Put()));
    DWORD elapsed = GetTickCount() - begin;
    EXPECT_FALSE(woke) << "waited for the hung window to answer";
    hung.join();
    EXPECT_GE(elapsed, 900u);
    EXPECT_TRUE(Contains(Trace(), "DefaultBrowser::GetIEFromHWNDUsingObjectFromLresult - SendMessageTimeout failed.\n"));
}

TEST_F(DefaultBrowserTest, RefreshReachesEveryListedBrowser)
{
    InternetExplorerWindow first, second;
    const std::wstring page = host::FileUrl(host::PathBesideExecutable(L"fixtures\\browser\\page.htm"));
    ASSERT_TRUE(first.Navigate(page));
    ASSERT_TRUE(second.Navigate(page));
    ASSERT_TRUE(first.RegisterInShell());
    ASSERT_TRUE(second.RegisterInShell());
    long before1 = first.Requests(), before2 = second.Requests();
    DefaultBrowser::RefreshAllIEBrowsers();
    EXPECT_EQ(before1 + 1, first.Requests());
    EXPECT_EQ(before2 + 1, second.Requests());
}

TEST_F(DefaultBrowserTest, TheLoginCookieIsReadAndExpiredThroughWinINet)
{
    // The cookie is WinINet's for the site; Internet Explorer must be the default browser.
    InternetSetCookieA(DefaultBrowser::kSiteUrl, "TWUser", "x; expires=Sat, 01-Jan-2000 00:00:00 GMT");
    m_http.Set("iexplore.exe", "iexplore");
    EXPECT_FALSE(DefaultBrowser::IsClientLoggedIn());
    EXPECT_FALSE(DefaultBrowser::DeleteAuthCookie());

    ASSERT_TRUE(InternetSetCookieA(DefaultBrowser::kSiteUrl, "TWUser",
                                   "id=42; expires = Fri, 31-Dec-2049 23:59:59 GMT"));
    EXPECT_TRUE(DefaultBrowser::HasCookie(DefaultBrowser::kSiteUrl, "TWUser"));
    EXPECT_FALSE(DefaultBrowser::HasCookie(DefaultBrowser::kSiteUrl, "TWUse"));
    EXPECT_TRUE(DefaultBrowser::IsClientLoggedIn());

    // Another browser's login is not WinINet's business: nothing is deleted.
    m_http.Set("firefox.exe", "Firefox");
    EXPECT_TRUE(DefaultBrowser::DeleteAuthCookie());
    EXPECT_TRUE(DefaultBrowser::HasCookie(DefaultBrowser::kSiteUrl, "TWUser"));

    m_http.Set("iexplore.exe", "iexplore");
    EXPECT_TRUE(DefaultBrowser::DeleteAuthCookie());
    EXPECT_FALSE(DefaultBrowser::HasCookie(DefaultBrowser::kSiteUrl, "TWUser"));
    EXPECT_FALSE(DefaultBrowser::IsClientLoggedIn());
    EXPECT_FALSE(DefaultBrowser::DeleteAuthCookie());
}

TEST_F(DefaultBrowserTest, ProgramsAreNamedByTheirProductNameElseTheirFileName)
{
    const std::string browser = ThisFolder() + "\\test_browser.exe";
    std::string name;
    ASSERT_TRUE(DefaultBrowser::GetProductName(browser.c_str(), name));
    EXPECT_EQ("Tidewire Test Browser", name);
    EXPECT_FALSE(DefaultBrowser::GetProductName((ThisFolder() + "\\missing.exe").c_str(), name));

    // A quoted command with its extension in capitals still names its program.
    std::string upper = browser.substr(0, browser.size() - 4) + ".EXE";
    EXPECT_TRUE(DefaultBrowser::GetBrowserName(("\"" + upper + "\" -feed \"%1\"").c_str(), name));
    EXPECT_EQ("Tidewire Test Browser", name);
    EXPECT_TRUE(DefaultBrowser::GetBrowserName("C:\\Apps\\Reader.exe /feed %1", name));
    EXPECT_EQ("Reader.exe", name);
    EXPECT_TRUE(DefaultBrowser::GetBrowserName("reader.exe %1", name));
    EXPECT_EQ("reader.exe", name);
}

// The test browser beside this suite, copied where its path holds blanks.
class OpenNewTest : public DefaultBrowserTest {
protected:
    void SetUp() override
    {
        DefaultBrowserTest::SetUp();
        ASSERT_TRUE(CreateDirectoryA(m_folder.c_str(), nullptr));
        ASSERT_TRUE(CopyFileA((ThisFolder() + "\\test_browser.exe").c_str(), m_program.c_str(), FALSE));
        m_http.Set("\"" + m_program + "\" -url \"%1\"", "Firefox");
    }
    void TearDown() override { testing_support::CloseTestBrowsers(); }
    std::string Log() const
    {
        std::string text;
        testing_support::ReadWholeFile(m_program + ".log", text);
        return text;
    }

    testing_support::ScratchFolder m_scratch{"open new"};
    std::string m_folder = m_scratch.Path() + "\\Test Browser Folder";
    std::string m_program = m_folder + "\\test_browser.exe";
};

TEST_F(OpenNewTest, StartsTheBrowserThroughWMIWithProgramAndUrlQuotedAndWaitsForItsWindow)
{
    ASSERT_TRUE(DefaultBrowser::OpenNew("http://example.com/a page"));
    EXPECT_NE(nullptr, FindWindowA("MozillaWindowClass", "Test Page - Mozilla Firefox"));
    EXPECT_EQ("\"" + m_program + "\" \"http://example.com/a page\"\n", Log());
    std::string trace = Trace();
    EXPECT_TRUE(Contains(trace, "DefaultBrowser::OpenNew(), trying to open a new default browser instance.\n"));
    EXPECT_TRUE(Contains(trace, "Trying WMI CreateProcess.\n"));
    EXPECT_TRUE(Contains(trace, "WMI CreateProcess succeeded.\n"));
    char line[64];
    snprintf(line, sizeof line, "browser hwnd %X - ",
             static_cast<unsigned>(reinterpret_cast<UINT_PTR>(FindWindowA("MozillaWindowClass", nullptr))));
    EXPECT_TRUE(Contains(trace, line)) << trace;
}

TEST_F(OpenNewTest, AProgramThatShowsNoWindowStillCountsAsOpened)
{
    m_http.Set("\"" + m_program + "\"", "Opera");   // a kind whose window nobody looks for
    DWORD begin = GetTickCount();
    EXPECT_TRUE(DefaultBrowser::OpenNew(nullptr));
    EXPECT_GE(GetTickCount() - begin, 2900u);
    EXPECT_TRUE(Contains(Trace(), "browser hwnd 0 - "));
    EXPECT_EQ("\"" + m_program + "\"\n", Log());

    m_http.Clear();
    EXPECT_FALSE(DefaultBrowser::OpenNew("http://example.com/"));
    EXPECT_TRUE(Contains(Trace(), "DefaultBrowser::OpenNew - failed getting executable path.\n"));
}

TEST_F(OpenNewTest, ACommandWhoseArgumentsStayInThePathIsStartedAsRegistered)
{
    // The rundll32 form: unquoted, and its first argument has a dot, so the path keeps it.
    testing_support::ScratchFolder plain{"opennew"};
    ASSERT_EQ(std::string::npos, plain.Path().find(' '));
    const std::string program = plain.Path() + "\\test_browser.exe";
    ASSERT_TRUE(CopyFileA((ThisFolder() + "\\test_browser.exe").c_str(), program.c_str(), FALSE));
    m_http.Set(program + " url.dll,FileProtocolHandler %1", "Firefox");
    EXPECT_TRUE(DefaultBrowser::OpenNew("http://example.com/"));
    std::string log;
    testing_support::ReadWholeFile(program + ".log", log);
    EXPECT_EQ(program + " url.dll,FileProtocolHandler \"http://example.com/\"\n", log);
    testing_support::CloseTestBrowsers();
}

TEST_F(OpenNewTest, WithoutTheManagementServiceTheBrowserIsStartedDirectly)
{
    // A copy of this suite for which Wine loads no WMI provider opens the browser.
    const std::string child = m_scratch.Path() + "\\open_new_nowmi.exe";
    ASSERT_TRUE(CopyFileA(testing_support::SelfPath().c_str(), child.c_str(), FALSE));
    const std::string overrides = "Software\\Wine\\AppDefaults\\open_new_nowmi.exe\\DllOverrides";
    testing_support::RegistryValueBackup backup(HKEY_CURRENT_USER, overrides, "wbemprox");
    UniqueHKey key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, overrides.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                             nullptr, key.Put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), "wbemprox", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1));

    testing_support::ChildProcess run;
    ASSERT_TRUE(run.Start("\"" + child + "\" " + kOpenNewSwitch + "http://example.com/direct"));
    ASSERT_TRUE(run.Wait(60000));
    EXPECT_EQ(1u, run.ExitCode());
    EXPECT_EQ("\"" + m_program + "\" \"http://example.com/direct\"\n", Log());
    const std::string trace = testing_support::ProcessTraceText("open_new_nowmi", run.Id());
    EXPECT_TRUE(Contains(trace, "WMI failed, using regular CreateProcess()\n")) << trace;
    EXPECT_TRUE(Contains(trace, "waiting for default browser process to start...\n"));
    EXPECT_TRUE(Contains(trace, "done waiting - "));
    EXPECT_FALSE(Contains(trace, "browser hwnd 0 - "));
}

}  // namespace

int main(int argc, char** argv)
{
    std::string url = testing_support::SwitchValue(argc, argv, "open-new");
    if (!url.empty()) {
        OleInitialize(nullptr);
        bool opened = DefaultBrowser::OpenNew(url.c_str());
        OleUninitialize();
        return opened ? 1 : 0;
    }
    TraceCapture capture;
    ::testing::InitGoogleTest(&argc, argv);
    OleInitialize(nullptr);
    int result = RUN_ALL_TESTS();
    OleUninitialize();
    return result;
}
