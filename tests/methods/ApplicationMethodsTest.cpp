// Application methods as page script calls them: window.external.CallApplicationMethod in a
// page of the browser stand-in, through the control, to the test host's windows and files.
#include <windows.h>
#include <exdisp.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include <wininet.h>

#include "Wisp_h.h"
#include "common/HostMessages.h"
#include "common/PersistentSettings.h"
#include "common/QDCopyData.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "common/com/Bstr.h"
#include "common/com/ComPtr.h"
#include "common/com/Strings.h"
#include "common/com/Variant.h"
#include "tests/support/BrowserWindows.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ScratchState.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/WispLibrary.h"
#include "tests/support/host/HostApplication.h"

using host::HostApplication;
using host::JsString;
using host::ReceivedMessage;
using testing_support::TraceCapture;

namespace {

const DWORD kLoadTimeout = 10000;

std::string SettingsPath()
{
    std::string path;
    QDUtilities::GetSettingsFilePath(path);
    return path;
}

std::string AppData()
{
    std::string folder;
    QDUtilities::GetSpecialFolder(nullptr, CSIDL_APPDATA, nullptr, 0, folder);
    return folder;
}

class MethodsPage : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(S_OK, testing_support::RegisterWisp()); }

    void SetUp() override
    {
        QDUtilities::EnsureSaveFileDirectoryExists();
        ASSERT_TRUE(Load(m_host));
        m_mark = TraceCapture::Mark();
        m_host.ClearMessages();
    }
    void TearDown() override
    {
        QDUtilities::SetThisApplicationWND(nullptr);
        m_host.Destroy();
        // Every method a case called answered a result kind its table row (and the page
        // reference) names.
        EXPECT_EQ(std::string::npos, TraceCapture::Since(m_mark).find("which its row does not name"))
            << TraceCapture::Since(m_mark);
    }

    static bool Load(HostApplication& host)
    {
        std::wstring url =
            host::FileUrl(host::PathBesideExecutable(L"fixtures\\methods\\methods.htm"));
        if (!host.Create(120, 90) || host.CreateControl() != S_OK || host.InitControl(url) != S_OK)
            return false;
        if (!host.WaitForMessage(RM_DOCUMENT_COMPLETE, kLoadTimeout))
            return false;
        testing_support::PumpMessages(30);
        return true;
    }

    // Runs page script and answers "type:value" of its result.
    std::string Run(const std::string& code) { return m_host.CallPageFunction(L"run", code); }
    std::string App(const std::string& arguments)
    {
        return Run("app().CallApplicationMethod(" + arguments + ")");
    }

    // The method straight through IDispatch::Invoke, for result shapes script cannot tell.
    HRESULT Invoke(const wchar_t* method, VARIANT* result, int argc = 0, const VARIANT* args = nullptr)
    {
        VARIANT v[4];
        for (int i = 0; i < argc; ++i)
            v[argc - 1 - i] = args[i];
        VariantInit(&v[argc]);
        v[argc].vt = VT_BSTR;
        v[argc].bstrVal = SysAllocString(method);
        DISPPARAMS params = {v, nullptr, static_cast<UINT>(argc + 1), 0};
        HRESULT hr = m_host.Control()->Invoke(502, IID_NULL, 0, DISPATCH_METHOD, &params, result, nullptr,
                                               nullptr);
        SysFreeString(v[argc].bstrVal);
        return hr;
    }

    const ReceivedMessage* Last(UINT message) const
    {
        const ReceivedMessage* found = nullptr;
        for (const auto& m : m_host.Messages())
            if (m.message == message)
                found = &m;
        return found;
    }
    const ReceivedMessage* LastData(UINT number) const
    {
        const ReceivedMessage* found = nullptr;
        for (const auto& m : m_host.Messages())
            if (m.message == WM_COPYDATA && m.wParam == number)
                found = &m;
        return found;
    }

    testing_support::FileBackup m_settings{SettingsPath()};
    HostApplication m_host;
    std::size_t m_mark = 0;
};

TEST_F(MethodsPage, NamesMatchExactlyAndUnknownNamesAnswerEmptyWithoutAScriptError)
{
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty("wisp_test_number", 5));
    }
    EXPECT_EQ("number:5", App("'GetPreference', 'wisp_test_number'"));
    EXPECT_EQ("undefined:undefined", App("'getpreference', 'wisp_test_number'"));
    EXPECT_NE(std::string::npos,
              TraceCapture::Since(m_mark).find("CallApplicationMethodDispatch(getpreference) Method not found.\n"));
    // A name the table never had.
    EXPECT_EQ("undefined:undefined", App("'ModalHtmlDialogEx', 'dialog.htm'"));
    // The pop-up rows answer; without a fade window there is nothing to fade.
    EXPECT_EQ("boolean:false", App("'SSShowFadeWindow'"));
    EXPECT_EQ("boolean:true", App("'SSCooldown'"));

    VARIANT result;
    VariantInit(&result);
    result.vt = VT_BSTR;
    result.bstrVal = SysAllocString(L"previous content, freed by the dispatcher");
    EXPECT_EQ(S_OK, Invoke(L"NoSuchMethod", &result));
    EXPECT_EQ(VT_EMPTY, result.vt);
}

TEST_F(MethodsPage, TraceWritesTheTextUnchanged)
{
    App("'TRACE', 'rate 100%s %d done\\n'");
    EXPECT_NE(std::string::npos, TraceCapture::Since(m_mark).find("rate 100%s %d done\n"));
}

