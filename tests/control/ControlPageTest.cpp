// The control with a loaded page (the browser stand-in plays the WebBrowser): window.external,
// script calls by name, the script events, the width event, context menus and shutdown.
#include <windows.h>
#include <exdisp.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>

#include "BrowserStandIn.h"
#include "Wisp_h.h"
#include "Wisp/mail/EmailVerifyRequest.h"
#include "common/HostMessages.h"
#include "common/MessageBlock.h"
#include "common/com/Bstr.h"
#include "common/com/ComObject.h"
#include "common/com/Handle.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/WispLibrary.h"
#include "tests/support/host/HostApplication.h"

using host::HostApplication;
using testing_support::TraceCapture;

namespace {

const DWORD kLoadTimeout = 10000;

std::wstring PageUrl(const wchar_t* page)
{
    return host::FileUrl(host::PathBesideExecutable((std::wstring(L"fixtures\\control\\") + page).c_str()));
}

// The library's own answer to whether any of its objects is still alive.
HRESULT WispCanUnloadNow()
{
    using Entry = HRESULT(STDAPICALLTYPE*)();
    HMODULE wisp = LoadLibraryW(testing_support::WispPath().c_str());
    if (!wisp)
        return E_UNEXPECTED;
    auto canUnload = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(wisp, "DllCanUnloadNow")));
    const HRESULT hr = canUnload ? canUnload() : E_UNEXPECTED;
    FreeLibrary(wisp);
    return hr;
}

// The connection a browser keeps for its first event sink (the stand-in numbers them from 1):
// S_OK while it is there, CONNECT_E_NOCONNECTION once it has gone.
HRESULT UnadviseFirstSink(IDispatch* browser)
{
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    HRESULT hr = browser->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
    if (SUCCEEDED(hr))
        hr = container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put());
    return SUCCEEDED(hr) ? point->Unadvise(1) : hr;
}

// The least a container offers for in-place activation. It never closes the control: its last
// reference simply goes, as some containers do it.
class BareSite : public ComObject<BareSite>, public IOleClientSite, public IOleInPlaceSite {
public:
    WISP_COM_INTERFACES(BareSite, WISP_COM_ENTRY(IOleClientSite) WISP_COM_ENTRY_IID(IID_IOleWindow, IOleInPlaceSite)
                                      WISP_COM_ENTRY(IOleInPlaceSite))
    WISP_IUNKNOWN_FORWARD()
    explicit BareSite(HWND window) : m_window(window) {}

    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override
    {
        *moniker = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** container) override
    {
        *container = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
    STDMETHODIMP GetWindow(HWND* window) override
    {
        *window = m_window;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO) override
    {
        *frame = nullptr;
        *document = nullptr;
        GetClientRect(m_window, position);
        *clip = *position;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

private:
    HWND m_window;
};

class ControlWithPage : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(S_OK, testing_support::RegisterWisp()); }
    void SetUp() override
    {
        ASSERT_TRUE(m_host.Create(100, 80));
        ASSERT_EQ(S_OK, m_host.CreateControl());
        m_mark = TraceCapture::Mark();
    }
    void TearDown() override { m_host.Destroy(); }

    void Load(const wchar_t* page)
    {
        ASSERT_EQ(S_OK, m_host.InitControl(PageUrl(page)));
        ASSERT_TRUE(m_host.WaitForMessage(RM_DOCUMENT_COMPLETE, kLoadTimeout));
        testing_support::PumpMessages(50);
    }

    // A page variable, read through the page's read(name) function.
    std::wstring Read(const wchar_t* name)
    {
        VARIANT arg, result;
        VariantInit(&arg);
        VariantInit(&result);
        arg.vt = VT_BSTR;
        arg.bstrVal = SysAllocString(name);
        Bstr method(L"read");
        HRESULT hr = m_host.Control()->CallScriptMethod(method.Get(), &result, 1, &arg);
        VariantClear(&arg);
        std::wstring text = L"<call failed>";
        if (SUCCEEDED(hr) && SUCCEEDED(VariantChangeType(&result, &result, 0, VT_BSTR)))
            text.assign(result.bstrVal, SysStringLen(result.bstrVal));
        VariantClear(&result);
        return text;
    }

