// The browser stand-in, driven from a native container as the product drives the real control.
#include "tests/support/LocalHttpServer.h"

#include "BrowserStandIn.h"
#include "TestContainer.h"

#include "common/com/Strings.h"

#include "tests/support/ChildProcess.h"

#include <exdispid.h>
#include <gtest/gtest.h>

#include <thread>

using namespace browser_tests;

namespace {

const IID kIidDispatchEx = {0xa6ef9860, 0xc720, 0x11d0, {0x93, 0x37, 0x00, 0xa0, 0xc9, 0x0d, 0xca, 0xa9}};

struct ComScope {
    ComScope() { OleInitialize(nullptr); }
    ~ComScope() { OleUninitialize(); }
};

ComPtr<IBrowserStandInTest> Hooks(const ComPtr<IWebBrowser2>& browser)
{
    ComPtr<IBrowserStandInTest> hooks;
    browser.As(IID_IBrowserStandInTest, hooks);
    return hooks;
}

ComPtr<IHTMLDocument2> DocumentOf(const ComPtr<IWebBrowser2>& browser)
{
    ComPtr<IDispatch> disp;
    ComPtr<IHTMLDocument2> doc;
    if (SUCCEEDED(browser->get_Document(disp.Put())) && disp)
        disp.As(IID_IHTMLDocument2, doc);
    return doc;
}

std::wstring Text(BSTR b)
{
    return b ? std::wstring(b, SysStringLen(b)) : std::wstring();
}

class BrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host = MakeComObject<Container>();
        std::string error;
        ASSERT_TRUE(host->Embed(error)) << error;
    }
    void TearDown() override
    {
        if (host)
            host->Unembed();
    }
    // Navigates and pumps until the top document completes.
    void Load(const std::wstring& url)
    {
        host->sink->events.clear();
        Bstr u(url);
        ASSERT_EQ(S_OK, host->browser->Navigate(u.Get(), nullptr, nullptr, nullptr, nullptr));
        ASSERT_TRUE(PumpUntil([&] { return host->sink->TopComplete(); })) << "no DocumentComplete for " << Bstr(url).ToAnsi();
    }
    // Waits for the next top-level DocumentComplete after an action of the page.
    bool NextPage()
    {
        host->sink->events.clear();
        return PumpUntil([&] { return host->sink->TopComplete(); });
    }
    HRESULT CallScript(const wchar_t* name, std::vector<Variant> args, Variant& result)
    {
        ComPtr<IHTMLDocument2> doc = DocumentOf(host->browser);
        if (!doc)
            return E_FAIL;
        ComPtr<IDispatch> script;
        HRESULT hr = doc->get_Script(script.Put());
        if (FAILED(hr))
            return hr;
        ComPtr<IDispatchEx> ex;
        hr = script.As(kIidDispatchEx, ex);
        if (FAILED(hr))
            return hr;
        Bstr n(name);
        DISPID id = 0;
        hr = ex->GetDispID(n.Get(), 0, &id);
        if (FAILED(hr))
            return hr;
        std::vector<VARIANT> reversed;
        for (auto it = args.rbegin(); it != args.rend(); ++it)
            reversed.push_back(*it->Get());
        DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        EXCEPINFO info = {};
        hr = ex->InvokeEx(id, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.Get(), &info, nullptr);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrHelpFile);
        return hr;
    }

    ComScope com;
    ComPtr<Container> host;
};

// Every thread of a test gets the stand-in from CoCreateInstance, not the platform's browser.
bool CreatesStandIn()
{
    ComPtr<IWebBrowser2> browser;
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IWebBrowser2, browser.PutVoid())))
        return false;
    return static_cast<bool>(Hooks(browser));
}

TEST(BrowserCreation, WebBrowserClassGivesTheStandInOnEveryThreadAndProcess)
{
    ComScope com;
    EXPECT_TRUE(CreatesStandIn());
    bool onThread = false;
    std::thread([&] {
        ComScope threadCom;
        onThread = CreatesStandIn();
    }).join();
    EXPECT_TRUE(onThread);

    testing_support::ChildProcess child;
    ASSERT_TRUE(child.Start("\"" + testing_support::SelfPath() + "\" --child=create"));
    ASSERT_TRUE(child.Wait(30000));
    EXPECT_EQ(0u, child.ExitCode());
}

