// Sliding HTML pop-ups and the screen saver's fade window, opened by page script in the test
// host: real windows under Xvfb, the nested control created by ProgID, the browser stand-in.
#include "tests/windows/PopupSupport.h"

#include "common/HostMessages.h"
#include "common/PersistentSettings.h"
#include "common/com/Handle.h"
#include "tests/support/ScratchState.h"
#include "tests/support/ImportHook.h"
#include "tests/support/TraceCapture.h"

#include <exdisp.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace popups;
using testing_support::PumpMessages;
using testing_support::PumpUntil;

namespace {

const char kPopupClass[] = "WispPopupWindow";

struct Box {
    int left, top, width, height;
};

std::string Numbers(std::initializer_list<int> values)
{
    std::string text;
    for (int v : values)
        text += ", " + std::to_string(v);
    return text;
}

// SlideHTMLRoundedPopup's seventeen arguments.
std::string Slide(const std::string& url, Box start, Box dest, bool client, bool mouse, std::initializer_list<int> radii,
                  int lifetime)
{
    std::string args = "'SlideHTMLRoundedPopup', " + url +
                       Numbers({start.left, start.top, start.width, start.height, 0, dest.left, dest.top, dest.width,
                                dest.height});
    args += std::string(client ? ", true" : ", false") + (mouse ? ", true" : ", false");
    return args + Numbers(radii) + Numbers({lifetime});
}

// ShowHTMLWindow's twelve: client and mouse are integers there, non-zero for true.
std::string Plain(const std::string& url, Box start, Box dest, int client, int mouse)
{
    return "'ShowHTMLWindow', " + url +
           Numbers({start.left, start.top, start.width, start.height, 0, dest.left, dest.top, dest.width, dest.height,
                    client, mouse});
}

// A reading of a sliding pop-up: its window rectangle and its region, both on the screen.
struct Frame {
    RECT window;
    UniqueGdiObject region;
};

// The slide owns this thread: another one reads the pop-up until `done` answers true. A reading
// counts when the window did not move while its region was read.
std::vector<Frame> WatchSlide(HWND popup, const std::function<bool()>& done, bool* finished)
{
    std::vector<Frame> frames;
    std::atomic<bool> watching{true};
    std::thread watcher([&] {
        while (watching) {
            Frame f = {WindowRect(popup), UniqueGdiObject(CreateRectRgn(0, 0, 0, 0))};
            HRGN region = static_cast<HRGN>(f.region.Get());
            if (IsWindowVisible(popup) && GetWindowRgn(popup, region) != ERROR &&
                EqualRect(&f.window, &static_cast<const RECT&>(WindowRect(popup)))) {
                OffsetRgn(region, f.window.left, f.window.top);
                frames.push_back(std::move(f));
            }
            Sleep(5);
        }
    });
    *finished = done();
    watching = false;
    watcher.join();
    return frames;
}

// No pixel of the region outside `dest`.
bool InsideOf(const Frame& f, const RECT& dest)
{
    UniqueGdiObject outside(CreateRectRgn(0, 0, 0, 0)), destination(CreateRectRgnIndirect(&dest));
    return CombineRgn(static_cast<HRGN>(outside.Get()), static_cast<HRGN>(f.region.Get()),
                      static_cast<HRGN>(destination.Get()), RGN_DIFF) == NULLREGION;
}

bool Equal(const RECT& r, int left, int top, int right, int bottom)
{
    return r.left == left && r.top == top && r.right == right && r.bottom == bottom;
}

class Popups : public PopupPage {};

TEST_F(Popups, ARoundedPopupSlidesIntoItsDestinationWithItsClassStylesAndRegion)
{
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    const Box dest = {w - 310, h - 210, 300, 200};
    // From a 0-high strip at the screen's bottom edge.
    EXPECT_EQ("object:Microsoft Web Browser Control", App(Slide(PageUrl("popup.htm"), {w - 310, h, 300, 0}, dest, false, false,
                                           {20, 10, 0, 30}, 0)));
    HWND popup = FindWindowA(kPopupClass, nullptr);
    ASSERT_NE(nullptr, popup);
    // Busy until the page has loaded: raised priority and the wait cursor.
    EXPECT_EQ(THREAD_PRIORITY_HIGHEST, GetThreadPriority(GetCurrentThread()));
    EXPECT_EQ(LoadCursor(nullptr, IDC_WAIT), GetCursor());
    bool loaded = false;
    const std::vector<Frame> frames = WatchSlide(
        popup,
        [&] { return WaitForTrace("popup page: loaded") && WaitForTrace("CWispPopupWindow::SlideWindow - end\n"); },
        &loaded);
    ASSERT_TRUE(loaded);
    // It grew upwards from the bottom edge, never showing outside the destination.
    ASSERT_GE(frames.size(), 3u);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Frame& f = frames[i];
        EXPECT_EQ(w - 310, f.window.left);
        EXPECT_GE(f.window.top, h - 210);
        // The top moves up by 210 while the height grows by 200: the bottom edge rises by 10.
        EXPECT_LE(f.window.bottom, h);
        EXPECT_GE(f.window.bottom, h - 10);
        if (i > 0) {
            EXPECT_LE(f.window.top, frames[i - 1].window.top);
        }
        EXPECT_TRUE(InsideOf(f, {w - 310, h - 210, w - 10, h - 10})) << "window " << f.window.top << " frame " << i;
    }
    // No frame page for a rounded pop-up: its one load ends the busy state.
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, GetThreadPriority(GetCurrentThread()));
    EXPECT_EQ(LoadCursor(nullptr, IDC_ARROW), GetCursor());

    const std::string traced = Traced();
    EXPECT_NE(std::string::npos, traced.find("CWispPopupWindow::CWispPopupWindow - m_hWndTrackingWindow = 0x0.\n"));
    EXPECT_NE(std::string::npos, traced.find("CWispPopupWindow::OnDocumentComplete - Showing Popup\n"));
    EXPECT_EQ(std::string::npos, traced.find("popup page: frame loaded"));
    EXPECT_EQ(std::string::npos, traced.find("loading html"));
    const std::string destTrace = "    rDest {Left=" + std::to_string(w - 310) + ", Top=" + std::to_string(h - 210) +
                                  ", Right=" + std::to_string(w - 10) + ", Bottom=" + std::to_string(h - 10) + "}\n";
    EXPECT_NE(std::string::npos, traced.find(destTrace)) << traced;

    char name[64] = "";
    GetClassNameA(popup, name, sizeof name);
    EXPECT_STREQ("WispPopupWindow", name);
    EXPECT_EQ(0x86000000u | WS_VISIBLE, static_cast<DWORD>(GetWindowLongA(popup, GWL_STYLE)));
    EXPECT_EQ(0x08000000u, static_cast<DWORD>(GetWindowLongA(popup, GWL_EXSTYLE)) & 0x08000000u);
    EXPECT_TRUE(Equal(WindowRect(popup), w - 310, h - 210, w - 10, h - 10));
    EXPECT_TRUE(GetWindowLongA(popup, GWL_EXSTYLE) & WS_EX_TOPMOST);
    // Radii top-left 20, top-right 10, bottom-left 0, bottom-right 30.
    EXPECT_FALSE(InRegion(popup, 2, 2));
    EXPECT_FALSE(InRegion(popup, 297, 1));
    EXPECT_TRUE(InRegion(popup, 20, 1));
    EXPECT_TRUE(InRegion(popup, 0, 198));
    EXPECT_FALSE(InRegion(popup, 295, 195));
    EXPECT_TRUE(InRegion(popup, 150, 100));

    // 0x040E closes it; it leaves the control's chain.
    SendMessageA(popup, 0x040E, 0, 0);
    EXPECT_FALSE(IsWindow(popup));
    EXPECT_NE(std::string::npos, Traced().find("CWispPopupWindow::OnDestroy - Removing us from the dynamic chain"));
    EXPECT_NE(std::string::npos, Traced().find("CWispPopupWindow::OnFinalMessage\n"));
}