    ComPtr<IBrowserStandInTest> StandIn()
    {
        ComPtr<IBrowserStandInTest> test;
        if (m_host.ChildDispatch())
            m_host.ChildDispatch()->QueryInterface(IID_IBrowserStandInTest, test.PutVoid());
        return test;
    }

    HostApplication m_host;
    std::size_t m_mark = 0;
};

TEST_F(ControlWithPage, InitHostsTheBrowserAndPostsDocumentCompleteToTheNotifyWindow)
{
    Load(L"events.htm");
    ASSERT_NE(nullptr, m_host.ChildDispatch());
    ComPtr<IWebBrowser2> browser;
    EXPECT_EQ(S_OK, m_host.ChildDispatch()->QueryInterface(IID_IWebBrowser2, browser.PutVoid()));
    const host::ReceivedMessage* complete = nullptr;
    for (const auto& m : m_host.Messages())
        if (m.message == RM_DOCUMENT_COMPLETE)
            complete = &m;
    ASSERT_NE(nullptr, complete);
    EXPECT_EQ(0u, complete->wParam);
    EXPECT_EQ(0, complete->lParam);
    std::string text = TraceCapture::Since(m_mark);
    EXPECT_NE(std::string::npos, text.find("  CWispControl::Init(url='file:"));
    EXPECT_NE(std::string::npos, text.find(": CWispControl::Invoke - DISPID_DOCUMENTCOMPLETE\n"));
    EXPECT_NE(std::string::npos, text.find(": CWispControl::OnDocumentComplete\n"));
}

TEST_F(ControlWithPage, PageScriptReachesTheMethodDispatchButNoProperty)
{
    Load(L"events.htm");
    EXPECT_NE(std::string::npos, TraceCapture::Since(m_mark).find("CallApplicationMethodDispatch(X) Method not found.\n"));
    // DISP_E_MEMBERNOTFOUND as the script engine reports it.
    EXPECT_EQ(L"error -2147352573", Read(L"border"));
}

TEST_F(ControlWithPage, CallScriptMethodLendsItsArgumentsOnlyToAFunctionThatExists)
{
    Load(L"events.htm");
    IWispControl* control = m_host.Control();
    VARIANT args[2], result;
    for (VARIANT& v : args)
        VariantInit(&v);
    VariantInit(&result);
    args[0].vt = VT_BSTR;
    args[0].bstrVal = SysAllocString(L"left");
    args[1].vt = VT_I4;
    args[1].lVal = 5;
    BSTR original = args[0].bstrVal;
    result.vt = VT_I4;
    result.lVal = 77;

    Bstr echo(L"echo");
    ASSERT_EQ(S_OK, control->CallScriptMethod(echo.Get(), &result, 2, args));
    EXPECT_EQ(VT_BSTR, args[0].vt);
    EXPECT_EQ(original, args[0].bstrVal);
    EXPECT_EQ(VT_I4, args[1].vt);
    EXPECT_EQ(5, args[1].lVal);
    ASSERT_EQ(VT_BSTR, result.vt);
    EXPECT_STREQ(L"left+5", result.bstrVal);
    VariantClear(&result);
    EXPECT_EQ(L"1", Read(L"calls"));

    // A missing function: E_FAIL, the page untouched, the caller's VARIANTs taken and emptied.
    result.vt = VT_BSTR;
    result.bstrVal = SysAllocString(L"old");
    Bstr missing(L"noSuchFunction");
    EXPECT_EQ(E_FAIL, control->CallScriptMethod(missing.Get(), &result, 2, args));
    EXPECT_EQ(VT_EMPTY, result.vt);
    EXPECT_EQ(VT_EMPTY, args[0].vt);
    EXPECT_EQ(VT_EMPTY, args[1].vt);
    EXPECT_EQ(L"1", Read(L"calls"));

    // A function that throws: E_FAIL with the failure traced; the arguments come back.
    args[0].vt = VT_I4;
    args[0].lVal = 9;
    Bstr thrower(L"thrower");
    std::size_t mark = TraceCapture::Mark();
    EXPECT_EQ(E_FAIL, control->CallScriptMethod(thrower.Get(), nullptr, 1, args));
    EXPECT_EQ(VT_I4, args[0].vt);
    EXPECT_EQ(9, args[0].lVal);
    EXPECT_NE(std::string::npos, TraceCapture::Since(mark).find("CWispControl::CallScriptMethod - failed calling 'thrower'\n"));
}

