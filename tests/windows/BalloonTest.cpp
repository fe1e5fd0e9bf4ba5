// Speech balloons opened by page script: placement against the screen, the shape with its tail,
// the fades sampled through the layered-window attributes, the tray anchor from the host.
#include "tests/windows/PopupSupport.h"

#include "common/HostMessages.h"
#include "tests/support/ImportHook.h"
#include "tests/support/TraceCapture.h"

#include <string>
#include <vector>

using namespace popups;
using testing_support::PumpMessages;
using testing_support::PumpUntil;

namespace {

const char kBalloonClass[] = "WispBalloonWindow";

class Balloons : public PopupPage {
protected:
    // ShowBalloon at a screen point; the page's answer.
    std::string ShowAt(int x, int y, int width, int height, int lifetime)
    {
        const POINT origin = ControlOrigin();
        return App("'ShowBalloon', " + PageUrl("popup.htm") + ", " + std::to_string(x - origin.x) + ", " +
                   std::to_string(y - origin.y) + ", " + std::to_string(width) + ", " + std::to_string(height) +
                   ", " + std::to_string(lifetime));
    }
    // The balloon once its page has loaded and it shows.
    HWND Shown()
    {
        HWND balloon = WaitForVisible(kBalloonClass);
        EXPECT_NE(nullptr, balloon);
        return balloon;
    }
    // Opacity readings until the window goes or `ms` pass.
    static std::vector<int> Sample(HWND window, DWORD ms)
    {
        std::vector<int> seen;
        PumpUntil(
            [&] {
                if (!IsWindow(window))
                    return true;
                seen.push_back(Alpha(window));
                return false;
            },
            ms);
        return seen;
    }
    static bool Equal(const RECT& r, int left, int top, int right, int bottom)
    {
        return r.left == left && r.top == top && r.right == right && r.bottom == bottom;
    }
    RECT m_screen = {};
    void SetUp() override
    {
        PopupPage::SetUp();
        GetClientRect(GetDesktopWindow(), &m_screen);
    }
};

TEST_F(Balloons, TheFourPlacementsAndTheFallback)
{
    const int w = m_screen.right, h = m_screen.bottom;
    struct Case {
        int x, y, width, height;
        RECT expected;
        POINT tailTip;   // a point of the tail, window coordinates
    } cases[] = {
        // Bottom-right corner: above and left, the tail at the bottom's right end.
        {w - 10, h - 10, 200, 100, {w - 210, h - 110, w - 10, h - 10}, {187, 97}},
        // Bottom-left: above and right, the tail at the bottom's left end.
        {10, h - 10, 200, 100, {10, h - 110, 210, h - 10}, {13, 97}},
        // Top-left: below and right, the tail at the top's left end.
        {10, 10, 200, 100, {10, 10, 210, 110}, {13, 3}},
        // Top-right: below and left, the tail at the top's right end.
        {w - 10, 10, 200, 100, {w - 210, 10, w - 10, 110}, {187, 3}},
        // Wider than the screen: below and left whatever it covers.
        {10, 10, w + 100, 100, {10 - w - 100, 10, 10, 110}, {w + 100 - 13, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        EXPECT_EQ("object:Microsoft Web Browser Control", ShowAt(c.x, c.y, c.width, c.height, 0));
        HWND balloon = Shown();
        if (!balloon)
            continue;
        EXPECT_TRUE(Equal(WindowRect(balloon), c.expected.left, c.expected.top, c.expected.right, c.expected.bottom));
        EXPECT_TRUE(InRegion(balloon, c.tailTip.x, c.tailTip.y));
        // The other three tail places are outside; the body's rounded corners too.
        const POINT others[] = {{13, 3}, {c.width - 13, 3}, {13, c.height - 3}, {c.width - 13, c.height - 3}};
        for (const POINT& p : others) {
            if (p.x != c.tailTip.x || p.y != c.tailTip.y) {
                EXPECT_FALSE(InRegion(balloon, p.x, p.y)) << p.x << "," << p.y;
            }
        }
        EXPECT_FALSE(InRegion(balloon, 1, 17));
        EXPECT_TRUE(InRegion(balloon, 12, 17));
        // Inside a corner of radius 10, outside one of radius 12.
        EXPECT_FALSE(InRegion(balloon, 11, 16));
        EXPECT_FALSE(InRegion(balloon, 0, 27));
        EXPECT_TRUE(InRegion(balloon, c.width / 2, c.height / 2));
        EXPECT_FALSE(InRegion(balloon, c.width / 2, 15));   // the body starts 16 pixels in
        SendMessageA(balloon, 0x040E, 0, 0);
        EXPECT_FALSE(IsWindow(balloon));
    }
}

TEST_F(Balloons, ABalloonFadesInWithItsOutlineAndOutAfterItsLifetime)
{
    const int x = m_screen.right - 10, y = m_screen.bottom - 10;
    EXPECT_EQ("object:Microsoft Web Browser Control", ShowAt(x, y, 220, 120, 1));
    HWND balloon = FindWindowA(kBalloonClass, nullptr);
    ASSERT_NE(nullptr, balloon);
    // Invisible until its page has loaded.
    EXPECT_FALSE(IsWindowVisible(balloon));
    EXPECT_EQ(0, Alpha(balloon));
    char name[64] = "";
    GetClassNameA(balloon, name, sizeof name);
    EXPECT_STREQ("WispBalloonWindow", name);
    // WS_POPUP; the system adds WS_CLIPSIBLINGS to every top-level window.
    EXPECT_EQ(0x80000000u, static_cast<DWORD>(GetWindowLongA(balloon, GWL_STYLE)) & ~WS_CLIPSIBLINGS & 0xFFFF0000u);
    EXPECT_EQ(0x08080000u, static_cast<DWORD>(GetWindowLongA(balloon, GWL_EXSTYLE)) & 0x08080000u);
    EXPECT_EQ(m_host.HostWindow(), GetWindow(balloon, GW_OWNER));

    ASSERT_TRUE(WaitForTrace("CWispBalloonWindow::OnDocumentComplete\n"));
    const DWORD loaded = GetTickCount();
    std::vector<int> fadeIn;
    PumpUntil(
        [&] {
            fadeIn.push_back(Alpha(balloon));
            return fadeIn.back() == 255;
        },
        2000);
    const DWORD full = GetTickCount() - loaded;
    ASSERT_EQ(255, fadeIn.back());
    bool between = false;
    for (std::size_t i = 1; i < fadeIn.size(); ++i) {
        EXPECT_GE(fadeIn[i], fadeIn[i - 1]);
        between = between || (fadeIn[i] > 0 && fadeIn[i] < 255);
    }
    EXPECT_TRUE(between);
    EXPECT_GE(full, 300u);   // trunc(t x 0.003003003 x 255) reaches 255 only past 333 ms
    EXPECT_EQ(std::string::npos, Traced().find("CWispBalloonWindow::DrawBorder - no points to draw"));

    // One second after the load it fades out and goes.
    std::vector<int> fadeOut = Sample(balloon, 4000);
    EXPECT_FALSE(IsWindow(balloon));
    ASSERT_FALSE(fadeOut.empty());
    between = false;
    for (std::size_t i = 1; i < fadeOut.size(); ++i) {
        EXPECT_LE(fadeOut[i], fadeOut[i - 1]);
        between = between || (fadeOut[i] > 0 && fadeOut[i] < 255);
    }
    EXPECT_TRUE(between);
    EXPECT_NE(std::string::npos, Traced().find("CWispBalloonWindow::OnDestroy - Removing us from the dynamic chain"));
    EXPECT_NE(std::string::npos, Traced().find("CWispBalloonWindow::OnFinalMessage\n"));
}

TEST_F(Balloons, WithoutALifetimeItStaysUntilClosedAtOnce)
{
    ShowAt(300, 300, 200, 100, 0);
    HWND balloon = Shown();
    ASSERT_NE(nullptr, balloon);
    PumpMessages(2300);
    ASSERT_TRUE(IsWindow(balloon));
    EXPECT_EQ(255, Alpha(balloon));
    SendMessageA(balloon, 0x040E, 0, 0);
    EXPECT_FALSE(IsWindow(balloon));
}

TEST_F(Balloons, AHiddenControlOrAMissingUrlShowsNone)
{
    EXPECT_EQ("boolean:false", App("'ShowBalloon', 7, 10, 10, 100, 50, 0"));
    ShowWindow(m_host.HostWindow(), SW_HIDE);
    EXPECT_EQ("boolean:false", ShowAt(300, 300, 200, 100, 0));
    EXPECT_EQ(nullptr, FindWindowA(kBalloonClass, nullptr));
}

TEST_F(Balloons, ABalloonWhoseControlCannotBeCreatedIsNotKept)
{
    testing_support::ClassRefusal noControl(nullptr);
    ASSERT_TRUE(noControl.Installed());
    EXPECT_EQ("boolean:false", ShowAt(300, 300, 200, 100, 0));
    EXPECT_TRUE(WindowsOf(kBalloonClass).empty());
    EXPECT_NE(std::string::npos, Traced().find("CWispBalloonWindow::CreateWispBalloonWindow - creating the control failed"));
}

// Mended fault: ExitDialog closed whatever window stood two levels up, the host's own window
// from a balloon's page or from the main page.
TEST_F(Balloons, ExitDialogOutsideADialogLeavesTheHostWindow)
{
    HWND hostWindow = m_host.HostWindow();
    EXPECT_EQ("undefined:undefined", App("'ExitDialog'"));
    App("'ShowBalloon', " + PageUrl("popup.htm", "?exit") + ", 100, 100, 200, 100, 0");
    ASSERT_TRUE(WaitForTrace("popup page: exit asked"));
    PumpMessages(300);
    EXPECT_TRUE(IsWindow(hostWindow));
    EXPECT_EQ(2, testing_support::TraceCapture::Count(Traced(), "AppMethod ExitDialog: the control is not inside a dialog.\n"));
}

TEST_F(Balloons, TheTrayBalloonTakesItsAnchorFromTheHost)
{
    const int x = m_screen.right - 20, y = m_screen.bottom - 5;
    // x in the high word, y in the low word.
    m_host.SetReply(0x040A, static_cast<LRESULT>((x << 16) | y));
    EXPECT_EQ("boolean:true", App("'ShowTrayBalloon', " + PageUrl("popup.htm") + ", 240, 110, 0"));
    EXPECT_EQ(1, m_host.CountMessages(0x040A));
    HWND balloon = Shown();
    ASSERT_NE(nullptr, balloon);
    EXPECT_TRUE(Equal(WindowRect(balloon), x - 240, y - 110, x, y));
    EXPECT_EQ(nullptr, GetWindow(balloon, GW_OWNER));
    SendMessageA(balloon, 0x040E, 0, 0);

    // A host that does not answer: the anchor is 0,0.
    m_host.SetReply(0x040A, 0);
    EXPECT_EQ("boolean:true", App("'ShowTrayBalloon', " + PageUrl("popup.htm") + ", 240, 110, 0"));
    balloon = Shown();
    ASSERT_NE(nullptr, balloon);
    EXPECT_TRUE(Equal(WindowRect(balloon), 0, 0, 240, 110));
}

}  // namespace