TEST_F(MethodsPage, PreferencesFollowTheirStorageRules)
{
    EXPECT_EQ("boolean:true", App("'SetPreference', 'wisp_test_flag', 'false'"));
    EXPECT_EQ("boolean:true", App("'SetPreference', 'wisp_test_zero', '0'"));
    EXPECT_EQ("boolean:true", App("'SetPreference', 'wisp_test_true', 'true'"));
    EXPECT_EQ("boolean:true", App("'SetPreference', 'emailPropertyType.username.1', '12345'"));
    EXPECT_EQ("boolean:true", App("'SetPreference', 'x.emailPropertyType.password.2', '0042'"));
    EXPECT_EQ("boolean:true", App("'SetPreference', 'wisp_test_lead', '42abc'"));
    // A number instead of a string does nothing at all.
    EXPECT_EQ("undefined:undefined", App("'SetPreference', 'wisp_test_numeric', 5"));

    PersistentSettings settings;
    std::string text;
    int number = -1;
    EXPECT_FALSE(settings.GetProperty("wisp_test_flag", number));
    ASSERT_TRUE(settings.GetProperty("wisp_test_flag", text));
    EXPECT_EQ("false", text);
    ASSERT_TRUE(settings.GetProperty("wisp_test_zero", number));
    EXPECT_EQ(0, number);
    ASSERT_TRUE(settings.GetProperty("wisp_test_true", number));
    EXPECT_EQ(1, number);
    EXPECT_FALSE(settings.GetProperty("emailPropertyType.username.1", number));
    ASSERT_TRUE(settings.GetProperty("emailPropertyType.username.1", text));
    EXPECT_EQ("12345", text);
    // Anywhere in the name, and kept as the text it was.
    EXPECT_FALSE(settings.GetProperty("x.emailPropertyType.password.2", number));
    ASSERT_TRUE(settings.GetProperty("x.emailPropertyType.password.2", text));
    EXPECT_EQ("0042", text);
    ASSERT_TRUE(settings.GetProperty("wisp_test_lead", number));
    EXPECT_EQ(42, number);
    EXPECT_FALSE(settings.GetProperty("wisp_test_numeric", text));

    EXPECT_EQ("string:false", App("'GetPreference', 'wisp_test_flag'"));
    EXPECT_EQ("undefined:undefined", App("'GetPreference', 'wisp_test_never_set'"));
}

TEST_F(MethodsPage, APreferenceChangingItsKindKeepsOnlyTheNewOne)
{
    EXPECT_EQ("boolean:true", App("'SetPreference', 'wisp_test_kind', 'true'"));
    EXPECT_EQ("number:1", App("'GetPreference', 'wisp_test_kind'"));
    EXPECT_EQ("boolean:true", App("'SetPreference', 'wisp_test_kind', 'false'"));
    EXPECT_EQ("string:false", App("'GetPreference', 'wisp_test_kind'"));
    EXPECT_EQ("boolean:true", App("'SetPreference', 'wisp_test_kind', '7'"));
    EXPECT_EQ("number:7", App("'GetPreference', 'wisp_test_kind'"));
    PersistentSettings settings;
    std::string text;
    EXPECT_FALSE(settings.GetProperty("wisp_test_kind", text));
}

TEST_F(MethodsPage, NamesTheSettingsFileCannotHoldAreRefusedAndTheOtherEntriesStay)
{
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty("content_directory", std::string("C:\\content")));
        ASSERT_TRUE(settings.SetProperty("emailPropertyType.username.accountType.GMail.0", std::string("someone")));
    }
    for (const char* name : {"a\\'b>c", "a<b", "a>b", "a&b"}) {
        SCOPED_TRACE(name);
        std::size_t mark = TraceCapture::Mark();
        EXPECT_EQ("boolean:false", App(std::string("'SetPreference', '") + name + "', '1'"));
        EXPECT_NE(std::string::npos, TraceCapture::Since(mark).find("ApplicationMethods::SetPreference - refused the name '"));
    }
    // The next save keeps every entry.
    EXPECT_EQ("boolean:true", App("'SetPreference', 'wisp_test_after', '2'"));
    PersistentSettings settings;
    std::string text;
    ASSERT_TRUE(settings.GetProperty("content_directory", text));
    EXPECT_EQ("C:\\content", text);
    ASSERT_TRUE(settings.GetProperty("emailPropertyType.username.accountType.GMail.0", text));
    EXPECT_EQ("someone", text);
    int number = 0;
    ASSERT_TRUE(settings.GetProperty("wisp_test_after", number));
    EXPECT_EQ(2, number);
    std::string file;
    ASSERT_TRUE(QDUtilities::ReadFileIntoString(SettingsPath().c_str(), file));
    EXPECT_EQ(std::string::npos, file.find("a'b"));

    // A file the reader stops in is not rewritten, and the page is told nothing was kept.
    const std::string edited = file.substr(0, file.find("</configdata>")) + "<int propertyID='x' value=3/>\r</configdata>\r";
    ASSERT_TRUE(testing_support::WriteWholeFile(SettingsPath(), edited));
    EXPECT_EQ("boolean:false", App("'SetPreference', 'wisp_test_after', '3'"));
    ASSERT_TRUE(QDUtilities::ReadFileIntoString(SettingsPath().c_str(), file));
    EXPECT_EQ(edited, file);
}

