#include "tests/windows/PopupSupport.h"

#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/com/Handle.h"
#include "common/com/Strings.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/WispLibrary.h"

using testing_support::TraceCapture;

namespace popups {

namespace {

std::string SettingsPath()
{
    std::string path;
    QDUtilities::GetSettingsFilePath(path);
    return path;
}

}  // namespace

namespace {

struct ClassSearch {
    const char* name;
    std::vector<HWND> found;
};

// A window callback is stdcall in 32-bit code, which a lambda is not.
BOOL CALLBACK CollectOfClass(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<ClassSearch*>(param);
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpA(name, search->name) == 0)
        search->found.push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> WindowsOf(const char* windowClass)
{
    ClassSearch search = {windowClass, {}};
    EnumThreadWindows(GetCurrentThreadId(), CollectOfClass, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string FixturePath(const char* name)
{
    return AnsiFromWide(host::PathBesideExecutable(L"fixtures\\windows\\")) + name;
}

std::string PageUrl(const char* name, const std::string& query)
{
    return host::JsString(AnsiFromWide(host::FileUrl(WideFromAnsi(FixturePath(name)))) + query);
}

bool HasRegion(HWND window)
{
    UniqueGdiObject region(CreateRectRgn(0, 0, 0, 0));
    return GetWindowRgn(window, static_cast<HRGN>(region.Get())) != ERROR;
}

bool InRegion(HWND window, int x, int y)
{
    UniqueGdiObject region(CreateRectRgn(0, 0, 0, 0));
    if (GetWindowRgn(window, static_cast<HRGN>(region.Get())) == ERROR)
        return false;
    return PtInRegion(static_cast<HRGN>(region.Get()), x, y) != FALSE;
}

int Alpha(HWND window)
{
    BYTE alpha = 0;
    COLORREF key = 0;
    DWORD flags = 0;
    if (!GetLayeredWindowAttributes(window, &key, &alpha, &flags))
        return -1;
    return alpha;
}

RECT WindowRect(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

HWND WaitForVisible(const char* windowClass, DWORD timeoutMs)
{
    HWND found = nullptr;
    testing_support::PumpUntil(
        [&] {
            found = FindWindowA(windowClass, nullptr);
            return found && IsWindowVisible(found);
        },
        timeoutMs);
    return found && IsWindowVisible(found) ? found : nullptr;
}

bool WaitForGone(HWND window, DWORD timeoutMs)
{
    return testing_support::PumpUntil([&] { return !IsWindow(window); }, timeoutMs);
}

void DestroyAll(const char* windowClass)
{
    while (HWND window = FindWindowA(windowClass, nullptr)) {
        if (!DestroyWindow(window))
            break;
    }
}

PopupPage::PopupPage() : m_settings(SettingsPath()) {}

void PopupPage::SetUpTestSuite()
{
    ASSERT_EQ(S_OK, testing_support::RegisterWisp());
}

void PopupPage::SetUp()
{
    QDUtilities::EnsureSaveFileDirectoryExists();
    {
        PersistentSettings settings;
        std::string folder = FixturePath("");
        folder.pop_back();
        ASSERT_TRUE(settings.SetProperty("content_directory", folder));
    }
    // Away from where any window of the suites opens.
    SetCursorPos(640, 5);
    ASSERT_TRUE(m_host.OpenPage(L"fixtures\\windows\\popups.htm", 320, 200, true));
    testing_support::PumpMessages(30);
    m_mark = TraceCapture::Mark();
}

void PopupPage::TearDown()
{
    DestroyAll("WispPopupWindow");
    DestroyAll("WispBalloonWindow");
    m_host.Destroy();
    testing_support::PumpMessages(30);
}

std::string PopupPage::Traced() const
{
    return TraceCapture::Since(m_mark);
}

bool PopupPage::WaitForTrace(const std::string& needle, DWORD timeoutMs) const
{
    return TraceCapture::WaitFor(needle, m_mark, timeoutMs);
}

POINT PopupPage::ControlOrigin() const
{
    POINT origin = {0, 0};
    ClientToScreen(m_host.ControlWindow(), &origin);
    return origin;
}

}  // namespace popups