// A host that ends its loop on WM_QUIT (the screen saver's preview, whose window goes first)
// must still find the quit once the browser it held is gone.
TEST(BrowserThreads, ReleasingABrowserLeavesThePostedQuitForTheThreadsLoop)
{
    UINT message = 0;
    WPARAM code = 0;
    std::thread([&] {
        ComScope com;
        {
            ComPtr<Container> host = MakeComObject<Container>();
            std::string failure;
            if (!host->Embed(failure))
                return;
            Bstr url(FixtureUrl(L"left.htm"));
            host->browser->Navigate(url.Get(), nullptr, nullptr, nullptr, nullptr);
            PostQuitMessage(7);
            host->Unembed();
        }
        MSG msg = {};
        if (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
            message = msg.message;
            code = msg.wParam;
        }
    }).join();
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), message);
    EXPECT_EQ(7u, code);
}

// The mail checker's case: a worker thread owns the browser and pumps for its events.
TEST(BrowserThreads, AWorkerThreadThatPumpsGetsItsOwnBrowsersEvents)
{
    std::string failure;
    bool complete = false;
    int documents = 0;
    DWORD eventThread = 0, worker = 0;
    std::thread([&] {
        ComScope com;
        worker = GetCurrentThreadId();
        ComPtr<Container> host = MakeComObject<Container>();
        if (!host->Embed(failure))
            return;
        Bstr url(FixtureUrl(L"frames.htm"));
        host->browser->Navigate(url.Get(), nullptr, nullptr, nullptr, nullptr);
        complete = PumpUntil([&] { return host->sink->TopComplete(); });
        documents = host->sink->Count(DISPID_DOCUMENTCOMPLETE);
        eventThread = host->sink->lastThread;
        host->Unembed();
    }).join();
    ASSERT_EQ("", failure);
    EXPECT_TRUE(complete);
    EXPECT_EQ(3, documents);
    EXPECT_EQ(worker, eventThread);
}

TEST_F(BrowserTest, EmbedsInPlaceAndFollowsTheContainersRectangles)
{
    EXPECT_TRUE(host->activated);
    SHANDLE_PTR handle = 0;
    ASSERT_EQ(S_OK, host->browser->get_HWND(&handle));
    HWND view = reinterpret_cast<HWND>(handle);
    EXPECT_EQ(host->window, GetParent(view));
    ComPtr<IOleInPlaceObject> inPlace;
    ASSERT_EQ(S_OK, host->browser.As(IID_IOleInPlaceObject, inPlace));
    RECT r = {10, 20, 210, 120};
    ASSERT_EQ(S_OK, inPlace->SetObjectRects(&r, &r));
    RECT now;
    GetWindowRect(view, &now);
    EXPECT_EQ(200, now.right - now.left);
    EXPECT_EQ(100, now.bottom - now.top);
    wchar_t name[64];
    GetClassNameW(view, name, 64);
    EXPECT_STREQ(L"Shell Embedding", name);
    ASSERT_EQ(S_OK, inPlace->InPlaceDeactivate());
    EXPECT_FALSE(host->activated);
    EXPECT_FALSE(IsWindow(view));
}