TEST_F(MethodsPage, LayoutPreferencesGoToTheHost)
{
    // Each with its number; a sent one has arrived when the call returns, a posted one only
    // once the queue is pumped. Only the full-screen mode is also stored.
    const struct {
        const char* name;
        UINT message;
        bool posted;
    } layout[] = {
        {"appbar_edge", 0x403, false},    {"appbar_size", 0x404, false},     {"mode_fullscreen", 0x43C, false},
        {"appbar_autohide", 0x405, false}, {"appbar_alwaysontop", 0x406, false}, {"appbar_deskbar", 0x409, true},
        {"appbar_browser", 0x408, true},  {"emailFrequency", 0x429, true},
    };
    for (const auto& setting : layout) {
        SCOPED_TRACE(setting.name);
        const int before = m_host.CountMessages(setting.message);
        const std::string answer = App(std::string("'SetPreference', '") + setting.name + "', '3'");
        EXPECT_EQ(std::strcmp(setting.name, "mode_fullscreen") == 0 ? "boolean:true" : "boolean:false", answer);
        EXPECT_EQ(setting.posted ? before : before + 1, m_host.CountMessages(setting.message));
        ASSERT_TRUE(m_host.WaitForMessage(setting.message, 2000, before));
        EXPECT_EQ(3u, Last(setting.message)->wParam);
    }

    App("'SetPreference', 'appbar_size', '120'");
    const ReceivedMessage* size = Last(RM_SET_APPBAR_SIZE);
    ASSERT_NE(nullptr, size);
    EXPECT_EQ(120u, size->wParam);
    EXPECT_EQ(0, size->lParam);
    {
        PersistentSettings settings;
        int stored = -1;
        std::string text;
        EXPECT_FALSE(settings.GetProperty("appbar_size", stored));
        EXPECT_FALSE(settings.GetProperty("appbar_size", text));
    }

    App("'SetPreference', 'Mode_FullScreen', '1'");
    const ReceivedMessage* full = Last(RM_SET_MODE_FULLSCREEN);
    ASSERT_NE(nullptr, full);
    EXPECT_EQ(1u, full->wParam);
    {
        PersistentSettings settings;
        int stored = 0;
        ASSERT_TRUE(settings.GetProperty("Mode_FullScreen", stored));
        EXPECT_EQ(1, stored);
    }

    const int browserBefore = m_host.CountMessages(RM_SET_APPBAR_BROWSER);
    App("'SetPreference', 'appbar_browser', 'true'");
    ASSERT_TRUE(m_host.WaitForMessage(RM_SET_APPBAR_BROWSER, 2000, browserBefore));
    EXPECT_EQ(1u, Last(RM_SET_APPBAR_BROWSER)->wParam);

    App("'SetPreference', 'headline_transition_speed', '7'");
    const ReceivedMessage* notify = LastData(RM_NOTIFY_CLIENTS);
    ASSERT_NE(nullptr, notify);
    const QD_COPYDATASTRUCT* record = QDCopyDataFromBytes(notify->data.data(), notify->data.size());
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(static_cast<uint32_t>(RM_HEADLINE_SETTING_CHANGED), record->message);
    EXPECT_EQ(0u, record->wParam);
    EXPECT_STREQ("headline_transition_speed", reinterpret_cast<const char*>(record->data));
}

TEST_F(MethodsPage, HostMessagesCarryTheirNumbersParametersAndPayloads)
{
    EXPECT_EQ("number:1", App("'ShowURLInDefaultBrowser', 'http://example.test/a'"));
    const ReceivedMessage* url = LastData(RM_SHOW_URL_IN_DEFAULT_BROWSER);
    ASSERT_NE(nullptr, url);
    EXPECT_EQ(std::string("http://example.test/a", 22), url->data);

    App("'OnNavigate', 'http://example.test/b'");
    ASSERT_NE(nullptr, LastData(RM_ON_NAVIGATE));
    App("'LogUsageData', 'opened'");
    ASSERT_NE(nullptr, LastData(RM_LOG_USAGE_DATA));
    EXPECT_EQ(std::string("opened", 7), LastData(RM_LOG_USAGE_DATA)->data);
    App("'CallMothershipScriptMethod', 'go()'");
    ASSERT_NE(nullptr, LastData(RM_CALL_MOTHERSHIP_SCRIPT_METHOD));

    App("'NotifyCentcom', 1100, 3, 4, 'hi'");
    const ReceivedMessage* centcom = LastData(RM_NOTIFY_CENTCOM);
    ASSERT_NE(nullptr, centcom);
    const QD_COPYDATASTRUCT* record = QDCopyDataFromBytes(centcom->data.data(), centcom->data.size());
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(1100u, record->message);
    EXPECT_EQ(3u, record->wParam);
    EXPECT_EQ(4u, record->lParam);
    EXPECT_EQ(3u, record->cbData);
    EXPECT_STREQ("hi", reinterpret_cast<const char*>(record->data));

    EXPECT_EQ("boolean:true", App("'NotifyTopClientWithData', 1101, 9, 'top'"));
    const ReceivedMessage* top = LastData(RM_NOTIFY_TOP_CLIENT);
    ASSERT_NE(nullptr, top);
    record = QDCopyDataFromBytes(top->data.data(), top->data.size());
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(1101u, record->message);
    EXPECT_EQ(9u, record->wParam);
    EXPECT_STREQ("top", reinterpret_cast<const char*>(record->data));

    App("'SetModalDialogShowing', 1");
    ASSERT_NE(nullptr, Last(RM_SET_MODAL_DIALOG_SHOWING));
    EXPECT_EQ(1u, Last(RM_SET_MODAL_DIALOG_SHOWING)->wParam);
    App("'ForceModalToFront'");
    ASSERT_NE(nullptr, Last(RM_FORCE_MODAL_TO_FRONT));
    EXPECT_EQ(1u, Last(RM_FORCE_MODAL_TO_FRONT)->wParam);
    EXPECT_EQ("boolean:false", App("'ModalDialogShowing'"));
    App("'GetNewData'");
    EXPECT_NE(nullptr, Last(RM_GET_NEW_DATA));
    EXPECT_EQ("number:0", App("'ClearUsageData'"));
    EXPECT_NE(nullptr, Last(RM_CLEAR_USAGE_DATA));
    EXPECT_EQ("number:0", App("'ShowAboutBox'"));
    EXPECT_NE(nullptr, Last(RM_SHOW_ABOUT_BOX));

    App("'Exit'");
    EXPECT_TRUE(m_host.WaitForMessage(RM_EXIT, 2000));
    App("'OpenDefaultBrowser'");
    EXPECT_TRUE(m_host.WaitForMessage(RM_OPEN_DEFAULT_BROWSER, 2000));
}

