#include "ScreenSaver/ScreenSaverWindow.h"

#include "ScreenSaver/HostLaunch.h"
#include "ScreenSaver/MessageOrigin.h"
#include "ScreenSaver/PageScript.h"
#include "Wisp_h.h"
#include "common/ControlCreationMutex.h"
#include "common/HostMessages.h"
#include "common/MessageBlock.h"
#include "common/PersistentSettings.h"
#include "common/QDCopyData.h"
#include "common/QDUtilities.h"
#include "common/SentMessageWait.h"
#include "common/TraceLog.h"
#include "common/axhost/AxHost.h"
#include "common/com/Bstr.h"
#include "common/com/ComPtr.h"
#include "common/com/Strings.h"
#include "common/com/Variant.h"
#include "resource.h"

#include <exdisp.h>

#include <cstdint>
#include <cstring>
#include <string>

QDIPC gQDIPCClient;
long g_lMothershipStatus = -1;

namespace {

const char kFullScreenPage[] = "sscontent.htm";
const char kPreviewPage[] = "ss_preview_content.htm";
const std::size_t kContentPathBytes = 260;
const DWORD kRegisterRetryMs = 10000;
const DWORD kRegisterPauseMs = 200;

HINSTANCE g_instance = nullptr;
HWND g_mainWindow = nullptr;
bool g_preview = false;
bool g_runningFlagSet = false;   // this process told the system that a screen saver runs
ComPtr<IWispControl> g_control;
ComPtr<AxHost> g_container;      // hosts the control (or the preview's browser) in the main window

using screensaver::Origin;

// What a message brought, and from where. Payloads unwrapped from WM_COPYDATA are read only
// within their byte count. Other pointers are followed only where this process made them: a
// record that this thread sent, a result block posted here. Anything that another thread sent
// (the pipe's reading thread, another process) carries numbers, not pointers of this process.
struct Incoming {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    const void* data;      // WM_COPYDATA payload, else null
    DWORD dataBytes;
    bool copyData;
    Origin origin;
};

void SetScreenSaverRunning(bool running)
{
    BOOL previous = FALSE;
    SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, running ? TRUE : FALSE, &previous, 0);
    g_runningFlagSet = running;
}

// A path that does not fit the buffer stays empty.
std::string ContentPath(const char* file)
{
    char buffer[kContentPathBytes] = {};
    QDUtilities::MakeContentPath(buffer, file, sizeof buffer);
    return buffer;
}

std::string BoundedText(const void* data, DWORD bytes)
{
    const char* text = static_cast<const char*>(data);
    if (!text)
        return {};
    const void* end = std::memchr(text, '\0', bytes);
    return std::string(text, end ? static_cast<const char*>(end) - text : bytes);
}

// The low 16 bits of a page function's value; 0 when it has no integer value.
unsigned ResultCode(const VARIANT& result)
{
    Variant number;
    if (FAILED(VariantChangeType(number.Get(), const_cast<VARIANT*>(&result), 0, VT_I4)))
        return 0;
    return static_cast<unsigned>(number.Get()->lVal) & 0xFFFF;
}

std::string ResultText(const VARIANT& result)
{
    Variant text;
    if (FAILED(VariantChangeType(text.Get(), const_cast<VARIANT*>(&result), 0, VT_BSTR)) || !text.Get()->bstrVal)
        return {};
    return AnsiFromWide(text.Get()->bstrVal, SysStringLen(text.Get()->bstrVal));
}