TEST_F(ControlWithPage, ScriptMethodExistsAnswersFalseForMissingNamesWithSuccess)
{
    Load(L"events.htm");
    VARIANT_BOOL exists = VARIANT_TRUE;
    Bstr missing(L"noSuchFunction"), present(L"echo");
    EXPECT_EQ(S_OK, m_host.Control()->ScriptMethodExists(missing.Get(), &exists));
    EXPECT_EQ(VARIANT_FALSE, exists);
    EXPECT_EQ(S_OK, m_host.Control()->ScriptMethodExists(present.Get(), &exists));
    EXPECT_EQ(VARIANT_TRUE, exists);
    EXPECT_EQ(E_POINTER, m_host.Control()->ScriptMethodExists(present.Get(), nullptr));
}

TEST_F(ControlWithPage, HostMessagesRaiseThePageEvents)
{
    Load(L"events.htm");
    std::size_t mark = TraceCapture::Mark();
    m_host.SendToControl(RM_DESKTOP_LOADED);
    m_host.SendToControl(RM_NEW_CONTENT_AVAILABLE);
    m_host.SendToControl(RM_NEW_DESKTOP_INSTANCE);
    m_host.SendToControl(RM_DEFAULT_BROWSER_NAVIGATE_COMPLETE);
    EXPECT_EQ(L"loaded;content;instance;browser;", Read(L"events"));
    std::string text = TraceCapture::Since(mark);
    EXPECT_NE(std::string::npos, text.find("WispControl::OnNewContentAvailable\n"));
    EXPECT_EQ(std::string::npos, text.find("failed"));
}

TEST_F(ControlWithPage, APageWithoutEventFunctionsIsSkippedSilently)
{
    Load(L"plain.htm");
    std::size_t mark = TraceCapture::Mark();
    m_host.SendToControl(RM_DESKTOP_LOADED);
    m_host.SendToControl(RM_NEW_DESKTOP_INSTANCE);
    m_host.SendToControl(RM_DEFAULT_BROWSER_NAVIGATE_COMPLETE);
    EXPECT_EQ("", TraceCapture::Since(mark));
    EXPECT_EQ(L"plain", Read(L"loaded"));
}

TEST_F(ControlWithPage, TheWidthEventReportsTheWidthLessSixOnlyOnceTheDocumentIsComplete)
{
    ASSERT_EQ(S_OK, m_host.InitControl(PageUrl(L"events.htm")));
    // Before the first DocumentComplete a resize tells the page nothing.
    m_host.ResizeContainer(150, 80);
    ASSERT_TRUE(m_host.WaitForMessage(RM_DOCUMENT_COMPLETE, kLoadTimeout));
    testing_support::PumpMessages(50);
    EXPECT_EQ(L"144;", Read(L"widths"));
    m_host.ResizeContainer(100, 80);
    EXPECT_EQ(L"144;94;", Read(L"widths"));
    m_host.ResizeContainer(0, 80);
    EXPECT_EQ(L"144;94;", Read(L"widths"));
}