// Mended fault: each step's rounded region stood at the window's top-left corner instead of
// where the visible part lies, so sliding in from above or from the left it showed outside.
TEST_F(Popups, ARoundedPopupSlidingInFromAboveOrTheLeftNeverShowsOutsideItsDestination)
{
    const RECT dest = {100, 100, 300, 220};
    const Box starts[] = {{100, -20, 200, 120}, {-100, 100, 200, 120}};
    for (const Box& start : starts) {
        SCOPED_TRACE(std::to_string(start.left) + "," + std::to_string(start.top));
        m_mark = testing_support::TraceCapture::Mark();
        App(Slide(PageUrl("popup.htm"), start, {100, 100, 200, 120}, false, false, {12, 12, 12, 12}, 0));
        HWND popup = FindWindowA(kPopupClass, nullptr);
        ASSERT_NE(nullptr, popup);
        bool slid = false;
        const std::vector<Frame> frames =
            WatchSlide(popup, [&] { return WaitForTrace("CWispPopupWindow::SlideWindow - end\n"); }, &slid);
        ASSERT_TRUE(slid);
        std::size_t showing = 0;
        for (const Frame& f : frames) {
            EXPECT_TRUE(InsideOf(f, dest)) << "window at " << f.window.left << "," << f.window.top;
            RECT box = {};
            showing += GetRgnBox(static_cast<HRGN>(f.region.Get()), &box) != NULLREGION ? 1 : 0;
        }
        EXPECT_GE(showing, 3u);
        DestroyWindow(popup);
    }
}