LRESULT DefaultProcessing(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (AxHost* host = AxHost::FromWindow(window)) {
        LRESULT result = 0;
        if (host->HandleMessage(message, wParam, lParam, result))
            return result;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void KeepTopmost(HWND window)
{
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

// All monitors.
RECT VirtualScreen()
{
    RECT rect;
    rect.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    rect.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    rect.right = rect.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    rect.bottom = rect.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    return rect;
}

void FitToVirtualScreen(HWND window)
{
    const RECT rect = VirtualScreen();
    SetWindowPos(window, HWND_TOPMOST, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOACTIVATE);
}

void OnKey(WPARAM virtualKey)
{
    if (!screensaver::PageHas(g_control.Get(), L"UserHitScreenSaverKey"))
        return;
    const char key[2] = {static_cast<char>(virtualKey & 0xFF), '\0'};
    Variant argument = Variant::FromBstr(Bstr::FromAnsi(key).Detach());
    Variant result;
    if (FAILED(screensaver::CallPage(g_control.Get(), L"UserHitScreenSaverKey", result.Get(), 1, argument.Get()))) {
        TraceLog("screensaver WndProc:\tCallScriptMethod failed\ton keydown.\t\n");
        return;
    }
    switch (ResultCode(*result.Get())) {
    case 0:
        break;
    case 2:
        TearDown(false);
        break;
    default:
        SwitchToFadeout();
        break;
    }
}

void OnMouseMove()
{
    if (!screensaver::PageHas(g_control.Get(), L"onMouseMove"))
        return;
    if (FAILED(screensaver::CallPage(g_control.Get(), L"onMouseMove")))
        TraceLog("screensaver WndProc:\tCallScriptMethod failed\ton onMouseMove.\t\n");
}

void OnDocumentComplete()
{
    HWND controlWindow = nullptr;
    if (g_control)
        g_control->get_HWND(&controlWindow);
    ShowWindow(g_mainWindow, SW_SHOWNORMAL);
    if (screensaver::PageHas(g_control.Get(), L"QDSetAppHWnd")) {
        Variant window = Variant::FromInt(static_cast<LONG>(reinterpret_cast<LONG_PTR>(g_mainWindow)));
        screensaver::CallPage(g_control.Get(), L"QDSetAppHWnd", nullptr, 1, window.Get());
    }
    if (g_lMothershipStatus > 0 && screensaver::PageHas(g_control.Get(), L"QDMothershipStartedForThisProcess"))
        screensaver::CallPage(g_control.Get(), L"QDMothershipStartedForThisProcess");
}

void ForwardHttpResult(const Incoming& in)
{
    // Only a result block posted within this process goes on to the control, which frees it:
    // a sent or unwrapped 1036, or any other value, is dropped untouched. A result of ours
    // whose origin cannot be told is refused too, and freed.
    UniqueMessageBlock block;
    if (!in.copyData && (in.origin == Origin::Posted || in.origin == Origin::Unknown))
        block = TakeMessageBlock(RM_ASYNC_HTTP_COMPLETE, in.lParam);
    if (!block || in.origin != Origin::Posted) {
        TraceLog("screenSaver::RM_ASYNC_HTTP_COMPLETE - refused a result this process did not post.\n");
        return;
    }
    HWND controlWindow = nullptr;
    if (g_control)
        g_control->get_HWND(&controlWindow);
    if (controlWindow)
        PostMessageBlock(controlWindow, in.wParam, block.release());
}

void OnNewData(const Incoming& in)
{
    TraceLog("ScreenSaver:: RM_NEWDATA_AVAILABLE %X \n",
             static_cast<unsigned>(reinterpret_cast<UINT_PTR>(g_control.Get())));
    if (!screensaver::PageHas(g_control.Get(), L"QDOnNewData")) {
        TraceLog("SceenSaver::RM_NEWDATA_AVAILABLE FAILED! !Exists \n");
        return;
    }
    // The text travels as a payload; a plain message's lParam is no text of this process.
    const std::string text = in.copyData ? BoundedText(in.data, in.dataBytes) : std::string();
    Variant args[2];
    args[0].Get()->vt = VT_UI4;
    args[0].Get()->ulVal = static_cast<ULONG>(in.wParam);
    args[1] = Variant::FromBstr(Bstr::FromAnsi(text.c_str()).Detach());
    static_assert(sizeof(Variant) == sizeof(VARIANT), "Variant arrays are VARIANT arrays");
    HRESULT hr = screensaver::CallPage(g_control.Get(), L"QDOnNewData", nullptr, 2, args[0].Get());
    if (FAILED(hr))
        TraceLog("ScreenSaver::RM_NEWDATA_AVAILABLE - CallScriptMethod(QDOnNewData) failed! hr=0x%X\n",
                 static_cast<unsigned>(hr));
    else
        TraceLog("ScreenSaver::RM_NEWDATA_AVAILABLE - CallScriptMethod(QDOnNewData) SUCCEEDED! hr=0x%X\n",
                 static_cast<unsigned>(hr));
}

void RelayToHost(const Incoming& in)
{
    const QD_COPYDATASTRUCT* record = nullptr;
    // Wisp sends its record from this thread with the record's size in wParam; a record that
    // arrived as a payload is bounded by the payload.
    if (in.copyData)
        record = QDCopyDataFromBytes(in.data, in.dataBytes);
    else if (in.origin == Origin::ThisThread)
        record = QDCopyDataFromBytes(reinterpret_cast<const void*>(in.lParam), in.wParam);
    if (!record) {
        TraceLog("screenSaver::RM_NOTIFY_MOTHERSHIP - refused a record that is not this process's or is cut short.\n");
        return;
    }
    if (record->cbData > 0)
        gQDIPCClient.PostDataMessage(record->message, record->cbData, record->data);
    else
        gQDIPCClient.PostMessage(record->message, record->wParam,
                                 static_cast<LPARAM>(static_cast<int32_t>(record->lParam)));
}

// The table of the screen saver's messages. Results of an unwrapped WM_COPYDATA that the table
// does not handle are 0: its payload pointer is never handed on as another message's lParam.
LRESULT HandleMessage(HWND window, const Incoming& in, UINT rawMessage, LPARAM rawLParam)
{
    const auto byDefault = [&]() -> LRESULT {
        return in.copyData ? 0 : DefaultProcessing(window, in.message, in.wParam, in.lParam);
    };
    switch (in.message) {
    case WM_ACTIVATE:
    case WM_ACTIVATEAPP:
    case WM_NCACTIVATE:
        if (g_preview)
            return byDefault();
        KeepTopmost(window);
        if (in.wParam == 0) {
            SetForegroundWindow(window);
            SetFocus(window);
            return 1;
        }
        return byDefault();
    case WM_CLOSE:
        TearDown(false);
        return 0;
    case WM_WINDOWPOSCHANGED:
        KeepTopmost(window);
        // The default processing sends the WM_SIZE that makes the control follow the window.
        return byDefault();
    case WM_DISPLAYCHANGE:
        // A new resolution or another monitor: the window covers the virtual screen again.
        if (!g_preview && !in.copyData)
            FitToVirtualScreen(window);
        return byDefault();
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (!g_preview && g_control)
            OnKey(in.wParam);
        return 0;
    case WM_TIMER:
        if (in.wParam == kTearDownTimer)
            TearDown(false);
        return 0;
    case WM_SYSCOMMAND:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        return 0;
    case WM_MOUSEMOVE:
        if (g_preview)
            return byDefault();
        if (g_control)
            OnMouseMove();
        return 0;
    case RM_EXIT:
    case RM_EXIT_SCREENSAVER_IMMEDIATE:
        TraceLog("screenSaver::RM_EXIT_SCREENSAVER_IMMEDIATE\n");
        TearDown(in.lParam != 0);
        return 1;
    case RM_DOCUMENT_COMPLETE:
        OnDocumentComplete();
        return 0;
    case RM_ASYNC_HTTP_COMPLETE:
        ForwardHttpResult(in);
        return 1;
    case RM_EXIT_SCREENSAVER:
        TraceLog("screenSaver::RM_EXIT_SCREENSAVER\n");
        if (g_lMothershipStatus == 0)
            SwitchToFadeout();
        return 1;
    case RM_SCREENSAVER_CYCLED_ITEM:
        ReportCurrentStory();
        return 1;
    case RM_NEWDATA_AVAILABLE:
        if (g_control)
            OnNewData(in);
        return 0;
    case RM_NOTIFY_MOTHERSHIP:
        if (in.lParam)
            RelayToHost(in);
        return 0;
    case WM_DESTROY: {
        if (in.copyData)
            return 0;
        const LRESULT result = DefaultProcessing(window, rawMessage, in.wParam, rawLParam);
        // Also when the preview's parent destroys this window without closing it first.
        PostQuitMessage(0);
        return result;
    }
    case WM_NCDESTROY:
        if (in.copyData)
            return 0;
        if (window == g_mainWindow)
            g_mainWindow = nullptr;
        return DefaultProcessing(window, rawMessage, in.wParam, rawLParam);
    default:
        return byDefault();
    }
}

bool RegisterWithHost()
{
    DWORD result = gQDIPCClient.Register(g_mainWindow, false);
    TraceLog("screenSaver::InitInstance() gQDIPCClient.Register lresult = %d.\n", static_cast<int>(result));
    if (result == 0) {
        TraceLog("screenSaver::InitInstance() - Successfully registered window with QuillDesktop\n");
        return true;
    }
    TraceLog("screenSaver::InitInstance() - Failed registering window with QuillDesktop, waiting to see if QD "
             "needs launching\n");
    const DWORD deadline = GetTickCount() + kRegisterRetryMs;
    for (;;) {
        if (static_cast<LONG>(GetTickCount() - deadline) >= 0) {
            TraceLog("screenSaver::InitInstance() - Failed registering window with QuillDesktop, need to quit now\n");
            PostQuitMessage(0);
            return false;
        }
        WaitAnsweringSentMessages(nullptr, kRegisterPauseMs);
        if (gQDIPCClient.Register(g_mainWindow, false) == 0)
            return true;
    }
}

bool CreateMainWindow(HWND parent)
{
    RECT rect = {};
    DWORD style = 0;
    if (parent) {
        GetClientRect(parent, &rect);
        g_preview = true;
        style = WS_CHILD | WS_VISIBLE;
    } else {
        // A second full-screen instance would read the same pipe end and split its records.
        if (FindWindowA(SCREENSAVER_WINDOW_CLASS, SCREENSAVER_WINDOW_TITLE)) {
            TraceLog("screenSaver::InitInstance() - a full-screen screen saver already runs, leaving.\n");
            return false;
        }
        SetScreenSaverRunning(true);
        rect = VirtualScreen();
        g_lMothershipStatus = QDUtilities::EnsureQuillDesktopMothershipIsRunning(true);
        TraceLog("screenSaver::InitInstance() g_lMotherhipStatus = %d.\n", static_cast<int>(g_lMothershipStatus));
        style = WS_POPUP | WS_VISIBLE;
    }
    g_mainWindow = CreateWindowExA(WS_EX_TOPMOST, SCREENSAVER_WINDOW_CLASS, SCREENSAVER_WINDOW_TITLE, style, rect.left,
                                   rect.top, rect.right - rect.left, rect.bottom - rect.top, parent, nullptr,
                                   g_instance, nullptr);
    if (!g_mainWindow) {
        TraceLog("screenSaver::InitInstance() - Failed\tcreating window.\n");
        return false;
    }
    if (!screensaver::WatchMessageOrigins(g_mainWindow))
        TraceLog("screenSaver::InitInstance() - Failed watching message origins, pointers in messages are refused. "
                 "LastError = %d\n",
                 static_cast<int>(GetLastError()));
    return true;
}

void LoadSettings()
{
    PersistentSettings settings;
    if (settings.Load()) {
        TraceLog("screenSaver::InitInstance() - Settings loaded.\n");
        return;
    }
    TraceLog("screenSaver::InitInstance() - Failed\treading\tsettings file, using defaults.\n");
    if (!settings.Save())
        TraceLog("screenSaver::InitInstance() - Failed\tto save\tdefault\tsettings.\n");
}

bool ShowPreviewPage()
{
    const std::wstring path = WideFromAnsi(ContentPath(kPreviewPage));
    HRESULT hr = g_container->CreateControl(path.c_str(), nullptr, nullptr, DIID_DWebBrowserEvents2);
    if (FAILED(hr)) {
        TraceLog("screenSaver::InitInstance() - Failed\tinstantiating Wisp control.\t hr=0X%X\n",
                 static_cast<unsigned>(hr));
        return false;
    }
    return true;
}

bool CreateWispControl()
{
    HRESULT hr = S_OK;
    {
        // Released on failure too: other processes need not sit out the lock's time-out.
        ControlCreationLock lock("screenSaver::InitInstance() - WaitForSingleObject timed out.\n", true);
        hr = g_container->CreateControl(L"Wisp.WispControl");
        lock.Release();
    }
    if (FAILED(hr)) {
        TraceLog("screenSaver::InitInstance() - Failed\tinstantiating Wisp control.\t hr=0X%X\n",
                 static_cast<unsigned>(hr));
        return false;
    }
    if (FAILED(g_container->QueryControl(IID_IWispControl, g_control.PutVoid()))) {
        TraceLog("screenSaver::InitInstance()e - failed\tgetting\tIWispControl interface.\n");
        return false;
    }
    const std::string path = ContentPath(kFullScreenPage);
    TraceLog("screenSaver::InitInstance() - Loading content...\n");
    Bstr url = Bstr::FromAnsi(path.c_str());
    hr = g_control->Init(url.Get(), g_mainWindow, nullptr, nullptr);
    if (FAILED(hr)) {
        TraceLog("screenSaver::InitInstance() - Failed\tinitializing Wisp control.\thr=0X%X\n", static_cast<unsigned>(hr));
        return false;
    }
    return true;
}

bool StartUp(HWND parent)
{
    if (!CreateMainWindow(parent))
        return false;
    LoadSettings();
    g_container = MakeComObject<AxHost>();
    g_container->Attach(g_mainWindow);
    if (g_preview)
        return ShowPreviewPage();
    if (!RegisterWithHost())
        return false;
    if (!CreateWispControl())
        return false;
    if (g_lMothershipStatus == 0) {
        TraceLog("screenSaver::InitInstance() - Mothership was already running - get the little ss exit window "
                 "ready.\n");
        gQDIPCClient.PostMessage(RM_PREPARE_EXIT_WINDOW, 0, 0);
    }
    return true;
}

}  // namespace

bool RegisterScreenSaverClass(HINSTANCE instance)
{
    WNDCLASSEXA wc = {sizeof wc};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = ScreenSaverWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_TIDEWIRE));
    wc.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_TIDEWIRE_SMALL));
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = SCREENSAVER_WINDOW_CLASS;
    return RegisterClassExA(&wc) != 0;
}

