// The control with a loaded page (the browser stand-in plays the WebBrowser): window.external,
// script calls by name, the script events, the width event, context menus and shutdown.
#include <windows.h>
#include <exdisp.h>

#include <gtest/gtest.h>

#include <string>

#include "BrowserStandIn.h"
#include "Wisp_h.h"
#include "Wisp/mail/EmailVerifyRequest.h"
#include "common/HostMessages.h"
#include "common/com/Bstr.h"
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

bool HeapBlockBusy(void* block)
{
    HANDLE heap = GetProcessHeap();
    bool busy = false;
    HeapLock(heap);
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heap, &entry))
        if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) && entry.lpData == block) {
            busy = true;
            break;
        }
    HeapUnlock(heap);
    return busy;
}

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
    EXPECT_FALSE(HeapBlockBusy(block));

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
    EXPECT_EQ(0, m_host.SendToControl(RM_EMAIL_VERIFY_COMPLETE, 0, reinterpret_cast<LPARAM>(request)));
    EXPECT_EQ(L"verified true false;", Read(L"events"));

    request = NewEmailVerifyRequest(1, "user", "secret", "gone", m_host.ControlWindow());
    std::size_t mark = TraceCapture::Mark();
    EXPECT_EQ(-1, m_host.SendToControl(RM_EMAIL_VERIFY_COMPLETE, 0, reinterpret_cast<LPARAM>(request)));
    EXPECT_NE(std::string::npos, TraceCapture::Since(mark).find("Callback: 'gone' failed.\n"));
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
