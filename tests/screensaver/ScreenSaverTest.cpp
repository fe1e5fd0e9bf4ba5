// Tidewire.scr as the system runs it, in its three modes, with the test host
// (TidewireDesktop.exe) as the desktop application, the control on the test pages
// (pages/sscontent.htm reports what it sees through the host relay) and the browser stand-in.
#include "common/HostMessages.h"
#include "common/QDCopyData.h"
#include "common/QDUtilities.h"
#include "tests/screensaver/ChildModes.h"
#include "tests/screensaver/SaverSession.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScratchState.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/WispLibrary.h"

#include <gtest/gtest.h>

#include <string>

using saver_tests::SaverSession;
using testing_support::PumpMessages;
using testing_support::PumpUntil;

namespace {

const UINT kExitScreenSaver = 1040;
const UINT kCurrentStory = 1048;
const UINT kPrepareExitWindow = 1049;
const UINT kShowFadeWindow = 1051;

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A top-level window of this process, for the preview to live in and the message box to be
// owned by.
class ParentWindow {
public:
    ParentWindow()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ScreenSaverTestParent";
        RegisterClassA(&wc);
        m_window = CreateWindowExA(0, wc.lpszClassName, "display properties", WS_POPUP | WS_VISIBLE, 40, 30, 320, 240,
                                   nullptr, nullptr, wc.hInstance, nullptr);
    }
    ~ParentWindow() { Destroy(); }
    void Destroy()
    {
        if (m_window)
            DestroyWindow(m_window);
        m_window = nullptr;
    }
    HWND Handle() const { return m_window; }
    std::string Number() const { return std::to_string(reinterpret_cast<UINT_PTR>(m_window)); }

private:
    HWND m_window = nullptr;
};

class ScreenSaver : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(S_OK, testing_support::RegisterWisp()); }

    // Host first, then the screen saver over it, up to the page's first relayed report.
    void StartOverRunningHost()
    {
        ASSERT_TRUE(m_session.StartHost());
        StartFullScreen();
    }
    void StartFullScreen()
    {
        const std::size_t before = m_session.Reports().size();
        ASSERT_TRUE(m_session.StartSaver("/s"));
        m_window = m_session.WaitForSaverWindow();
        ASSERT_NE(nullptr, m_window);
        // The page has loaded and told the host, through the relay, the screen saver's window.
        ASSERT_TRUE(PumpUntil([&] { return m_session.Reports().size() > before; }, 20000)) << m_session.SaverTrace();
        EXPECT_EQ("hwnd:" + std::to_string(reinterpret_cast<UINT_PTR>(m_window)), m_session.Reports()[before]);
    }
    void Key(char key) { PostMessageA(m_window, WM_KEYDOWN, static_cast<WPARAM>(key), 1); }
    bool Exited()
    {
        return m_session.WaitForSaverExit() && m_session.Saver().ExitCode() == 0;
    }

    SaverSession m_session;
    HWND m_window = nullptr;
};

// --- configure -----------------------------------------------------------------------------

HWND WaitForMessageBox()
{
    HWND box = nullptr;
    PumpUntil([&] { return (box = FindWindowA("#32770", "Tidewire Screen Saver")) != nullptr; }, 15000);
    return box;
}

TEST_F(ScreenSaver, ConfigureModeOnlyShowsTheNoOptionsBox)
{
    ParentWindow owner;
    const struct {
        std::string arguments;
        HWND owner;
    } runs[] = {{"/C", nullptr}, {"-c:" + owner.Number(), nullptr}, {"/c " + owner.Number(), owner.Handle()}};
    for (const auto& run : runs) {
        SCOPED_TRACE(run.arguments);
        ASSERT_TRUE(m_session.StartSaver(run.arguments));
        HWND box = WaitForMessageBox();
        ASSERT_NE(nullptr, box);
        char text[256] = {};
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        EXPECT_STREQ("This screen saver has no options that you can set.", text);
        EXPECT_EQ(run.owner, GetWindow(box, GW_OWNER));
        EXPECT_EQ(nullptr, FindWindowA("WindowsScreenSaverClass", nullptr));
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        ASSERT_TRUE(m_session.WaitForSaverExit());
        EXPECT_EQ(0u, m_session.Saver().ExitCode());
        EXPECT_EQ("ScreenSaver Debug log\n", m_session.SaverTrace());
    }
    EXPECT_FALSE(testing_support::FileExists(m_session.RecordPath()));
}