TEST_F(BrowserTest, DeliversNavigationEventsInOrderOnlyWhileTheThreadPumps)
{
    Bstr url(FixtureUrl(L"frames.htm"));
    ASSERT_EQ(S_OK, host->browser->Navigate(url.Get(), nullptr, nullptr, nullptr, nullptr));
    VARIANT_BOOL busy = VARIANT_FALSE;
    host->browser->get_Busy(&busy);
    EXPECT_EQ(VARIANT_TRUE, busy);
    EXPECT_TRUE(host->sink->events.empty()) << "events must wait for the message queue";
    ASSERT_TRUE(PumpUntil([&] { return host->sink->TopComplete(); }));

    std::vector<DISPID> ids;
    for (auto& e : host->sink->events)
        if (e.id != DISPID_DOWNLOADBEGIN && e.id != DISPID_DOWNLOADCOMPLETE)
            ids.push_back(e.id);
    std::vector<DISPID> expected = {DISPID_BEFORENAVIGATE2, DISPID_NAVIGATECOMPLETE2, DISPID_TITLECHANGE,
                                    DISPID_DOCUMENTCOMPLETE, DISPID_DOCUMENTCOMPLETE, DISPID_DOCUMENTCOMPLETE};
    EXPECT_EQ(expected, ids);
    const auto& events = host->sink->events;
    std::vector<std::wstring> completed;
    for (auto& e : events)
        if (e.id == DISPID_DOCUMENTCOMPLETE)
            completed.push_back(e.text.substr(e.text.find_last_of(L'/') + 1) + (e.fromBrowser ? L"(top)" : L""));
    EXPECT_EQ((std::vector<std::wstring>{L"left.htm", L"main.htm", L"frames.htm(top)"}), completed);
    for (auto& e : events) {
        if (e.id == DISPID_TITLECHANGE) {
            EXPECT_EQ(L"Two Frames", e.text);
        }
    }

    READYSTATE state = READYSTATE_UNINITIALIZED;
    host->browser->get_ReadyState(&state);
    EXPECT_EQ(READYSTATE_COMPLETE, state);
    host->browser->get_Busy(&busy);
    EXPECT_EQ(VARIANT_FALSE, busy);
    Bstr location;
    host->browser->get_LocationURL(location.Put());
    EXPECT_EQ(Text(url.Get()), Text(location.Get()));
}

TEST_F(BrowserTest, CancelledNavigationLeavesThePageAndStopForgetsALoad)
{
    Load(FixtureUrl(L"left.htm"));
    host->sink->events.clear();
    host->sink->cancelNext = true;
    Bstr other(FixtureUrl(L"main.htm"));
    ASSERT_EQ(S_OK, host->browser->Navigate(other.Get(), nullptr, nullptr, nullptr, nullptr));
    PumpFor(300);
    EXPECT_EQ(0, host->sink->Count(DISPID_NAVIGATECOMPLETE2));
    Bstr title;
    host->browser->get_LocationName(title.Put());
    EXPECT_EQ(L"Left", Text(title.Get()));

    EXPECT_EQ(1, host->sink->Count(DISPID_BEFORENAVIGATE2));
    host->sink->events.clear();
    ASSERT_EQ(S_OK, host->browser->Navigate(other.Get(), nullptr, nullptr, nullptr, nullptr));
    ASSERT_EQ(S_OK, host->browser->Stop());
    PumpFor(300);
    EXPECT_EQ(0, host->sink->Count(DISPID_DOCUMENTCOMPLETE));
    host->browser->get_LocationName(title.Put());
    EXPECT_EQ(L"Left", Text(title.Get()));
}

TEST_F(BrowserTest, CallsPageFunctionsThroughTheScriptDispatchWithArgumentsInOrder)
{
    Load(FixtureUrl(L"page.htm"));
    Variant result;
    ASSERT_EQ(S_OK, CallScript(L"concat", {Variant::FromBstr(SysAllocString(L"first")), Variant::FromInt(2),
                                           Variant::FromBool(true)},
                               result));
    EXPECT_EQ(L"first|2|true", VariantToString(result.Get()));

    Variant count;
    ASSERT_EQ(S_OK, CallScript(L"argumentCount", {}, count));
    EXPECT_EQ(L"0", VariantToString(count.Get()));

    Variant none;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, CallScript(L"noSuchFunction", {}, none));

    // The page's scripts ran in order: the external file, inline, body, then onload.
    Variant order;
    ASSERT_EQ(S_OK, CallScript(L"eval", {Variant::FromBstr(SysAllocString(L"loadOrder.join(';')"))}, order));
    EXPECT_EQ(L"inline;body file script;onload", VariantToString(order.Get()));
}