TEST_F(MethodsPage, ScreenSaverMessagesAreRelayedByTheHostWithoutAScreenSaverWindow)
{
    App("'ExitScreenSaverImmediate'");
    ASSERT_TRUE(m_host.WaitForMessage(RM_RELAY_TO_SCREENSAVER, 2000));
    const ReceivedMessage* relay = Last(RM_RELAY_TO_SCREENSAVER);
    EXPECT_EQ(static_cast<WPARAM>(RM_EXIT_SCREENSAVER_IMMEDIATE), relay->wParam);
    EXPECT_EQ(1, relay->lParam);
    EXPECT_NE(std::string::npos, TraceCapture::Since(m_mark).find("bCloseMothsership = 1\n"));

    m_host.ClearMessages();
    App("'ExitScreenSaverImmediate', false");
    ASSERT_TRUE(m_host.WaitForMessage(RM_RELAY_TO_SCREENSAVER, 2000));
    EXPECT_EQ(0, Last(RM_RELAY_TO_SCREENSAVER)->lParam);

    m_host.ClearMessages();
    App("'ScreenSaverCycledItem'");
    ASSERT_TRUE(m_host.WaitForMessage(RM_RELAY_TO_SCREENSAVER, 2000));
    EXPECT_EQ(static_cast<WPARAM>(RM_SCREENSAVER_CYCLED_ITEM), Last(RM_RELAY_TO_SCREENSAVER)->wParam);
    m_host.ClearMessages();
    App("'ExitScreenSaver'");
    ASSERT_TRUE(m_host.WaitForMessage(RM_RELAY_TO_SCREENSAVER, 2000));
    EXPECT_EQ(static_cast<WPARAM>(RM_EXIT_SCREENSAVER), Last(RM_RELAY_TO_SCREENSAVER)->wParam);
    EXPECT_EQ("boolean:false", App("'IsScreenSaverRunning'"));
}

// The window SetAppHWnd names (the screen saver's, in real use) gets every host message as a
// record instead of the host window.
std::string g_relayed;
UINT g_relayedCount = 0;
LRESULT CALLBACK RelayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == RM_NOTIFY_MOTHERSHIP) {
        ++g_relayedCount;
        g_relayed.assign(reinterpret_cast<const char*>(lParam), wParam);
        return 77;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(MethodsPage, SetAppHWndRoutesHostMessagesToThatWindowAsRecords)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RelayProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "WispMethodsRelayCatcher";
    RegisterClassA(&wc);
    HWND relay = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, relay);

    EXPECT_EQ("number:0",
              App("'SetAppHWnd', " + std::to_string(static_cast<long long>(reinterpret_cast<LONG_PTR>(relay)))));
    g_relayedCount = 0;
    EXPECT_EQ("number:77", App("'ShowURLInDefaultBrowser', 'http://example.test/c'"));
    ASSERT_EQ(1u, g_relayedCount);
    const QD_COPYDATASTRUCT* record = QDCopyDataFromBytes(g_relayed.data(), g_relayed.size());
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(static_cast<uint32_t>(RM_SHOW_URL_IN_DEFAULT_BROWSER), record->message);
    EXPECT_STREQ("http://example.test/c", reinterpret_cast<const char*>(record->data));

    App("'ModalDialogShowing'");
    ASSERT_EQ(2u, g_relayedCount);
    record = QDCopyDataFromBytes(g_relayed.data(), g_relayed.size());
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(static_cast<uint32_t>(RM_MODAL_DIALOG_SHOWING), record->message);
    EXPECT_EQ(nullptr, LastData(RM_SHOW_URL_IN_DEFAULT_BROWSER));
    QDUtilities::SetThisApplicationWND(nullptr);
    DestroyWindow(relay);
}

// The pop-up that hosts a control is the control window's parent: here the host's container,
// watched for the close request.
struct CloseWatch {
    HWND window;
    WNDPROC previous;
    int closes;
};
CloseWatch g_watches[2];

LRESULT CALLBACK WatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    for (CloseWatch& watch : g_watches)
        if (watch.window == window) {
            if (message == RM_CLOSE_POPUP)
                ++watch.closes;
            return CallWindowProcA(watch.previous, window, message, wParam, lParam);
        }
    return DefWindowProcA(window, message, wParam, lParam);
}

CloseWatch& Watch(int slot, HWND window)
{
    CloseWatch& watch = g_watches[slot];
    watch.window = window;
    watch.closes = 0;
    watch.previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchProc)));
    return watch;
}

void Unwatch(CloseWatch& watch)
{
    SetWindowLongPtrA(watch.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(watch.previous));
    watch.window = nullptr;
}

TEST_F(MethodsPage, ClosePopupInItsThreeForms)
{
    ASSERT_EQ(m_host.ContainerWindow(), GetParent(m_host.ControlWindow()));
    CloseWatch& own = Watch(0, m_host.ContainerWindow());
    EXPECT_EQ("number:0", App("'ClosePopup'"));
    EXPECT_TRUE(testing_support::PumpUntil([&] { return own.closes == 1; }, 2000));
    // More than one argument is the plain form too.
    App("'ClosePopup', 1, 2");
    EXPECT_TRUE(testing_support::PumpUntil([&] { return own.closes == 2; }, 2000));

    // Another page's browser: that page's control closes its own pop-up, not this one.
    {
        HostApplication other;
        ASSERT_TRUE(Load(other));
        CloseWatch& theirs = Watch(1, other.ContainerWindow());
        VARIANT browser;
        VariantInit(&browser);
        browser.vt = VT_DISPATCH;
        browser.pdispVal = other.ChildDispatch();
        EXPECT_EQ("number:0", m_host.CallPageFunction(L"closeOther", &browser));
        EXPECT_TRUE(testing_support::PumpUntil([&] { return theirs.closes == 1; }, 2000));
        EXPECT_EQ(2, own.closes);
        Unwatch(theirs);
        other.Destroy();
    }

    VARIANT result, notBrowser;
    VariantInit(&result);
    VariantInit(&notBrowser);
    notBrowser.vt = VT_I4;
    notBrowser.lVal = 3;
    EXPECT_EQ(S_OK, Invoke(L"ClosePopup", &result, 1, &notBrowser));
    EXPECT_EQ(VT_I2, result.vt);
    EXPECT_EQ(0, result.iVal);
    EXPECT_NE(std::string::npos, TraceCapture::Since(m_mark).find(
                                     "AppMethod ClosePopup: Failed getting IWebBrowser2 interface from paramter."));
    testing_support::PumpMessages(30);
    EXPECT_EQ(2, own.closes);
    Unwatch(own);
}