TEST_F(ControlWithPage, EveryFramesDocumentCompletePostsAndResendsTheWidth)
{
    Load(L"framed.htm");
    testing_support::PumpMessages(100);
    EXPECT_EQ(2, m_host.CountMessages(RM_DOCUMENT_COMPLETE));
    EXPECT_EQ(L"94;94;", Read(L"widths"));
}

TEST_F(ControlWithPage, EditFieldsKeepTheDefaultContextMenuEverythingElseShowsNone)
{
    Load(L"events.htm");
    ComPtr<IBrowserStandInTest> test = StandIn();
    ASSERT_TRUE(test);
    HRESULT answer = E_UNEXPECTED;
    BOOL defaultMenu = FALSE;
    ASSERT_EQ(S_OK, test->SimulateContextMenu(2, L"field", &answer, &defaultMenu));
    EXPECT_TRUE(defaultMenu);
    ASSERT_EQ(S_OK, test->SimulateContextMenu(0, nullptr, &answer, &defaultMenu));
    EXPECT_EQ(S_OK, answer);
    EXPECT_FALSE(defaultMenu);
    ASSERT_EQ(S_OK, test->SimulateContextMenu(4, nullptr, &answer, &defaultMenu));
    EXPECT_FALSE(defaultMenu);
    std::string text = TraceCapture::Since(m_mark);
    EXPECT_NE(std::string::npos, text.find("IWispControl - ShowContextMenu, MenuID id=2\n"));
    EXPECT_NE(std::string::npos, text.find("IWispControl - ShowContextMenu, MenuID id=0\n"));
}

TEST_F(ControlWithPage, AnHttpResultReachesThePageAndItsBlockIsFreed)
{
    Load(L"events.htm");
    void* block = m_host.PostHttpComplete(42, 404, "not here");
    ASSERT_NE(nullptr, block);
    ASSERT_TRUE(testing_support::PumpUntil([&] { return Read(L"events").find(L"http") != std::wstring::npos; }, 5000));
    EXPECT_EQ(L"http 42 404 [not here];", Read(L"events"));
    EXPECT_FALSE(IsLiveMessageBlock(block));

    // An empty body arrives as an empty text.
    block = m_host.PostHttpComplete(43, 0, std::string());
    ASSERT_TRUE(testing_support::PumpUntil([&] { return Read(L"events").find(L"http 43") != std::wstring::npos; }, 5000));
    EXPECT_EQ(L"http 42 404 [not here];http 43 0 [];", Read(L"events"));
}

TEST_F(ControlWithPage, AVerificationResultCallsItsCallbackAndFailsForAMissingOne)
{
    Load(L"events.htm");
    EmailVerifyRequest* request = NewEmailVerifyRequest(1, "user", "secret", "verified", m_host.ControlWindow());
    ASSERT_NE(nullptr, request);
    request->verified = 1;
    EXPECT_EQ(0, m_host.SendPostedBlock(0, request));
    EXPECT_EQ(L"verified true false;", Read(L"events"));

    EXPECT_FALSE(IsLiveMessageBlock(request));

    request = NewEmailVerifyRequest(1, "user", "secret", "gone", m_host.ControlWindow());
    std::size_t mark = TraceCapture::Mark();
    EXPECT_EQ(-1, m_host.SendPostedBlock(0, request));
    EXPECT_NE(std::string::npos, TraceCapture::Since(mark).find("Callback: 'gone' failed.\n"));
    EXPECT_FALSE(IsLiveMessageBlock(request));
}