// Mended fault: each pop-up saved the priority it found, so the second one saved the first
// one's raised priority and left the thread at THREAD_PRIORITY_HIGHEST for good.
TEST_F(Popups, TwoPopupsBusyAtOnceLeaveTheThreadAtNormalPriority)
{
    // One script turn: a rounded pop-up (its one load ends it) and a frame-mode one (two loads).
    Run("app().CallApplicationMethod(" +
        Slide(PageUrl("popup.htm", "?a"), {40, 40, 200, 120}, {40, 40, 200, 120}, false, false, {6, 6, 6, 6}, 0) +
        "), app().CallApplicationMethod(" + Plain(PageUrl("popup.htm", "?b"), {300, 40, 200, 120}, {300, 40, 200, 120}, 0, 0) +
        ")");
    EXPECT_EQ(2u, WindowsOf(kPopupClass).size());
    EXPECT_EQ(THREAD_PRIORITY_HIGHEST, GetThreadPriority(GetCurrentThread()));
    ASSERT_TRUE(WaitForTrace("popup page: loaded ?a"));
    ASSERT_TRUE(WaitForTrace("CWispPopupWindow::OnDocumentComplete - m_bComplete\n"));
    const std::string traced = Traced();
    EXPECT_LT(traced.find("popup page: loaded ?a"), traced.find("popup page: loaded ?b"));
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, GetThreadPriority(GetCurrentThread()));
    EXPECT_EQ(LoadCursor(nullptr, IDC_ARROW), GetCursor());
}

// Mended fault: a pop-up whose page could not start was kept, hidden for good, in the control's
// chain and as its current pop-up.
TEST_F(Popups, APopupWhosePageCannotStartIsNotKept)
{
    testing_support::ClassRefusal noBrowser(&CLSID_WebBrowser);
    ASSERT_TRUE(noBrowser.Installed());
    EXPECT_EQ("undefined:undefined", App(Plain(PageUrl("popup.htm"), {40, 40, 200, 120}, {40, 40, 200, 120}, 0, 0)));
    EXPECT_TRUE(WindowsOf(kPopupClass).empty());
    EXPECT_NE(std::string::npos, Traced().find("CWispPopupWindow::CreateWispPopupWindow - Init failed"));
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, GetThreadPriority(GetCurrentThread()));
}