TEST_F(MethodsPage, CacheFilesStayInsideTheCacheFolder)
{
    std::string content = AppData() + "\\WispMethodsContent";
    CreateDirectoryA(content.c_str(), nullptr);
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty("content_directory", content));
    }
    const std::string cache = content + "\\cache";
    std::string expected = cache + "\\a.txt";
    for (char& c : expected)
        if (c == '\\')
            c = '/';
    // JScript sees backslashes in the answer; compare through a form without escapes.
    std::string written = App("'WriteStringToFile', 'alpha', 'a.txt'");
    for (char& c : written)
        if (c == '\\')
            c = '/';
    EXPECT_EQ("string:" + expected, written);
    std::string text;
    ASSERT_TRUE(QDUtilities::ReadFileIntoString((cache + "\\a.txt").c_str(), text));
    EXPECT_EQ("alpha", text);

    for (const char* bad : {"..\\\\x.txt", "c:x.txt", "../x.txt", "a/../../x.txt", "..", "COM1", "nul", "LPT1.txt",
                            "con .log", "Aux.", "CONOUT$"}) {
        std::size_t mark = TraceCapture::Mark();
        EXPECT_EQ("undefined:undefined", App(std::string("'WriteStringToFile', 'evil', '") + bad + "'")) << bad;
        EXPECT_NE(std::string::npos,
                  TraceCapture::Since(mark).find("someone tried to send a path to WriteStringToFile! bad! \n"))
            << bad;
        EXPECT_EQ("undefined:undefined", App(std::string("'DeleteCachefile', '") + bad + "'")) << bad;
    }
    // Names that only begin like a device are plain files.
    EXPECT_NE("undefined:undefined", App("'WriteStringToFile', 'x', 'COM10.txt'"));
    EXPECT_EQ("number:1", App("'DeleteCachefile', 'COM10.txt'"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((content + "\\x.txt").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((AppData() + "\\x.txt").c_str()));
    EXPECT_EQ("string:", App("'GetFileList', 'c:'"));
    EXPECT_EQ("string:", App("'GetFileList', '../txt'"));

    App("'WriteStringToFile', '<b/>', 'b.xml'");
    App("'WriteStringToFile', '<a/>', 'a.xml'");
    // Both full paths, in the file system's order, joined by one ";".
    std::string list = App("'GetFileList', 'xml'");
    const std::string a = cache + "\\a.xml", b = cache + "\\b.xml";
    EXPECT_TRUE(list == "string:" + a + ";" + b || list == "string:" + b + ";" + a) << list;
    EXPECT_EQ("string:", App("'GetFileList', 'none'"));

    EXPECT_EQ("number:1", App("'DeleteCachefile', 'a.xml'"));
    EXPECT_EQ("number:0", App("'DeleteCachefile', 'a.xml'"));
    App("'DeleteCachefile', 'b.xml'");

    EXPECT_EQ("string:", App("'ReadStringFromFile', " + JsString(cache + "\\missing.txt")));
    EXPECT_EQ("string:alpha", App("'ReadStringFromFile', " + JsString(cache + "\\a.txt")));
    EXPECT_EQ("number:1", App("'DeleteCachefile', 'a.txt'"));
}

TEST_F(MethodsPage, UsageResultsSumTheHostLogByName)
{
    const std::string log = AppData() + "\\Quill\\Tidewire\\usagedata.log";
    testing_support::FileBackup backup(log);
    DeleteFileA(log.c_str());
    EXPECT_EQ("string:", App("'GetUsageDataResults'"));
    FILE* file = std::fopen(log.c_str(), "wt");
    ASSERT_NE(nullptr, file);
    std::fputs("opened=2\nopened\n   closed  \n\n", file);
    std::fclose(file);
    EXPECT_EQ("string:=1&closed=1&opened=3", App("'GetUsageDataResults'"));
}

TEST_F(MethodsPage, XslTransformWritesTheInternetZoneMarkAndRefusesBacktracking)
{
    std::string folder = AppData() + "\\WispMethodsXsl";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string xml = folder + "\\in.xml", xsl = folder + "\\style.xsl", out = folder + "\\out.htm";
    FILE* f = std::fopen(xml.c_str(), "wt");
    ASSERT_NE(nullptr, f);
    std::fputs("<?xml version=\"1.0\"?><items><item>first</item></items>", f);
    std::fclose(f);
    f = std::fopen(xsl.c_str(), "wt");
    ASSERT_NE(nullptr, f);
    std::fputs("<?xml version=\"1.0\"?><xsl:stylesheet version=\"1.0\" "
               "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"><xsl:template match=\"/\">"
               "<html><body><xsl:value-of select=\"items/item\"/></body></html></xsl:template></xsl:stylesheet>",
               f);
    std::fclose(f);
    DeleteFileA(out.c_str());
    auto js = [](std::string path) {
        std::string escaped;
        for (char c : path)
            escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
        return "'" + escaped + "'";
    };

    EXPECT_EQ("boolean:true", App("'ApplyXSLTransform', " + js(xml) + ", " + js(xsl) + ", " + js(out)));
    std::string saved;
    ASSERT_TRUE(QDUtilities::ReadFileIntoString(out.c_str(), saved));
    EXPECT_NE(std::string::npos, saved.find("<!-- saved from url=(0014)about:internet-->"));
    EXPECT_LT(saved.find("saved from url"), saved.find("first"));

    const std::string escape = folder + "\\..\\escaped.htm";
    EXPECT_EQ("undefined:undefined", App("'ApplyXSLTransform', " + js(xml) + ", " + js(xsl) + ", " + js(escape)));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((AppData() + "\\escaped.htm").c_str()));

    EXPECT_EQ("boolean:false",
              App("'ApplyXSLTransform', " + js(folder + "\\missing.xml") + ", " + js(xsl) + ", " + js(out)));
    EXPECT_NE(std::string::npos, TraceCapture::Since(m_mark).find("Failed loading source '"));
}