TEST_F(BrowserTest, ThrowingFunctionFailsTheCallAndReportsTheError)
{
    Load(FixtureUrl(L"errors.htm"));
    ComPtr<IBrowserStandInTest> hooks = Hooks(host->browser);
    LONG errors = 0;
    hooks->GetScriptErrorCount(&errors);
    EXPECT_EQ(1, errors) << "the syntax error of the first block";
    LONG alerts = 0;
    hooks->GetAlertCount(&alerts);
    ASSERT_EQ(1, alerts);
    Bstr text;
    hooks->GetAlert(0, text.Put());
    EXPECT_EQ(L"hello 2", Text(text.Get()));

    Variant ok;
    EXPECT_EQ(S_OK, CallScript(L"stillWorks", {}, ok));
    Load(FixtureUrl(L"page.htm"));
    Variant thrown;
    EXPECT_EQ(static_cast<HRESULT>(0x80020101), CallScript(L"thrower", {}, thrown));
    hooks->GetScriptErrorCount(&errors);
    EXPECT_EQ(2, errors);
    Bstr message;
    hooks->GetScriptError(1, message.Put());
    EXPECT_NE(std::wstring::npos, Text(message.Get()).find(L"thrown on purpose")) << message.ToAnsi();
}

TEST_F(BrowserTest, PageScriptReachesWindowExternalOfTheHost)
{
    Load(FixtureUrl(L"page.htm"));
    ASSERT_EQ(1u, host->external->calls.size());
    EXPECT_EQ(L"onload,Stand-in & Page", host->external->calls[0]);
    Variant told;
    ASSERT_EQ(S_OK, CallScript(L"tellHost", {}, told));
    EXPECT_EQ(L"told", VariantToString(told.Get()));
    ASSERT_EQ(2u, host->external->calls.size());
    EXPECT_EQ(L"from page,42", host->external->calls[1]);

    ComPtr<IHTMLDocument2> doc = DocumentOf(host->browser);
    ComPtr<IHTMLWindow2> window;
    ASSERT_EQ(S_OK, doc->get_parentWindow(window.Put()));
    ComPtr<IDispatch> external;
    ASSERT_EQ(S_OK, window->get_external(external.Put()));
    EXPECT_EQ(static_cast<IDispatch*>(host->external.Get()), external.Get());
}

TEST_F(BrowserTest, ReadsTitleSourceTextFramesAndElementsAsTheMailChecksDo)
{
    Load(FixtureUrl(L"page.htm"));
    Bstr title;
    host->browser->get_LocationName(title.Put());
    EXPECT_EQ(L"Stand-in & Page", Text(title.Get()));

    ComPtr<IHTMLDocument2> doc = DocumentOf(host->browser);
    ASSERT_TRUE(doc);
    ComPtr<IHTMLElement> body;
    ASSERT_EQ(S_OK, doc->get_body(body.Put()));
    Bstr html, text;
    body->get_innerHTML(html.Put());
    body->get_innerText(text.Put());
    EXPECT_NE(std::wstring::npos, Text(html.Get()).find(L"<B>12</B> unread")) << html.ToAnsi();
    EXPECT_EQ(0u, Text(text.Get()).find(L"You have 12 unread messages\r\nFirst\u00a0paragraph\r\nsecond line"))
        << text.ToAnsi();

    // all.item(name or id) gives the input; its value attribute is what a form sends.
    ComPtr<IHTMLElementCollection> all;
    ASSERT_EQ(S_OK, doc->get_all(all.Put()));
    for (const wchar_t* key : {L"email", L"emailField"}) {
        Variant name = Variant::FromBstr(SysAllocString(key));
        Variant index = Variant::FromInt(0);
        ComPtr<IDispatch> disp;
        ASSERT_EQ(S_OK, all->item(*name.Get(), *index.Get(), disp.Put()));
        ComPtr<IHTMLElement> field;
        ASSERT_EQ(S_OK, disp.As(IID_IHTMLElement, field));
        Bstr attr(L"value");
        Variant value = Variant::FromBstr(SysAllocString(L"user@example.com"));
        ASSERT_EQ(S_OK, field->setAttribute(attr.Get(), *value.Get(), 0));
        Variant back;
        ASSERT_EQ(S_OK, field->getAttribute(attr.Get(), 0, back.Get()));
        EXPECT_EQ(L"user@example.com", VariantToString(back.Get()));
    }
    Variant read;
    ASSERT_EQ(S_OK, CallScript(L"readField", {Variant::FromBstr(SysAllocString(L"email"))}, read));
    EXPECT_EQ(L"user@example.com", VariantToString(read.Get()));
    Variant missingName = Variant::FromBstr(SysAllocString(L"nothing"));
    Variant zero = Variant::FromInt(0);
    ComPtr<IDispatch> missing;
    EXPECT_EQ(S_OK, all->item(*missingName.Get(), *zero.Get(), missing.Put()));
    EXPECT_FALSE(missing);

    Load(FixtureUrl(L"frames.htm"));
    doc = DocumentOf(host->browser);
    ComPtr<IHTMLFramesCollection2> frames;
    ASSERT_EQ(S_OK, doc->get_frames(frames.Put()));
    Variant frameName = Variant::FromBstr(SysAllocString(L"main"));
    Variant frame;
    ASSERT_EQ(S_OK, frames->item(frameName.Get(), frame.Get()));
    ASSERT_EQ(VT_DISPATCH, frame.Type());
    ComPtr<IHTMLWindow2> frameWindow;
    ASSERT_EQ(S_OK, ComPtr<IDispatch>(frame.Get()->pdispVal).As(IID_IHTMLWindow2, frameWindow));
    ComPtr<IHTMLDocument2> frameDoc;
    ASSERT_EQ(S_OK, frameWindow->get_document(frameDoc.Put()));
    ComPtr<IHTMLElement> frameBody;
    ASSERT_EQ(S_OK, frameDoc->get_body(frameBody.Put()));
    Bstr frameHtml;
    frameBody->get_innerHTML(frameHtml.Put());
    EXPECT_NE(std::wstring::npos, Text(frameHtml.Get()).find(L"<B>7</B> unread")) << frameHtml.ToAnsi();
    Variant noFrame = Variant::FromBstr(SysAllocString(L"nowhere"));
    Variant none;
    EXPECT_TRUE(FAILED(frames->item(noFrame.Get(), none.Get())));
}