TEST_F(Popups, FrameModeLoadsTheFramePageThenTheRealOneAndClientRectanglesAreMapped)
{
    const POINT origin = ControlOrigin();
    // Start equal to the destination: shown at once, without a slide. Client coordinates as
    // 256: an integer whose low byte is 0.
    EXPECT_EQ("object:Microsoft Web Browser Control", App(Plain(PageUrl("popup.htm"), {10, 20, 150, 90}, {10, 20, 150, 90}, 256, 0)));
    HWND popup = FindWindowA(kPopupClass, nullptr);
    ASSERT_NE(nullptr, popup);
    ASSERT_TRUE(WaitForTrace("popup page: loaded"));
    ASSERT_TRUE(WaitForTrace("CWispPopupWindow::OnDocumentComplete - m_bComplete\n"));
    const std::string traced = Traced();
    const std::size_t frame = traced.find("popup page: frame loaded");
    const std::size_t loading = traced.find("CWispPopupWindow::OnDocumentComplete - loading html 'file:///");
    ASSERT_NE(std::string::npos, frame);
    ASSERT_NE(std::string::npos, loading);
    EXPECT_LT(frame, loading);
    EXPECT_LT(loading, traced.find("popup page: loaded"));
    EXPECT_EQ(std::string::npos, traced.find("CWispPopupWindow::SlideWindow - end"));
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, GetThreadPriority(GetCurrentThread()));

    EXPECT_TRUE(IsWindowVisible(popup));
    EXPECT_FALSE(HasRegion(popup));
    EXPECT_TRUE(Equal(WindowRect(popup), origin.x + 10, origin.y + 20, origin.x + 160, origin.y + 110));
    // Neither a load notification window nor an owner is set for a method's pop-up.
    EXPECT_EQ(0, SendMessageA(popup, 0x042A, 0, 0));
    EXPECT_EQ(0, SendMessageA(popup, 0x042B, 0, 0));
    EXPECT_EQ(1, SendMessageA(popup, WM_NCACTIVATE, 0, 0));
    EXPECT_EQ(0, SendMessageA(popup, WM_NCACTIVATE, 1, 0));
}

TEST_F(Popups, AFramePopupClosedBeforeItsPageLoadsRestoresPriorityAndCursor)
{
    App(Plain(PageUrl("popup.htm"), {10, 20, 150, 90}, {10, 20, 150, 90}, true, false));
    HWND popup = FindWindowA(kPopupClass, nullptr);
    ASSERT_NE(nullptr, popup);
    EXPECT_EQ(THREAD_PRIORITY_HIGHEST, GetThreadPriority(GetCurrentThread()));
    DestroyWindow(popup);
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, GetThreadPriority(GetCurrentThread()));
    EXPECT_EQ(LoadCursor(nullptr, IDC_ARROW), GetCursor());
}