TEST_F(MethodsPage, GeometryAndOriginationDataWithoutShellOrInstaller)
{
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    // A task bar without a notification area, in front of any the prefix has: the corner.
    testing_support::TaskBarStandIn bar;
    ASSERT_TRUE(bar.IsTheOneFound());
    EXPECT_EQ("number:" + std::to_string(width - 40), App("'GetTaskTrayX'"));
    EXPECT_EQ("number:" + std::to_string(height - 20), App("'GetTaskTrayY'"));
    EXPECT_EQ("number:40", App("'GetTaskTrayW'"));
    EXPECT_EQ("number:20", App("'GetTaskTrayH'"));
    const std::string edge = App("'GetTaskBarEdge'");
    ASSERT_EQ(0u, edge.find("number:")) << edge;
    const int edgeNumber = std::stoi(edge.substr(7));
    EXPECT_GE(edgeNumber, 0);
    EXPECT_LE(edgeNumber, 3);
    EXPECT_EQ("number:120", App("'GetWindowWidth'"));
    EXPECT_EQ("number:90", App("'GetWindowHeight'"));
    // The host window is hidden in these tests.
    EXPECT_EQ("boolean:false", App("'IsWindowVisible'"));
    EXPECT_EQ("number:" + std::to_string(static_cast<long long>(reinterpret_cast<LONG_PTR>(m_host.HostWindow()))),
              App("'GetPID'"));

    // Neither installer values nor the host's version component exist in the test prefix.
    std::size_t mark = TraceCapture::Mark();
    EXPECT_EQ("string:\n\n\n", App("'GetClientOriginationData'"));
    std::string trace = TraceCapture::Since(mark);
    EXPECT_NE(std::string::npos, trace.find("GetClientOriginationData - bod is missing.\n"));
    EXPECT_NE(std::string::npos, trace.find("GetClientOriginationData - pcode is missing.\n"));
    EXPECT_NE(std::string::npos, trace.find("Failed creating QDWeb instance. hr=0x"));
}

TEST_F(MethodsPage, PageLocationNameIsTheTitleOfTheGivenBrowsersPage)
{
    HostApplication other;
    ASSERT_TRUE(Load(other));
    VARIANT browser, result;
    VariantInit(&browser);
    VariantInit(&result);
    browser.vt = VT_DISPATCH;
    browser.pdispVal = other.ChildDispatch();
    ASSERT_EQ(S_OK, Invoke(L"GetPageLocationName", &result, 1, &browser));
    ASSERT_EQ(VT_BSTR, result.vt);
    EXPECT_EQ("Application methods", AnsiFromWide(result.bstrVal));
    VariantClear(&result);

    VARIANT notBrowser;
    VariantInit(&notBrowser);
    notBrowser.vt = VT_I4;
    notBrowser.lVal = 7;
    ASSERT_EQ(S_OK, Invoke(L"GetPageLocationName", &result, 1, &notBrowser));
    ASSERT_EQ(VT_BSTR, result.vt);
    EXPECT_EQ(0u, SysStringLen(result.bstrVal));
    VariantClear(&result);
    EXPECT_NE(std::string::npos, TraceCapture::Since(m_mark).find(
                                     "AppMethod GetPageLocationName: Failed getting IWebBrowser2 interface from parameter."));
    other.Destroy();
}

TEST_F(MethodsPage, SettingsBackedAnswersAndTheParentObject)
{
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty("application_directory", std::string("C:\\Program Files\\Tidewire")));
        ASSERT_TRUE(settings.SetProperty("mail_check_results_count", 4));
        ASSERT_TRUE(settings.SetProperty("mail_check_results_new", 1));
    }
    EXPECT_EQ("string:C:\\Program Files\\Tidewire", App("'GetInstallDir'"));
    EXPECT_EQ("number:4", App("'GetEmailUnreadCount'"));
    EXPECT_EQ("boolean:true", App("'GetEmailNewMessages'"));

    // Init was given no parent object.
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(S_OK, Invoke(L"GetParent", &result));
    EXPECT_EQ(VT_EMPTY, result.vt);
}

TEST_F(MethodsPage, ManifestPubDateReadsTheInstalledManifestOfTheContentFolder)
{
    testing_support::ScratchFolder content("wisp-methods-manifest");
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty("content_directory", content.Path()));
    }
    const std::string manifest = content.Path() + "\\manifest.xml";
    EXPECT_EQ("number:0", App("'GetManifestPubDate'"));
    EXPECT_NE(std::string::npos, TraceCapture::Since(m_mark).find("ApplicationMethod::GetManifestPubDate - manifest '" +
                                                                  content.Path() + "/manifest.xml' is not there.\n"));

    ASSERT_TRUE(testing_support::WriteWholeFile(
        manifest, "<?xml version=\"1.0\"?>\n<manifest pubdate=\"20261209\"><update priority=\"1\">"
                  "<component url=\"http://dl.example.com/a.txt\" timestamp=\"3\"/></update></manifest>\n"));
    EXPECT_EQ("number:20261209", App("'GetManifestPubDate'"));

    // Held open without sharing: still there, though it cannot be read.
    {
        HANDLE held = CreateFileA(manifest.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        const std::size_t mark = TraceCapture::Mark();
        EXPECT_EQ("number:0", App("'GetManifestPubDate'"));
        const std::string traced = TraceCapture::Since(mark);
        EXPECT_EQ(std::string::npos, traced.find("is not there")) << traced;
        CloseHandle(held);
    }

    ASSERT_TRUE(testing_support::WriteWholeFile(manifest, "<manifest pubdate=\"5\">"));
    EXPECT_EQ("number:0", App("'GetManifestPubDate'"));
}