TEST_F(BrowserTest, FormSubmitsFieldsByGetFromAFileAndByPostOverHttp)
{
    Load(FixtureUrl(L"page.htm"));
    ComPtr<IBrowserStandInTest> hooks = Hooks(host->browser);
    ASSERT_EQ(S_OK, hooks->ClickElement(L"go", nullptr));
    ASSERT_TRUE(NextPage());
    Bstr location;
    host->browser->get_LocationURL(location.Put());
    std::wstring url = Text(location.Get());
    EXPECT_NE(std::wstring::npos, url.find(L"submitted.htm?email=&passwd=&remember=on&continue=a+b%26c&go=Sign+in"))
        << location.ToAnsi();

    testing_support::LocalHttpServer server([](const testing_support::HttpRequest& r) {
        testing_support::HttpResponse response;
        if (r.path == "/login")
            response.body = "<html><head><title>Sign In</title></head><body>"
                            "<form name=\"f\" method=\"post\" action=\"/check\">"
                            "<input name=\"login\"><input type=\"password\" name=\"passwd\"></form></body></html>";
        else if (r.path == "/check")
            response.body = "<html><head><title>Inbox (3)</title></head><body>welcome</body></html>";
        else
            response.status = 404;
        return response;
    });
    ASSERT_TRUE(server.Start());
    Load(WideFromAnsi(server.BaseUrl() + "/login"));
    Bstr title;
    host->browser->get_LocationName(title.Put());
    ASSERT_EQ(L"Sign In", Text(title.Get()));

    ComPtr<IHTMLDocument2> doc = DocumentOf(host->browser);
    ComPtr<IHTMLElementCollection> all;
    doc->get_all(all.Put());
    auto field = [&](const wchar_t* name) {
        Variant n = Variant::FromBstr(SysAllocString(name));
        Variant i = Variant::FromInt(0);
        ComPtr<IDispatch> d;
        all->item(*n.Get(), *i.Get(), d.Put());
        ComPtr<IHTMLElement> e;
        if (d)
            d.As(IID_IHTMLElement, e);
        return e;
    };
    Bstr value(L"value");
    Variant user = Variant::FromBstr(SysAllocString(L"someone@example.com"));
    Variant secret = Variant::FromBstr(SysAllocString(L"p&ss word"));
    field(L"login")->setAttribute(value.Get(), *user.Get(), 0);
    field(L"passwd")->setAttribute(value.Get(), *secret.Get(), 0);
    ComPtr<IHTMLInputElement> input;
    ASSERT_EQ(S_OK, ComPtr<IHTMLElement>(field(L"login")).As(IID_IHTMLInputElement, input));
    ComPtr<IHTMLFormElement> form;
    ASSERT_EQ(S_OK, input->get_form(form.Put()));
    ASSERT_TRUE(form);
    host->sink->events.clear();
    ASSERT_EQ(S_OK, form->submit());
    ASSERT_TRUE(PumpUntil([&] { return host->sink->TopComplete(); }));
    host->browser->get_LocationName(title.Put());
    EXPECT_EQ(L"Inbox (3)", Text(title.Get()));
    EXPECT_EQ(L"login=someone%40example.com&passwd=p%26ss+word", host->sink->lastPostData);

    auto requests = server.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("POST", requests[1].method);
    EXPECT_EQ("/check", requests[1].path);
    EXPECT_EQ("login=someone%40example.com&passwd=p%26ss+word", requests[1].body);
    EXPECT_EQ("application/x-www-form-urlencoded", requests[1].headers["content-type"]);

    Bstr method, last, body;
    LONG count = 0;
    hooks->GetLastRequest(method.Put(), last.Put(), body.Put(), &count);
    EXPECT_EQ(L"POST", Text(method.Get()));
    EXPECT_EQ(WideFromAnsi(server.BaseUrl() + "/check"), Text(last.Get()));

    // An unreachable page reports NavigateError and still completes with an error page.
    server.Stop();
    Load(WideFromAnsi(server.BaseUrl() + "/gone"));
    EXPECT_EQ(1, host->sink->Count(DISPID_NAVIGATEERROR));
}