TEST_F(Popups, TheMouseLeavingClosesItUnlessTheButtonIsHeldOnIt)
{
    App(Plain(PageUrl("popup.htm"), {40, 40, 200, 120}, {40, 40, 200, 120}, 0, 256));
    HWND popup = WaitForVisible(kPopupClass);
    ASSERT_NE(nullptr, popup);
    ASSERT_TRUE(WaitForTrace("popup page: loaded"));
    SetCursorPos(100, 100);
    PumpMessages(1500);
    EXPECT_TRUE(IsWindow(popup));

    // The button pressed on it captures the mouse: straying outside keeps it open.
    SendMessageA(popup, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    EXPECT_EQ(popup, GetCapture());
    SetCursorPos(600, 600);
    PumpMessages(1500);
    EXPECT_TRUE(IsWindow(popup));
    EXPECT_NE(std::string::npos, Traced().find("CWispPopupWindow::OnPopupTimer - mouse is captured, not exiting.\n"));
    SendMessageA(popup, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_TRUE(WaitForGone(popup, 2500));
}

TEST_F(Popups, TheLifetimeRunsWhileTheCursorIsAwayAndEndsInASlideBack)
{
    SetCursorPos(100, 100);
    App(Slide(PageUrl("popup.htm"), {40, -120, 200, 120}, {40, 40, 200, 120}, false, true, {0, 0, 0, 0}, 1500));
    HWND popup = WaitForVisible(kPopupClass);
    ASSERT_NE(nullptr, popup);
    // Hovering restarts the lifetime (and with a lifetime the mouse leaving does not close it).
    PumpMessages(2500);
    EXPECT_TRUE(IsWindow(popup));
    SetCursorPos(600, 600);
    PumpMessages(800);
    EXPECT_TRUE(IsWindow(popup));
    ASSERT_TRUE(WaitForGone(popup, 3000));
    const std::string traced = Traced();
    EXPECT_EQ(2, testing_support::TraceCapture::Count(traced, "CWispPopupWindow::SlideWindow - start\n"));
    // Back towards where it came from.
    EXPECT_NE(std::string::npos, traced.find("    rDest {Left=40, Top=-120, Right=240, Bottom=0}\n"));
}

TEST_F(Popups, WithoutTheMouseFlagTheLifetimeEndsEvenWhileHovered)
{
    SetCursorPos(100, 100);
    App(Slide(PageUrl("popup.htm"), {40, 40, 200, 120}, {40, 40, 200, 120}, false, false, {0, 0, 0, 0}, 1000));
    HWND popup = WaitForVisible(kPopupClass);
    ASSERT_NE(nullptr, popup);
    EXPECT_TRUE(WaitForGone(popup, 4000));
}

TEST_F(Popups, ThePopupsOwnPageClosesItAndTheControlForgetsIt)
{
    App(Plain(PageUrl("popup.htm", "?close"), {40, 40, 200, 120}, {40, 40, 200, 120}, false, false));
    HWND popup = WaitForVisible(kPopupClass);
    ASSERT_NE(nullptr, popup);
    ASSERT_TRUE(WaitForGone(popup, 5000));
    // The pop-up was the control's current one: nothing may address it any more.
    EXPECT_EQ("boolean:false", App("'SSShowFadeWindow'"));
    EXPECT_EQ("boolean:false", App("'SSCycledItemReady', 'gone'"));
    EXPECT_EQ("boolean:true", App("'SSCooldown'"));
}

TEST_F(Popups, APopupsPageBesideTheOpenersIsTrustedOutsideTheContentFolder)
{
    // Only the anchor the pop-up inherits from the opening control vouches for its page.
    testing_support::ScratchFolder elsewhere("popup-content");
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty("content_directory", elsewhere.Path()));
    }
    App(Slide(PageUrl("popup.htm", "?close"), {40, 40, 200, 120}, {40, 40, 200, 120}, false, false, {4, 4, 4, 4}, 0));
    HWND popup = WaitForVisible(kPopupClass);
    ASSERT_NE(nullptr, popup);
    EXPECT_TRUE(WaitForGone(popup, 5000));
    EXPECT_NE(std::string::npos, Traced().find("popup page: loaded ?close\n"));
    EXPECT_EQ(std::string::npos, Traced().find("refused for the page"));
}

TEST_F(Popups, ANullUrlOpensNothing)
{
    EXPECT_EQ("undefined:undefined", App(Slide("5", {0, 0, 10, 10}, {0, 0, 10, 10}, false, false, {4, 4, 4, 4}, 0)));
    EXPECT_EQ(nullptr, FindWindowA(kPopupClass, nullptr));
}

TEST_F(Popups, TheFadeSetUpTalksToTheCurrentPopupsPage)
{
    EXPECT_EQ("boolean:false", App("'SSCycledItemReady', 'no pop-up'"));
    App(Slide(PageUrl("popup.htm"), {40, 40, 200, 120}, {40, 40, 200, 120}, false, false, {8, 8, 8, 8}, 0));
    ASSERT_TRUE(WaitForTrace("popup page: loaded"));
    EXPECT_EQ("boolean:true", App("'SSCycledItemReady', '300x200'"));
    const std::string traced = Traced();
    EXPECT_NE(std::string::npos, traced.find("popup page: small window mode\n"));
    EXPECT_NE(std::string::npos, traced.find("popup page: window size string:300x200\n"));
    EXPECT_NE(std::string::npos,
              traced.find("CWispPopupWindow::ScriptMethodExists looking for GoIntoSmallWindowMode result found \n"));

    // A page without the functions.
    App(Slide(PageUrl("popupframe.htm"), {40, 40, 200, 120}, {40, 40, 200, 120}, false, false, {8, 8, 8, 8}, 0));
    ASSERT_TRUE(WaitForTrace("popup page: frame loaded"));
    EXPECT_EQ("boolean:false", App("'SSCycledItemReady', 'again'"));
    EXPECT_NE(std::string::npos,
              Traced().find("CWispPopupWindow::ScriptMethodExists looking for GoIntoSmallWindowMode result not found \n"));
}