TEST_F(ControlWithPage, LoadHtmlReplacesThePageAndUnInitStopsTheBrowserEvents)
{
    Load(L"events.htm");
    Bstr plain(PageUrl(L"plain.htm"));
    int loads = m_host.CountMessages(RM_DOCUMENT_COMPLETE);
    ASSERT_EQ(S_OK, m_host.Control()->LoadHTML(plain.Get()));
    ASSERT_TRUE(m_host.WaitForMessage(RM_DOCUMENT_COMPLETE, kLoadTimeout, loads));
    EXPECT_EQ(L"plain", Read(L"loaded"));

    EXPECT_EQ(S_OK, m_host.Control()->UnInit());
    loads = m_host.CountMessages(RM_DOCUMENT_COMPLETE);
    Bstr events(PageUrl(L"events.htm"));
    ASSERT_EQ(S_OK, m_host.Control()->LoadHTML(events.Get()));
    EXPECT_FALSE(m_host.WaitForMessage(RM_DOCUMENT_COMPLETE, 1500, loads));
    // The page still works: the browser is kept until the control goes.
    EXPECT_TRUE(testing_support::PumpUntil([&] { return Read(L"calls") == L"0"; }, 3000));
    EXPECT_EQ(std::string::npos, TraceCapture::Since(m_mark).find("DispEventUnadvise Failed"));
}

}  // namespace

namespace {

TEST_F(ControlWithPage, UnInitDisconnectsTheBrowserOnceAndAnswersSuccessAgain)
{
    Load(L"events.htm");
    std::size_t mark = TraceCapture::Mark();
    EXPECT_EQ(S_OK, m_host.Control()->UnInit());
    EXPECT_EQ(S_OK, m_host.Control()->UnInit());
    EXPECT_EQ(std::string::npos, TraceCapture::Since(mark).find("DispEventUnadvise Failed"));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, UnadviseFirstSink(m_host.ChildDispatch()));
}

TEST_F(ControlWithPage, ASecondInitMovesTheEventConnectionToTheNewBrowser)
{
    Load(L"events.htm");
    ComPtr<IDispatch> first(m_host.ChildDispatch());
    ASSERT_TRUE(first);
    Bstr plain(PageUrl(L"plain.htm"));
    ComPtr<IDispatch> second;
    const int loads = m_host.CountMessages(RM_DOCUMENT_COMPLETE);
    ASSERT_EQ(S_OK, m_host.Control()->Init(plain.Get(), m_host.HostWindow(), nullptr, second.Put()));
    ASSERT_TRUE(second);
    EXPECT_NE(first.Get(), second.Get());
    ASSERT_TRUE(m_host.WaitForMessage(RM_DOCUMENT_COMPLETE, kLoadTimeout, loads));
    EXPECT_EQ(L"plain", Read(L"loaded"));
    // The first browser keeps no connection to the control; the new one has it, and UnInit
    // takes it from the new one without a failure.
    EXPECT_EQ(CONNECT_E_NOCONNECTION, UnadviseFirstSink(first.Get()));
    std::size_t mark = TraceCapture::Mark();
    EXPECT_EQ(S_OK, m_host.Control()->UnInit());
    EXPECT_EQ(std::string::npos, TraceCapture::Since(mark).find("DispEventUnadvise Failed"));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, UnadviseFirstSink(second.Get()));
}

TEST_F(ControlWithPage, ARefusedSecondInitKeepsThePageShownConnected)
{
    Load(L"events.htm");
    Bstr empty(L"");
    IDispatch* child = reinterpret_cast<IDispatch*>(0x1);
    EXPECT_EQ(E_INVALIDARG, m_host.Control()->Init(empty.Get(), m_host.HostWindow(), nullptr, &child));
    EXPECT_EQ(nullptr, child);
    // The page shown still tells the host of its loads.
    const int loads = m_host.CountMessages(RM_DOCUMENT_COMPLETE);
    Bstr plain(PageUrl(L"plain.htm"));
    ASSERT_EQ(S_OK, m_host.Control()->LoadHTML(plain.Get()));
    EXPECT_TRUE(m_host.WaitForMessage(RM_DOCUMENT_COMPLETE, kLoadTimeout, loads));
}