TEST_F(BrowserTest, FormInAFrameNavigatesOnlyThatFrame)
{
    Load(FixtureUrl(L"framedform.htm"));
    ComPtr<IBrowserStandInTest> hooks = Hooks(host->browser);
    host->sink->events.clear();
    ASSERT_EQ(S_OK, hooks->SubmitForm(L"f", L"login"));
    ASSERT_TRUE(PumpUntil([&] { return host->sink->Count(DISPID_DOCUMENTCOMPLETE) == 1; }));
    PumpFor(200);
    ASSERT_EQ(1, host->sink->Count(DISPID_DOCUMENTCOMPLETE));
    EXPECT_FALSE(host->sink->TopComplete());
    EXPECT_NE(std::wstring::npos, host->sink->events.back().text.find(L"submitted.htm?user=in+frame"));

    Bstr title;
    host->browser->get_LocationName(title.Put());
    EXPECT_EQ(L"Framed Form", Text(title.Get()));
    ComPtr<IHTMLDocument2> doc = DocumentOf(host->browser);
    ComPtr<IHTMLFramesCollection2> frames;
    doc->get_frames(frames.Put());
    Variant index = Variant::FromInt(1);
    Variant frame;
    ASSERT_EQ(S_OK, frames->item(index.Get(), frame.Get()));
    ComPtr<IHTMLWindow2> window;
    ComPtr<IDispatch>(frame.Get()->pdispVal).As(IID_IHTMLWindow2, window);
    ComPtr<IHTMLDocument2> frameDoc;
    ASSERT_EQ(S_OK, window->get_document(frameDoc.Put()));
    Bstr frameTitle;
    frameDoc->get_title(frameTitle.Put());
    EXPECT_EQ(L"Submitted", Text(frameTitle.Get()));
}

TEST_F(BrowserTest, TimersRunWhileThePageIsShownAndScriptCanNavigate)
{
    Load(FixtureUrl(L"timer.htm"));
    ASSERT_TRUE(NextPage()) << "the timer's location.href did not navigate";
    Bstr title;
    host->browser->get_LocationName(title.Put());
    EXPECT_EQ(L"Left", Text(title.Get()));
    ASSERT_EQ(S_OK, host->browser->GoBack());
    ASSERT_TRUE(NextPage());
    host->browser->get_LocationName(title.Put());
    EXPECT_EQ(L"Timer", Text(title.Get()));
}