TEST_F(Popups, TheFadeWindowWarmsUpFadesClearsThePageAndIsForgotten)
{
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty("screensaver_fadestartelapsed", 600));
        ASSERT_TRUE(settings.SetProperty("screensaver_fadewatchelapsed", 500));
        ASSERT_TRUE(settings.SetProperty("screensaver_fadewatchfrequency", 24));
    }
    EXPECT_EQ("boolean:true", App("'SSWarmup'"));
    HWND fade = WaitForVisible(kPopupClass);
    ASSERT_NE(nullptr, fade);
    ASSERT_TRUE(WaitForTrace("popup page: loaded"));
    const RECT fadeRect = WindowRect(fade);
    EXPECT_EQ(400, fadeRect.right - fadeRect.left);
    EXPECT_EQ(400, fadeRect.bottom - fadeRect.top);
    // 12 pixels in from the bottom-right corner of the screen (no task bar here).
    if (!FindWindowA("Shell_TrayWnd", nullptr)) {
        const int right = GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN) - 12;
        const int bottom = GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN) - 12;
        EXPECT_TRUE(Equal(WindowRect(fade), right - 400, bottom - 400, right, bottom));
    }
    // Radius 4 on every corner.
    EXPECT_FALSE(InRegion(fade, 0, 0));
    EXPECT_FALSE(InRegion(fade, 399, 399));
    EXPECT_TRUE(InRegion(fade, 4, 0));
    EXPECT_TRUE(InRegion(fade, 200, 200));
    // The mouse staying away does not close it.
    PumpMessages(1300);
    ASSERT_TRUE(IsWindow(fade));

    EXPECT_EQ("boolean:true", App("'SSShowFadeWindow'"));
    EXPECT_TRUE(GetWindowLongA(fade, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_EQ(220, Alpha(fade));
    std::vector<int> seen;
    PumpUntil(
        [&] {
            if (!IsWindow(fade))
                return true;
            seen.push_back(Alpha(fade));
            return false;
        },
        5000);
    EXPECT_FALSE(IsWindow(fade));
    ASSERT_FALSE(seen.empty());
    bool between = false;
    for (std::size_t i = 1; i < seen.size(); ++i) {
        EXPECT_LE(seen[i], seen[i - 1]);
        between = between || (seen[i] > 0 && seen[i] < 220);
    }
    EXPECT_TRUE(between);
    EXPECT_NE(std::string::npos, Traced().find("popup page: cleared\n"));
    // It went by itself: the control no longer points at it.
    EXPECT_EQ("boolean:false", App("'SSShowFadeWindow'"));
    EXPECT_EQ("boolean:true", App("'SSCooldown'"));

    // Cooldown closes a warm fade window. A desk bar on the right (edge 2) moves it in by its size.
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty("appbar_deskbar", 1));
        ASSERT_TRUE(settings.SetProperty("appbar_edge", 2));
        ASSERT_TRUE(settings.SetProperty("appbar_size", 100));
    }
    EXPECT_EQ("boolean:true", App("'SSWarmup'"));
    HWND again = FindWindowA(kPopupClass, nullptr);
    ASSERT_NE(nullptr, again);
    EXPECT_EQ(fadeRect.right - 100, WindowRect(again).right);
    EXPECT_EQ(fadeRect.bottom, WindowRect(again).bottom);

    // Mended fault: a second warm-up or a later pop-up took the fade window's place and left it
    // with nothing to end it; SSCooldown and SSShowFadeWindow then worked on the other pop-up.
    EXPECT_EQ("boolean:true", App("'SSWarmup'"));
    EXPECT_FALSE(IsWindow(again));
    ASSERT_EQ(1u, WindowsOf(kPopupClass).size());
    again = WindowsOf(kPopupClass)[0];
    App(Plain(PageUrl("popup.htm"), {40, 40, 200, 120}, {40, 40, 200, 120}, 0, 0));
    const std::vector<HWND> both = WindowsOf(kPopupClass);
    ASSERT_EQ(2u, both.size());
    EXPECT_EQ("boolean:true", App("'SSCooldown'"));
    EXPECT_FALSE(IsWindow(again));
    EXPECT_TRUE(IsWindow(both[0] == again ? both[1] : both[0]));
    EXPECT_EQ("boolean:false", App("'SSShowFadeWindow'"));
}