// The browser and feed rows: the default browser registered in HKCR (kept and put back), a
// fake Internet Explorer frame with the stand-in, WinINet's cookie, the "feed" keys.
TEST_F(MethodsPage, BrowserAndFeedRowsAnswerFromPageScript)
{
    testing_support::DefaultBrowserRegistration http;
    testing_support::RegistryKeyBackup feed(HKEY_CLASSES_ROOT, "feed");
    testing_support::RegistryKeyBackup handler(HKEY_CLASSES_ROOT, "PROTOCOLS\\Handler\\feed");
    testing_support::RegistryKeyBackup handlerBackup(HKEY_CLASSES_ROOT, "PROTOCOLS\\Handler\\feed_QDBackup");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "feed");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "PROTOCOLS\\Handler\\feed");
    testing_support::ScratchFolder content("wisp-methods-feed");
    std::string folder = testing_support::SelfPath();
    folder.erase(folder.find_last_of('\\'));
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty("application_directory", folder));
        ASSERT_TRUE(settings.SetProperty("content_directory", content.Path()));
        ASSERT_TRUE(settings.SetProperty("check_marigold_default_rss_reader", 0));
    }

    // A 16-bit -1 or 0 for the built-in browser, not a VT_BOOL.
    http.Set("iexplore.exe", "IExplore");
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(S_OK, Invoke(L"IsDefaultBrowserIE", &result));
    EXPECT_EQ(VT_I2, result.vt);
    EXPECT_EQ(-1, result.iVal);
    EXPECT_EQ("number:-1", App("'IsDefaultBrowserIE'"));
    EXPECT_EQ("boolean:false", App("'IsDefaultBrowserOpen'"));
    EXPECT_EQ("boolean:false", App("'ShowQuillDesktopInBrowser', 1"));
    EXPECT_NE(std::string::npos,
              TraceCapture::Since(m_mark).find("CWispControl::ShowQuillDesktopInBrowser(1) - Failed.\n"));
    {
        testing_support::InternetExplorerWindow explorer;
        ASSERT_TRUE(explorer.Navigate(host::FileUrl(host::PathBesideExecutable(L"fixtures\\browser\\page.htm"))));
        EXPECT_EQ("boolean:true", App("'IsDefaultBrowserOpen'"));
        EXPECT_EQ("boolean:true", App("'ShowQuillDesktopInBrowser', 0"));
        Variant show;
        EXPECT_EQ(1, explorer.BrowserBarCalls(nullptr, show.Get()));
        EXPECT_EQ(VARIANT_FALSE, show.Get()->boolVal);
    }

    ASSERT_TRUE(InternetSetCookieA("http://www.tidewire.com/", "TWUser", "id=7; expires=Fri, 31-Dec-2049 23:59:59 GMT"));
    EXPECT_EQ("boolean:true", App("'IsClientLoggedIn'"));
    EXPECT_EQ("boolean:true", App("'DeleteAuthCookie'"));
    EXPECT_EQ("boolean:false", App("'IsClientLoggedIn'"));
    EXPECT_EQ("boolean:false", App("'DeleteAuthCookie'"));
    http.Set("firefox.exe", "Firefox");
    EXPECT_EQ(S_OK, Invoke(L"IsDefaultBrowserIE", &result));
    EXPECT_EQ(VT_I2, result.vt);
    EXPECT_EQ(0, result.iVal);
    EXPECT_EQ("boolean:true", App("'DeleteAuthCookie'"));

    EXPECT_EQ("string:", App("'GetCurrentRSSReader'"));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, "feed\\shell\\open\\command", 0, nullptr, 0,
                                             KEY_SET_VALUE, nullptr, &key, nullptr));
    const char other[] = "\"C:\\Apps\\Reader.exe\" %1";
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(other), sizeof other);
    RegCloseKey(key);
    EXPECT_EQ("string:Reader.exe", App("'GetCurrentRSSReader'"));

    // The question, only while the setting asks for it, owned by the control's window.
    ASSERT_TRUE(testing_support::WriteWholeFile(
        content.Path() + "\\resources.xml",
        "<resources><Yes value='Yes'/><No value='No'/>"
        "<NotDefaultRSSReaderDlgMsg value='Feeds open in %s.'/><NotDefaultRSSReaderDlgCheck value='Ask again'/>"
        "</resources>"));
    EXPECT_EQ("undefined:undefined", App("'TestForFeedHandler'"));
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty("check_marigold_default_rss_reader", 1));
    }
    std::string message;
    HWND owner = nullptr;
    std::string answer = testing_support::DriveModal(
        [&] {
            HWND d = testing_support::WaitForDialog("Tidewire Desktop");
            if (!d)
                return;
            message = testing_support::ItemText(d, 1003);
            owner = GetWindow(d, GW_OWNER);
            testing_support::PressButton(d, IDNO);
        },
        [&] { return App("'TestForFeedHandler'"); });
    EXPECT_EQ("undefined:undefined", answer);
    EXPECT_EQ("Feeds open in Reader.exe.", message);
    EXPECT_EQ(GetAncestor(m_host.ControlWindow(), GA_ROOT), owner);
    EXPECT_EQ("string:Reader.exe", App("'GetCurrentRSSReader'"));

    EXPECT_EQ("undefined:undefined", App("'QDSetAsDefaultRSSReader'"));
    EXPECT_EQ("string:TidewireDesktop.exe", App("'GetCurrentRSSReader'"));
    char command[512] = {};
    DWORD size = sizeof command - 1;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CLASSES_ROOT, "feed\\shell\\open\\command", nullptr, RRF_RT_REG_SZ,
                                          nullptr, command, &size));
    EXPECT_EQ("\"" + folder + "\\TidewireDesktop.exe\" -Feed \"%1\"", std::string(command));
}