TEST_F(ControlWithPage, AnInitThatFailsAfterTheBrowserExistsHandsOutNoBrowser)
{
    // The stand-in refuses the control's event connection.
    SetEnvironmentVariableA("WISP_STANDIN_REFUSE_ADVISE", "1");
    Bstr page(PageUrl(L"events.htm"));
    IDispatch* child = reinterpret_cast<IDispatch*>(0x1);
    const HRESULT hr = m_host.Control()->Init(page.Get(), m_host.HostWindow(), nullptr, &child);
    SetEnvironmentVariableA("WISP_STANDIN_REFUSE_ADVISE", nullptr);
    EXPECT_EQ(CONNECT_E_ADVISELIMIT, hr);
    EXPECT_EQ(nullptr, child);
}

TEST_F(ControlWithPage, TheHostWindowMayGoBeforeUnInit)
{
    Load(L"events.htm");
    DestroyWindow(m_host.HostWindow());
    HWND window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(S_OK, m_host.Control()->get_HWND(&window));
    EXPECT_EQ(nullptr, window);
    EXPECT_EQ(S_OK, m_host.Control()->UnInit());
    m_host.Destroy();
    testing_support::PumpMessages(50);
    EXPECT_EQ(S_OK, WispCanUnloadNow());
}

// Controls released by a container that never calls Close: the last Release destroys the
// control while its window and the hosted control's window still exist.
class ControlReleasedWithoutClose : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(S_OK, testing_support::RegisterWisp()); }
    void SetUp() override
    {
        m_creationMutex.Reset(CreateMutexA(nullptr, FALSE, CONTROL_CREATION_MUTEX));
        ASSERT_TRUE(m_creationMutex);
        m_parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 200, 120, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_parent);
    }
    void TearDown() override { DestroyWindow(m_parent); }

    // Creates the control in a bare site, runs Init with `url` and, when it succeeded, waits
    // for the page; then lets the last references go. Answers Init's result.
    HRESULT InitAndRelease(const std::wstring& url)
    {
        ComPtr<IWispControl> control;
        HRESULT hr = CoCreateInstance(CLSID_WispControl, nullptr, CLSCTX_INPROC_SERVER, IID_IWispControl,
                                      control.PutVoid());
        if (FAILED(hr))
            return hr;
        ComPtr<IOleObject> ole;
        ComPtr<BareSite> site = MakeComObject<BareSite>(m_parent);
        RECT rect;
        GetClientRect(m_parent, &rect);
        if (FAILED(control.As(IID_IOleObject, ole)) || FAILED(ole->SetClientSite(site.Get())) ||
            FAILED(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.Get(), 0, m_parent, &rect)))
            return E_UNEXPECTED;
        HWND window = nullptr;
        control->get_HWND(&window);
        EXPECT_NE(nullptr, window);
        Bstr page(url);
        ComPtr<IDispatch> child;
        HRESULT init = control->Init(page.Get(), m_parent, nullptr, child.Put());
        if (SUCCEEDED(init)) {
            Bstr echo(L"echo");
            EXPECT_TRUE(testing_support::PumpUntil([&] {
                VARIANT_BOOL exists = VARIANT_FALSE;
                return SUCCEEDED(control->ScriptMethodExists(echo.Get(), &exists)) && exists;
            }, kLoadTimeout));
        }
        child = nullptr;
        ole = nullptr;
        control = nullptr;
        EXPECT_FALSE(IsWindow(window));
        return init;
    }

    UniqueHandle m_creationMutex;
    HWND m_parent = nullptr;
};

TEST_F(ControlReleasedWithoutClose, AfterAnInitThatFailedOnceItsHostedControlExisted)
{
    // A control that is no browser gets created and hosted; Init then fails on the browser query.
    EXPECT_EQ(E_NOINTERFACE, InitAndRelease(L"Wisp.WispControl"));
    testing_support::PumpMessages(50);
    EXPECT_EQ(S_OK, WispCanUnloadNow());
}

TEST_F(ControlReleasedWithoutClose, AfterASuccessfulInit)
{
    EXPECT_EQ(S_OK, InitAndRelease(PageUrl(L"events.htm")));
    testing_support::PumpMessages(50);
    EXPECT_EQ(S_OK, WispCanUnloadNow());
}

}  // namespace