// The tracking window: the control's top-level window when it is not the host application's.
TEST_F(Popups, APopupFollowsItsTrackingWindowExceptUnderATooltip)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "WispTestTracker";
    RegisterClassA(&wc);
    wc.lpszClassName = "tooltips_class32";
    RegisterClassA(&wc);
    HWND tracker = CreateWindowExA(0, "WispTestTracker", "", WS_POPUP | WS_VISIBLE, 100, 100, 320, 200, nullptr,
                                   nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, tracker);
    SetParent(m_host.ContainerWindow(), tracker);

    App(Slide(PageUrl("popup.htm"), {300, 300, 150, 100}, {300, 300, 150, 100}, false, false, {6, 6, 6, 6}, 0));
    HWND popup = WaitForVisible(kPopupClass);
    ASSERT_NE(nullptr, popup);
    ASSERT_TRUE(WaitForTrace("popup page: loaded"));
    EXPECT_EQ(popup, GetWindow(tracker, GW_HWNDPREV));   // just above the tracking window
    // A balloon in the same chain follows as well.
    EXPECT_EQ("object:Microsoft Web Browser Control",
              App("'ShowBalloon', " + PageUrl("popup.htm") + ", 300, 150, 200, 100, 0"));
    HWND balloon = WaitForVisible("WispBalloonWindow");
    ASSERT_NE(nullptr, balloon);
    const RECT before = WindowRect(balloon);

    SetWindowPos(tracker, nullptr, 150, 130, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(m_host.ControlWindow(), 0x0439, 0, 0);
    EXPECT_TRUE(Equal(WindowRect(popup), 350, 330, 500, 430));
    EXPECT_TRUE(Equal(WindowRect(balloon), before.left + 50, before.top + 30, before.right + 50, before.bottom + 30));
    DestroyWindow(balloon);

    // Topmost with a tooltip right above it: the pop-up stays put.
    SetWindowPos(tracker, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    HWND tip = CreateWindowExA(WS_EX_TOPMOST, "tooltips_class32", "", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
    SetWindowPos(tip, GetWindow(tracker, GW_HWNDPREV), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (GetWindow(tracker, GW_HWNDPREV) == tip) {
        SetWindowPos(tracker, nullptr, 160, 140, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageA(m_host.ControlWindow(), 0x0439, 0, 0);
        EXPECT_TRUE(Equal(WindowRect(popup), 350, 330, 500, 430));
    } else {
        ADD_FAILURE() << "the tooltip stand-in is not above the tracking window";
    }
    DestroyWindow(tip);
    SendMessageA(m_host.ControlWindow(), 0x0439, 0, 0);
    EXPECT_TRUE(Equal(WindowRect(popup), 360, 340, 510, 440));
    EXPECT_TRUE(GetWindowLongA(popup, GWL_EXSTYLE) & WS_EX_TOPMOST);

    DestroyWindow(popup);
    SetParent(m_host.ContainerWindow(), m_host.HostWindow());
    DestroyWindow(tracker);
}

}  // namespace