bool InitInstance(HINSTANCE instance, int, HWND parent)
{
    g_instance = instance;
    const bool started = StartUp(parent);
    // A start that fails does not leave the system believing that a screen saver runs.
    if (!started && g_runningFlagSet)
        SetScreenSaverRunning(false);
    return started;
}

LRESULT CALLBACK ScreenSaverWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        Incoming in = {message, wParam, lParam, nullptr, 0, false,
                       screensaver::MessageOriginOf(window, message, wParam, lParam)};
        if (message == WM_COPYDATA) {
            const COPYDATASTRUCT* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            // Only a sent WM_COPYDATA carries a COPYDATASTRUCT that the system or the pipe
            // channel made for this process.
            if (!copy)
                return 0;
            if (in.origin == Origin::Posted) {
                TraceLog("screenSaver::ScreenSaverWndProc - refused a posted WM_COPYDATA.\n");
                return 0;
            }
            if (in.origin == Origin::Unknown) {
                TraceLog("screenSaver::ScreenSaverWndProc - refused a WM_COPYDATA whose origin cannot be told.\n");
                return 0;
            }
            in.message = static_cast<UINT>(copy->dwData);
            in.lParam = reinterpret_cast<LPARAM>(copy->lpData);
            in.data = copy->lpData;
            in.dataBytes = copy->lpData ? copy->cbData : 0;
            in.copyData = true;
        }
        return HandleMessage(window, in, message, lParam);
    } catch (...) {
        TraceLog("screenSaver::ScreenSaverWndProc - Exception caught! LastError = %d\n", static_cast<int>(GetLastError()));
        return 0;
    }
}