// --- which pages may call in ----------------------------------------------------------------

// The page's address as the browser reports it (the refusal line quotes it).
std::string LocationOf(HostApplication& host)
{
    ComPtr<IWebBrowser2> browser;
    Bstr url;
    if (!host.ChildDispatch() || FAILED(host.ChildDispatch()->QueryInterface(IID_IWebBrowser2, browser.PutVoid())) ||
        FAILED(browser->get_LocationURL(url.Put())))
        return {};
    return url.ToAnsi();
}

std::string Refused(const char* method, const std::string& page)
{
    return std::string("CallApplicationMethodDispatch(") + method + ") refused for the page '" + page + "'.\n";
}

bool LoadInto(HostApplication& host, const std::string& url)
{
    const int loads = host.CountMessages(RM_DOCUMENT_COMPLETE);
    Bstr address = Bstr::FromAnsi(url.c_str());
    return host.Control()->LoadHTML(address.Get()) == S_OK && host.WaitForMessage(RM_DOCUMENT_COMPLETE, kLoadTimeout, loads);
}

TEST_F(MethodsPage, APageCallsInFromTheContentFolderButNotFromACopyOutsideIt)
{
    testing_support::ScratchFolder content("trust-content"), outside("trust-outside");
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty(SettingsId::content_directory, content.Path()));
    }
    std::string page;
    ASSERT_TRUE(testing_support::ReadWholeFile(
        AnsiFromWide(host::PathBesideExecutable(L"fixtures\\methods\\methods.htm")), page));
    ASSERT_TRUE(testing_support::WriteWholeFile(content.Path() + "\\page.htm", page));
    ASSERT_TRUE(testing_support::WriteWholeFile(outside.Path() + "\\page.htm", page));

    ASSERT_TRUE(LoadInto(m_host, content.Path() + "\\page.htm"));
    EXPECT_EQ("boolean:true", App("'SetPreference', 'wisp_trust_probe', 'inside'"));
    EXPECT_EQ("string:inside", App("'GetPreference', 'wisp_trust_probe'"));
    // The folder is asked again at every call: moved elsewhere, it no longer vouches for the page.
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty(SettingsId::content_directory, outside.Path()));
    }
    EXPECT_EQ("undefined:undefined", App("'GetPreference', 'wisp_trust_probe'"));
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty(SettingsId::content_directory, content.Path()));
    }

    ASSERT_TRUE(LoadInto(m_host, outside.Path() + "\\page.htm"));
    std::string before, after;
    ASSERT_TRUE(testing_support::ReadWholeFile(SettingsPath(), before));
    const std::size_t mark = TraceCapture::Mark();
    EXPECT_EQ("undefined:undefined", App("'SetPreference', 'wisp_trust_probe', 'outside'"));
    EXPECT_EQ("undefined:undefined", App("'GetPreference', 'wisp_trust_probe'"));
    const std::string traced = TraceCapture::Since(mark);
    EXPECT_NE(std::string::npos, traced.find(Refused("SetPreference", LocationOf(m_host))));
    EXPECT_NE(std::string::npos, traced.find(Refused("GetPreference", LocationOf(m_host))));
    EXPECT_EQ(std::string::npos, traced.find("Method not found"));
    ASSERT_TRUE(testing_support::ReadWholeFile(SettingsPath(), after));
    EXPECT_EQ(before, after);
}

TEST_F(MethodsPage, AServersPageIsRefusedUnlessTheHostChoseIt)
{
    ASSERT_FALSE(testing_support::TestHttpHost().empty()) << "the run gave no HTTP server";
    const std::string page = "<html><head><script>function app() { return window.external; }"
                             "function run(c) { try { var r = eval(c); return typeof(r) + ':' + r; } "
                             "catch (e) { return 'error ' + e.number; } }</script></head><body>web</body></html>";
    const std::string url = testing_support::TestHttpUrl("/respond?type=text/html&body=" + testing_support::UrlEncode(page));

    // A link or a script of the trusted page takes the browser there.
    const int loads = m_host.CountMessages(RM_DOCUMENT_COMPLETE);
    Run("location.href = " + JsString(url));
    ASSERT_TRUE(m_host.WaitForMessage(RM_DOCUMENT_COMPLETE, kLoadTimeout, loads));
    ASSERT_EQ(url, LocationOf(m_host));
    EXPECT_EQ("undefined:undefined", App("'GetWindowWidth'"));
    EXPECT_NE(std::string::npos, TraceCapture::Since(m_mark).find(Refused("GetWindowWidth", url)));

    // The same page as the one a host gave Init answers.
    m_host.Destroy();
    HostApplication chosen;
    ASSERT_TRUE(chosen.Create(120, 90));
    ASSERT_EQ(S_OK, chosen.CreateControl());
    ASSERT_EQ(S_OK, chosen.InitControl(WideFromAnsi(url)));
    ASSERT_TRUE(chosen.WaitForMessage(RM_DOCUMENT_COMPLETE, kLoadTimeout));
    EXPECT_EQ("number:120", chosen.CallPageFunction(L"run", std::string("app().CallApplicationMethod('GetWindowWidth')")));
    chosen.Destroy();
}

}  // namespace