// --- preview -------------------------------------------------------------------------------

TEST_F(ScreenSaver, PreviewIsAChildFillingTheGivenWindowAndNeverTouchesTheHost)
{
    ParentWindow parent;
    ASSERT_TRUE(m_session.StartSaver("/p " + parent.Number()));
    HWND preview = m_session.WaitForSaverWindow(parent.Handle());
    ASSERT_NE(nullptr, preview);
    EXPECT_TRUE(IsChild(parent.Handle(), preview));
    RECT client, window;
    GetClientRect(parent.Handle(), &client);
    GetWindowRect(preview, &window);
    MapWindowPoints(nullptr, parent.Handle(), reinterpret_cast<POINT*>(&window), 2);
    EXPECT_EQ(0, window.left);
    EXPECT_EQ(0, window.top);
    EXPECT_EQ(client.right, window.right);
    EXPECT_EQ(client.bottom, window.bottom);
    // The browser is hosted inside it.
    EXPECT_TRUE(PumpUntil([&] { return GetWindow(preview, GW_CHILD) != nullptr; }, 10000));

    PostMessageA(preview, WM_KEYDOWN, 'Q', 1);
    PostMessageA(preview, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    PumpMessages(500);
    EXPECT_FALSE(m_session.Saver().Wait(0)) << "keys do not end a preview";
    PostMessageA(preview, WM_CLOSE, 0, 0);
    ASSERT_TRUE(Exited());
    const std::string trace = m_session.SaverTrace();
    EXPECT_TRUE(Contains(trace, "screenSaver::TearDown(bCloseMothership = 0)\n"));
    EXPECT_FALSE(Contains(trace, "EnsureQuillDesktopMothershipIsRunning"));
    EXPECT_FALSE(Contains(trace, "QDIPC::Register"));
    EXPECT_FALSE(Contains(trace, "Failed"));
    EXPECT_FALSE(testing_support::FileExists(m_session.RecordPath()));
}

TEST_F(ScreenSaver, PreviewEndsWhenItsParentDestroysIt)
{
    ParentWindow parent;
    ASSERT_TRUE(m_session.StartSaver("/p " + parent.Number()));
    ASSERT_NE(nullptr, m_session.WaitForSaverWindow(parent.Handle()));
    parent.Destroy();
    EXPECT_TRUE(Exited()) << "a preview without its window would stay behind\n" << m_session.SaverTrace();
}

// --- full screen over a running host -------------------------------------------------------

TEST_F(ScreenSaver, CoversTheScreenOverARunningHostAndRelaysBothWays)
{
    StartOverRunningHost();
    EXPECT_TRUE(IsWindowVisible(m_window));
    EXPECT_NE(0, GetWindowLongA(m_window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(nullptr, GetParent(m_window));
    RECT rect;
    GetWindowRect(m_window, &rect);
    EXPECT_EQ(GetSystemMetrics(SM_XVIRTUALSCREEN), rect.left);
    EXPECT_EQ(GetSystemMetrics(SM_YVIRTUALSCREEN), rect.top);
    EXPECT_EQ(GetSystemMetrics(SM_CXVIRTUALSCREEN), rect.right - rect.left);
    EXPECT_EQ(GetSystemMetrics(SM_CYVIRTUALSCREEN), rect.bottom - rect.top);
    EXPECT_EQ(1, saver_tests::ScreenSaverRunningFlag());

    // The host was already there: it is asked to get its exit window ready.
    EXPECT_TRUE(m_session.WaitForPipeMessage(kPrepareExitWindow));
    const std::string trace = m_session.SaverTrace();
    for (const char* line : {"screenSaver::InitInstance() g_lMotherhipStatus = 0.\n",
                             "screenSaver::InitInstance() - Settings loaded.\n",
                             "screenSaver::InitInstance() - Successfully registered window with QuillDesktop\n",
                             "screenSaver::InitInstance() - Loading content...\n",
                             "screenSaver::InitInstance() - Mothership was already running - get the little ss exit "
                             "window ready.\n"})
        EXPECT_TRUE(Contains(trace, line)) << line;
    EXPECT_EQ(1, m_session.CountPipe("window-data", RM_CALL_MOTHERSHIP_SCRIPT_METHOD))
        << "before QDSetAppHWnd the page talks to the host window directly";

    // Keys and mouse moves reach the page; a result of 0 keeps the screen saver up.
    Key('I');
    EXPECT_TRUE(m_session.WaitForReport("key:I"));
    PostMessageA(m_window, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    EXPECT_TRUE(m_session.WaitForReport("mouse"));
    PostMessageA(m_window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    PostMessageA(m_window, WM_SYSCOMMAND, SC_CLOSE, 0);

    // Host to page: new data as a payload, with and without a number.
    ASSERT_TRUE(m_session.PipePostData(RM_NEWDATA_AVAILABLE, "fresh headlines"));
    EXPECT_TRUE(m_session.WaitForReport("newdata:0:fresh headlines"));
    QDCopyDataRecord numbered(RM_NEWDATA_AVAILABLE, 7, 0, "xyz", 3);
    numbered.Record()->wParam = 7;
    ASSERT_TRUE(m_session.PipeRaw(std::string(reinterpret_cast<const char*>(numbered.Bytes()), numbered.Size())));
    EXPECT_TRUE(m_session.WaitForReport("newdata:7:xyz"));

    // A result the control's HTTP request posted to this window goes on to the control.
    const std::string url = testing_support::TestHttpUrl("/respond?status=201&body=saver");
    ASSERT_TRUE(m_session.PipePostData(RM_NEWDATA_AVAILABLE, url));
    EXPECT_TRUE(m_session.WaitForReport("http:0:201:saver")) << m_session.SaverTrace();

    // A display change fits the window to the virtual screen again.
    SetWindowPos(m_window, nullptr, 10, 10, 200, 100, SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(m_window, WM_DISPLAYCHANGE, 32, MAKELPARAM(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)));
    GetWindowRect(m_window, &rect);
    EXPECT_EQ(GetSystemMetrics(SM_XVIRTUALSCREEN), rect.left);
    EXPECT_EQ(GetSystemMetrics(SM_CXVIRTUALSCREEN), rect.right - rect.left);
    EXPECT_EQ(GetSystemMetrics(SM_CYVIRTUALSCREEN), rect.bottom - rect.top);

    // The story on screen, asked for by the host and by the page.
    ASSERT_TRUE(m_session.PipePost(RM_SCREENSAVER_CYCLED_ITEM, 0, 0));
    ASSERT_TRUE(m_session.WaitForRecord([](const std::vector<host::RecordEntry>& record) {
        return !host::FindEntries(record, "pipe-data", kCurrentStory).empty();
    }));
    EXPECT_EQ("Story of the day\nsecond line", host::FindEntries(m_session.Record(), "pipe-data", kCurrentStory)[0].data);
    std::string folder, story;
    ASSERT_TRUE(QDUtilities::GetContentDirectoryPath(folder));
    ASSERT_TRUE(testing_support::ReadWholeFile(folder + "\\sstmpfile.htm", story));
    EXPECT_EQ("Story of the day\r\nsecond line", story);
    Key('C');
    EXPECT_TRUE(m_session.WaitForRecord([](const std::vector<host::RecordEntry>& record) {
        return host::FindEntries(record, "pipe-data", kCurrentStory).size() == 2;
    }));
    EXPECT_FALSE(m_session.Saver().Wait(0)) << "clicks, system commands and ignored keys do not end it";
    EXPECT_EQ(0, m_session.CountPipe("pipe", kShowFadeWindow));
}

TEST_F(ScreenSaver, ExitScreenSaverFadesOutAndLeavesARunningHostRunning)
{
    StartOverRunningHost();
    ASSERT_TRUE(m_session.PipePost(kExitScreenSaver, 0, 0));
    ASSERT_TRUE(Exited());
    EXPECT_EQ(1, m_session.CountPipe("pipe", kShowFadeWindow));
    EXPECT_EQ(0, m_session.CountPipe("pipe", RM_EXIT));
    const std::string trace = m_session.SaverTrace();
    EXPECT_TRUE(Contains(trace, "screenSaver::RM_EXIT_SCREENSAVER\n"));
    EXPECT_TRUE(Contains(trace, "screenSaver::SwitchToFadeout() g_lMothershipStatus = 0\n"));
    EXPECT_TRUE(Contains(trace, "    Leaving Mothership running.\n"));
    EXPECT_EQ(0, saver_tests::ScreenSaverRunningFlag());
    EXPECT_TRUE(host::FindEntries(m_session.Record(), "exit").empty());
}

TEST_F(ScreenSaver, KeyResultsChooseBetweenLeavingAtOnceAndFadingOut)
{
    StartOverRunningHost();
    Key('Q');   // 2: leave at once
    ASSERT_TRUE(Exited());
    EXPECT_EQ(0, m_session.CountPipe("pipe", kShowFadeWindow));
    EXPECT_EQ(0, m_session.CountPipe("pipe", RM_EXIT));
    EXPECT_EQ(0, saver_tests::ScreenSaverRunningFlag());

    StartFullScreen();
    Key('B');   // true: any result but 0 and 2 fades out
    ASSERT_TRUE(Exited());
    EXPECT_EQ(1, m_session.CountPipe("pipe", kShowFadeWindow));
    EXPECT_EQ(0, m_session.CountPipe("pipe", RM_EXIT));
}

TEST_F(ScreenSaver, ASecureScreenSaverFadesOutWithoutTheFadeWindow)
{
    testing_support::RegistryValueBackup secure(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaverIsSecure");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE,
                                             nullptr, &key, nullptr));
    RegSetValueExA(key, "ScreenSaverIsSecure", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2);
    RegCloseKey(key);
    StartOverRunningHost();
    Key('F');
    ASSERT_TRUE(Exited());
    EXPECT_EQ(0, m_session.CountPipe("pipe", kShowFadeWindow));
    EXPECT_TRUE(Contains(m_session.SaverTrace(), "screenSaver::SwitchToFadeout() g_lMothershipStatus = 0\n"));
}

TEST_F(ScreenSaver, ImmediateExitClosesTheHostOnlyWhenAsked)
{
    StartOverRunningHost();
    ASSERT_TRUE(m_session.PipePost(RM_EXIT_SCREENSAVER_IMMEDIATE, 0, 0));
    ASSERT_TRUE(Exited());
    EXPECT_EQ(0, m_session.CountPipe("pipe", RM_EXIT));
    EXPECT_TRUE(Contains(m_session.SaverTrace(), "screenSaver::RM_EXIT_SCREENSAVER_IMMEDIATE\n"));

    // The page's own ExitScreenSaverImmediate(true).
    StartFullScreen();
    Key('X');
    ASSERT_TRUE(Exited());
    EXPECT_EQ(1, m_session.CountPipe("pipe", RM_EXIT));
    EXPECT_TRUE(Contains(m_session.SaverTrace(), "    Closing mothership down also.\n"));
    EXPECT_TRUE(m_session.WaitForHostExit());
}

// --- full screen, launching the host -------------------------------------------------------

TEST_F(ScreenSaver, LaunchesTheHostItNeedsAndClosesItAgain)
{
    m_session.SetHostOptions("--startup-delay=1000\n");
    StartFullScreen();
    const auto lines = host::FindEntries(m_session.Record(), "commandline");
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("\"" + m_session.HostPath() + "\" -NoBrowser", lines[0].data);
    EXPECT_TRUE(m_session.WaitForReport("started-for-this-process"));
    const std::string trace = m_session.SaverTrace();
    EXPECT_TRUE(Contains(trace, "screenSaver::InitInstance() g_lMotherhipStatus = 1.\n"));
    // The start-up event was waited for: the first registration succeeds.
    EXPECT_TRUE(Contains(trace, "screenSaver::InitInstance() - Successfully registered window with QuillDesktop\n"));
    EXPECT_EQ(0, m_session.CountPipe("pipe", kPrepareExitWindow));

    // Only a screen saver over a host that was already running fades out on request or
    // reports its story.
    ASSERT_TRUE(m_session.PipePost(kExitScreenSaver, 0, 0));
    ASSERT_TRUE(m_session.PipePost(RM_SCREENSAVER_CYCLED_ITEM, 0, 0));
    ASSERT_TRUE(m_session.WaitForSaverTrace("screenSaver::RM_EXIT_SCREENSAVER\n"));
    PumpMessages(500);
    EXPECT_FALSE(m_session.Saver().Wait(0));
    EXPECT_EQ(0, m_session.CountPipe("pipe-data", kCurrentStory));

    Key('F');
    ASSERT_TRUE(Exited());
    EXPECT_EQ(1, m_session.CountPipe("pipe", kShowFadeWindow));
    EXPECT_EQ(1, m_session.CountPipe("pipe", RM_EXIT));
    EXPECT_TRUE(m_session.WaitForHostExit());
    EXPECT_EQ(0, saver_tests::ScreenSaverRunningFlag());
}

// --- input that is not this process's to read ----------------------------------------------

TEST_F(ScreenSaver, PointersFromOutsideAreNeverFollowed)
{
    StartOverRunningHost();
    const int32_t bogus = 0x00001234;
    // Plain records over the pipe: their lParam is only a number here.
    ASSERT_TRUE(m_session.PipePost(RM_NOTIFY_MOTHERSHIP, 20, bogus));
    ASSERT_TRUE(m_session.PipePost(RM_ASYNC_HTTP_COMPLETE, 1, bogus));
    ASSERT_TRUE(m_session.PipePost(RM_NEWDATA_AVAILABLE, 5, bogus));
    EXPECT_TRUE(m_session.WaitForReport("newdata:5:"));
    // A plain record cannot pose as a payload.
    ASSERT_TRUE(m_session.PipePost(WM_COPYDATA, 0, bogus));
    // Posted by another process.
    PostMessageA(m_window, RM_NOTIFY_MOTHERSHIP, 20, bogus);
    PostMessageA(m_window, RM_ASYNC_HTTP_COMPLETE, 1, bogus);
    // A payload without a terminator is read only as far as it goes.
    COPYDATASTRUCT text = {RM_NEWDATA_AVAILABLE, 3, const_cast<char*>("abcdef")};
    SendMessageA(m_window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&text));
    EXPECT_TRUE(m_session.WaitForReport("newdata:0:abc")) << m_session.SaverTrace();
    // A record as payload is relayed when it is whole, refused when it claims more than it has.
    QDCopyDataRecord whole(RM_CALL_MOTHERSHIP_SCRIPT_METHOD, 0, 0, "ping", 5);
    ASSERT_TRUE(m_session.PipePostData(RM_NOTIFY_MOTHERSHIP,
                                       std::string(reinterpret_cast<const char*>(whole.Bytes()), whole.Size())));
    EXPECT_TRUE(m_session.WaitForReport("ping"));
    QDCopyDataRecord cut(RM_CALL_MOTHERSHIP_SCRIPT_METHOD, 0, 0, "pong", 5);
    for (uint32_t claimed : {4000u, 6u}) {   // 6: one byte more than it carries
        cut.Record()->cbData = claimed;
        ASSERT_TRUE(m_session.PipePostData(RM_NOTIFY_MOTHERSHIP,
                                           std::string(reinterpret_cast<const char*>(cut.Bytes()), cut.Size())));
    }
    // Without a payload, message, wParam and lParam are relayed.
    const UINT kPlain = 1090;
    QDCopyDataRecord plain(kPlain, 20, 0x1234);
    ASSERT_TRUE(m_session.PipePostData(RM_NOTIFY_MOTHERSHIP,
                                       std::string(reinterpret_cast<const char*>(plain.Bytes()), plain.Size())));
    ASSERT_TRUE(m_session.WaitForPipeMessage(kPlain));
    const auto relayed = host::FindEntries(m_session.Record(), "pipe", kPlain);
    ASSERT_EQ(1u, relayed.size());
    EXPECT_EQ(20u, relayed[0].wParam);
    EXPECT_EQ(0x1234, relayed[0].lParam);

    const std::string refusedRecord = "screenSaver::RM_NOTIFY_MOTHERSHIP - refused";
    ASSERT_TRUE(PumpUntil([&] { return testing_support::TraceCapture::Count(m_session.SaverTrace(), refusedRecord) == 4; },
                          10000))
        << m_session.SaverTrace();
    const std::string trace = m_session.SaverTrace();
    EXPECT_EQ(2, testing_support::TraceCapture::Count(trace, "screenSaver::RM_ASYNC_HTTP_COMPLETE - refused"));
    EXPECT_EQ(1, testing_support::TraceCapture::Count(trace, "QDIPC::SendAppMessageToSelf - refused the system message 0x4A of a plain record"));
    EXPECT_FALSE(m_session.HasReport("pong"));
    // Still well: a key still ends it the ordinary way.
    Key('Q');
    EXPECT_TRUE(Exited());
}

TEST_F(ScreenSaver, WithoutItsMessageHookAPostedRecordPointerIsRefused)
{
    ASSERT_TRUE(m_session.StartHost());
    ASSERT_TRUE(m_session.StartSaver("/s", "TidewireWithoutHook.exe"));
    m_window = m_session.WaitForSaverWindow();
    ASSERT_NE(nullptr, m_window);
    ASSERT_TRUE(m_session.WaitForSaverTrace("screenSaver::InitInstance() - Loading content...\n"));
    ASSERT_TRUE(m_session.WaitForSaverTrace("screenSaver::InitInstance() - Failed watching message origins"));
    // Any process can post this: the number is no record of the screen saver's.
    PostMessageA(m_window, RM_NOTIFY_MOTHERSHIP, 20, 0x1234);
    ASSERT_TRUE(m_session.WaitForSaverTrace("screenSaver::RM_NOTIFY_MOTHERSHIP - refused"));
    PumpMessages(300);
    EXPECT_FALSE(m_session.Saver().Wait(0)) << m_session.SaverTrace();
    Key('Q');
    EXPECT_TRUE(Exited()) << m_session.SaverTrace();
}

TEST_F(ScreenSaver, ExitFromTheHostEndsItAndASecondFullScreenStartLeavesAtOnce)
{
    StartOverRunningHost();
    testing_support::ChildProcess second;
    ASSERT_TRUE(second.Start("\"" + saver_tests::BinFolder() + "\\Tidewire.scr\" /s"));
    ASSERT_TRUE(PumpUntil([&] { return second.Wait(0); }, 15000));
    EXPECT_EQ(0u, second.ExitCode());
    EXPECT_TRUE(Contains(testing_support::ProcessTraceText("Tidewire", second.Id()),
                         "screenSaver::InitInstance() - a full-screen screen saver already runs, leaving.\n"));
    EXPECT_FALSE(m_session.Saver().Wait(0));
    EXPECT_EQ(1, saver_tests::ScreenSaverRunningFlag());

    ASSERT_TRUE(m_session.PipePost(RM_EXIT, 0, 0));   // 1026
    ASSERT_TRUE(Exited());
    EXPECT_TRUE(Contains(m_session.SaverTrace(), "screenSaver::RM_EXIT_SCREENSAVER_IMMEDIATE\n"));
    EXPECT_EQ(0, saver_tests::ScreenSaverRunningFlag());
}

TEST_F(ScreenSaver, WhileItWaitsForTheControlLockItAnswersSentMessages)
{
    ASSERT_TRUE(m_session.StartHost());
    // Another program creating a control: the screen saver waits at its lock.
    HANDLE lock = CreateMutexA(nullptr, FALSE, CONTROL_CREATION_MUTEX);
    ASSERT_NE(nullptr, lock);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(lock, 5000));
    ASSERT_TRUE(m_session.StartSaver("/s"));
    m_window = m_session.WaitForSaverWindow();
    ASSERT_NE(nullptr, m_window);
    ASSERT_TRUE(m_session.WaitForSaverTrace("Successfully registered window with QuillDesktop\n"));
    PumpMessages(300);
    DWORD_PTR answer = 0;
    EXPECT_NE(0, SendMessageTimeoutA(m_window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer));
    EXPECT_FALSE(Contains(m_session.SaverTrace(), "Loading content"));
    ReleaseMutex(lock);
    CloseHandle(lock);
    EXPECT_TRUE(PumpUntil([&] { return !m_session.Reports().empty(); }, 20000)) << m_session.SaverTrace();
    Key('Q');
    EXPECT_TRUE(Exited());
}

TEST_F(ScreenSaver, APreviewClosingBesideTheFullScreenSaverLeavesItsRunningFlag)
{
    StartOverRunningHost();
    ParentWindow parent;
    testing_support::ChildProcess preview;
    ASSERT_TRUE(preview.Start("\"" + saver_tests::BinFolder() + "\\Tidewire.scr\" /p " + parent.Number()));
    HWND child = m_session.WaitForSaverWindow(parent.Handle());
    ASSERT_NE(nullptr, child);
    PostMessageA(child, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return preview.Wait(0); }, 15000));
    EXPECT_EQ(1, saver_tests::ScreenSaverRunningFlag());
    Key('Q');
    ASSERT_TRUE(Exited());
    EXPECT_EQ(0, saver_tests::ScreenSaverRunningFlag());
}