void TearDown(bool bCloseMothership)
{
    TraceLog("screenSaver::TearDown(bCloseMothership = %d)\n", bCloseMothership ? 1 : 0);
    if (g_mainWindow)
        ShowWindow(g_mainWindow, SW_HIDE);
    if (bCloseMothership) {
        TraceLog("    Closing mothership down also.\n");
        gQDIPCClient.PostMessage(RM_EXIT, 0, 0);
    } else {
        TraceLog("    Leaving Mothership running.\n");
    }
    gQDIPCClient.UnRegister();
    // A preview set neither: a full-screen saver may be running beside it.
    if (!g_preview)
        ShowCursor(TRUE);
    if (g_runningFlagSet)
        SetScreenSaverRunning(false);
    PostQuitMessage(0);
}

void SwitchToFadeout()
{
    TraceLog("screenSaver::SwitchToFadeout() g_lMothershipStatus = %d\n", static_cast<int>(g_lMothershipStatus));
    if (!g_preview && !QDUtilities::IsScreenSaverSecure())
        gQDIPCClient.PostMessage(RM_SHOW_FADE_WINDOW, 0, 0);
    TearDown(g_lMothershipStatus != 0);
}

void ReportCurrentStory()
{
    if (g_preview || g_lMothershipStatus != 0)
        return;
    if (!screensaver::PageHas(g_control.Get(), L"GetCurrentStory"))
        return;
    Variant result;
    if (FAILED(screensaver::CallPage(g_control.Get(), L"GetCurrentStory", result.Get()))) {
        TraceLog("screensaver CallScriptMethod failed on GetCurrentStory \n");
        return;
    }
    const std::string story = ResultText(*result.Get());
    QDUtilities::WriteStoryFile(story);
    gQDIPCClient.PostDataMessage(RM_CURRENT_STORY, static_cast<DWORD>(story.size()), story.data());
}

void ShutDown()
{
    gQDIPCClient.UnRegister();
    if (g_control) {
        g_control->UnInit();
        g_control = nullptr;
    }
    // The hosting window holds the control's last reference: it goes before COM does.
    if (g_mainWindow)
        DestroyWindow(g_mainWindow);
    if (g_container) {
        g_container->Detach();
        g_container = nullptr;
    }
    screensaver::StopWatchingMessageOrigins();
    if (g_runningFlagSet)
        SetScreenSaverRunning(false);
}