TEST_F(BrowserTest, RightClickAsksTheHostsHandlerWithTheMenuKind)
{
    Load(FixtureUrl(L"page.htm"));
    ComPtr<IBrowserStandInTest> hooks = Hooks(host->browser);
    HRESULT answer = S_OK;
    BOOL defaultMenu = FALSE;
    ASSERT_EQ(S_OK, hooks->SimulateContextMenu(CONTEXT_MENU_CONTROL, L"emailField", &answer, &defaultMenu));
    EXPECT_EQ(E_NOTIMPL, answer);
    EXPECT_TRUE(defaultMenu);
    ASSERT_EQ(S_OK, hooks->SimulateContextMenu(CONTEXT_MENU_DEFAULT, nullptr, &answer, &defaultMenu));
    EXPECT_EQ(S_OK, answer);
    EXPECT_FALSE(defaultMenu);
    EXPECT_EQ((std::vector<DWORD>{CONTEXT_MENU_CONTROL, CONTEXT_MENU_DEFAULT}), host->menuKinds);
    EXPECT_EQ(L"emailField", host->menuTargets[0]);
    EXPECT_EQ(E_INVALIDARG, hooks->SimulateContextMenu(0, L"noSuchElement", &answer, &defaultMenu));
}

TEST_F(BrowserTest, RecordsBrowserBarRequestsAndRefreshesWithoutNavigating)
{
    Load(FixtureUrl(L"left.htm"));
    Variant clsid = Variant::FromBstr(SysAllocString(L"{CACB935E-E569-478A-B04F-F44D62B93AFC}"));
    Variant show = Variant::FromBool(true);
    Variant size = Variant::FromInt(0);
    ASSERT_EQ(S_OK, host->browser->ShowBrowserBar(clsid.Get(), show.Get(), size.Get()));
    ComPtr<IBrowserStandInTest> hooks = Hooks(host->browser);
    Variant c, s, z;
    LONG calls = 0;
    ASSERT_EQ(S_OK, hooks->GetLastBrowserBar(c.Get(), s.Get(), z.Get(), &calls));
    EXPECT_EQ(1, calls);
    EXPECT_EQ(L"{CACB935E-E569-478A-B04F-F44D62B93AFC}", VariantToString(c.Get()));
    ASSERT_EQ(VT_BOOL, s.Type());
    EXPECT_EQ(VARIANT_TRUE, s.Get()->boolVal);
    EXPECT_EQ(VT_I4, z.Type());

    host->sink->events.clear();
    Variant level = Variant::FromInt(REFRESH_COMPLETELY);
    ASSERT_EQ(S_OK, host->browser->Refresh2(level.Get()));
    ASSERT_TRUE(PumpUntil([&] { return host->sink->TopComplete(); }));
    EXPECT_EQ(0, host->sink->Count(DISPID_BEFORENAVIGATE2));
    EXPECT_EQ(0, host->sink->Count(DISPID_NAVIGATECOMPLETE2));
}

TEST_F(BrowserTest, LateBoundBrowserAnswersThroughItsTypeLibrary)
{
    Load(FixtureUrl(L"left.htm"));
    ComPtr<IDispatch> disp;
    ASSERT_EQ(S_OK, host->browser.As(IID_IDispatch, disp));
    Bstr name(L"LocationName");
    LPOLESTR names[] = {name.Get()};
    DISPID id = 0;
    HRESULT hr = disp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (hr == E_NOTIMPL)
        GTEST_SKIP() << "the prefix has no browser type library";
    ASSERT_EQ(S_OK, hr);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    Variant result;
    ASSERT_EQ(S_OK, disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, result.Get(),
                                 nullptr, nullptr));
    EXPECT_EQ(L"Left", VariantToString(result.Get()));
}

}  // namespace

int main(int argc, char** argv)
{
    if (testing_support::SwitchValue(argc, argv, "child") == "create") {
        ComScope com;
        return CreatesStandIn() ? 0 : 3;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