// --- start-up failures ---------------------------------------------------------------------

TEST_F(ScreenSaver, AFailedStartDoesNotLeaveTheSystemBelievingAScreenSaverRuns)
{
    ASSERT_TRUE(m_session.StartHost());
    // Without its library the control cannot be created.
    ASSERT_EQ(S_OK, testing_support::RegisterWisp(false));
    ASSERT_TRUE(m_session.StartSaver("/s"));
    const bool exited = Exited();
    ASSERT_EQ(S_OK, testing_support::RegisterWisp());
    ASSERT_TRUE(exited);
    // Without its ProgID the name is taken for a page address, and the browser is no Wisp control.
    EXPECT_TRUE(Contains(m_session.SaverTrace(), "screenSaver::InitInstance()e - failed\tgetting\tIWispControl interface.\n"))
        << m_session.SaverTrace();
    EXPECT_EQ(0, saver_tests::ScreenSaverRunningFlag());
}

// The one case with the full waits: no host can be started, so the start-up event never comes
// (20 s) and the pipe registration is retried until it gives up (10 s).
TEST_F(ScreenSaver, SlowGivesUpWhenNoHostEverComes)
{
    m_session.PointAtMissingHost();
    const DWORD start = GetTickCount();
    ASSERT_TRUE(m_session.StartSaver("/s"));
    ASSERT_TRUE(m_session.WaitForSaverExit(60000));
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(0u, m_session.Saver().ExitCode());
    EXPECT_GE(elapsed, 29000u);
    const std::string trace = m_session.SaverTrace();
    for (const char* line : {"EnsureQuillDesktopMothershipIsRunning timed out!!!!!  Probably a deadlock\n",
                             "screenSaver::InitInstance() g_lMotherhipStatus = -1.\n",
                             "screenSaver::InitInstance() - Failed registering window with QuillDesktop, waiting to "
                             "see if QD needs launching\n",
                             "screenSaver::InitInstance() - Failed registering window with QuillDesktop, need to quit "
                             "now\n"})
        EXPECT_TRUE(Contains(trace, line)) << line;
    EXPECT_EQ(0, saver_tests::ScreenSaverRunningFlag());
}

}  // namespace
