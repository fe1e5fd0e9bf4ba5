// Wisp.WispControl created by ProgID in the test host, as the desktop application creates it.
#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Wisp_h.h"
#include "common/HostMessages.h"
#include "common/MessageBlock.h"
#include "common/axhost/DocHostUIHandlerDispatch_h.h"
#include "common/com/Bstr.h"
#include "common/com/ComObject.h"
#include "tests/support/ImportHook.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/WispLibrary.h"
#include "Wisp/mail/EmailVerifyRequest.h"
#include "Wisp/web/HttpResultBlock.h"
#include "tests/support/host/HostApplication.h"

using host::HostApplication;
using host::ReceivedMessage;
using testing_support::TraceCapture;

namespace {

// Records the property changes a container is told of.
class ChangeSink : public ComObject<ChangeSink>, public IPropertyNotifySink {
public:
    WISP_COM_INTERFACES(ChangeSink, WISP_COM_ENTRY(IPropertyNotifySink))
    WISP_IUNKNOWN_FORWARD()
    STDMETHODIMP OnChanged(DISPID id) override
    {
        changed.push_back(id);
        return S_OK;
    }
    STDMETHODIMP OnRequestEdit(DISPID) override { return S_OK; }
    std::vector<DISPID> changed;
};

bool Traced(std::size_t mark, const std::string& line)
{
    return TraceCapture::Since(mark).find(line) != std::string::npos;
}

class ControlInHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(S_OK, testing_support::RegisterWisp()); }
    void SetUp() override
    {
        ASSERT_TRUE(m_host.Create(300, 200));
        m_mark = TraceCapture::Mark();
        ASSERT_EQ(S_OK, m_host.CreateControl());
        ASSERT_NE(nullptr, m_host.Control());
    }
    void TearDown() override { m_host.Destroy(); }

    HRESULT InvokeControl(DISPID id, WORD flags, VARIANT* args, UINT count, VARIANT* result)
    {
        DISPPARAMS params = {args, nullptr, count, 0};
        return m_host.Control()->Invoke(id, IID_NULL, 0, flags, &params, result, nullptr, nullptr);
    }

    HostApplication m_host;
    std::size_t m_mark = 0;
};

TEST_F(ControlInHost, LivesInAChildWindowOfTheContainer)
{
    HWND window = m_host.ControlWindow();
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(m_host.ContainerWindow(), GetParent(window));
    char text[64];
    snprintf(text, sizeof text, ": CWispControl::OnCreate - m_hWnd = 0x%X\n",
             static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window)));
    EXPECT_TRUE(Traced(m_mark, text));
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(300, rect.right - rect.left);
    EXPECT_EQ(200, rect.bottom - rect.top);
    m_host.ResizeContainer(250, 120);
    GetWindowRect(window, &rect);
    EXPECT_EQ(250, rect.right - rect.left);
}

TEST_F(ControlInHost, AnswersTheControlInterfacesButNotItsHandlerOrSinkFaces)
{
    IWispControl* control = m_host.Control();
    const IID* faces[] = {&IID_IWispControl, &IID_IDispatch, &IID_IViewObjectEx, &IID_IViewObject2,
                          &IID_IViewObject, &IID_IOleInPlaceObjectWindowless, &IID_IOleInPlaceObject,
                          &IID_IOleWindow, &IID_IOleInPlaceActiveObject, &IID_IOleControl, &IID_IOleObject,
                          &IID_IPersistStreamInit, &IID_IPersist, &IID_ISupportErrorInfo,
                          &IID_ISpecifyPropertyPages, &IID_IQuickActivate, &IID_IPersistStorage,
                          &IID_IDataObject, &IID_IProvideClassInfo, &IID_IProvideClassInfo2};
    for (const IID* iid : faces) {
        IUnknown* face = nullptr;
        EXPECT_EQ(S_OK, control->QueryInterface(*iid, reinterpret_cast<void**>(&face)));
        if (face)
            face->Release();
    }
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(S_OK, control->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
    EXPECT_EQ(static_cast<IDispatch*>(control), dispatch);
    dispatch->Release();

    IUnknown* hidden = nullptr;
    EXPECT_EQ(E_NOINTERFACE, control->QueryInterface(IID_IDocHostUIHandlerDispatch, reinterpret_cast<void**>(&hidden)));
    EXPECT_EQ(E_NOINTERFACE, control->QueryInterface(DIID_DWebBrowserEvents2, reinterpret_cast<void**>(&hidden)));

    IProvideClassInfo* classInfo = nullptr;
    ASSERT_EQ(S_OK, control->QueryInterface(IID_IProvideClassInfo, reinterpret_cast<void**>(&classInfo)));
    ITypeInfo* info = nullptr;
    ASSERT_EQ(S_OK, classInfo->GetClassInfo(&info));
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attributes));
    EXPECT_TRUE(IsEqualGUID(CLSID_WispControl, attributes->guid));
    info->ReleaseTypeAttr(attributes);
    info->Release();
    classInfo->Release();

    IOleObject* ole = nullptr;
    ASSERT_EQ(S_OK, control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole)));
    DWORD misc = 0;
    EXPECT_EQ(S_OK, ole->GetMiscStatus(DVASPECT_CONTENT, &misc));
    EXPECT_EQ(131472u, misc);
    ole->Release();
}

TEST_F(ControlInHost, LateBindingReachesOnlyCallApplicationMethod)
{
    IWispControl* control = m_host.Control();
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"CallApplicationMethod");
    ASSERT_EQ(S_OK, control->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
    EXPECT_EQ(502, id);
    // The name as the type information answers it: in any case, and with its parameters.
    name = const_cast<LPOLESTR>(L"callAPPLICATIONmethod");
    id = 0;
    ASSERT_EQ(S_OK, control->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
    EXPECT_EQ(502, id);
    LPOLESTR withParameter[] = {const_cast<LPOLESTR>(L"CallApplicationMethod"),
                                const_cast<LPOLESTR>(L"pvarResult")};
    DISPID ids[2] = {};
    ASSERT_EQ(S_OK, control->GetIDsOfNames(IID_NULL, withParameter, 2, 0, ids));
    EXPECT_EQ(502, ids[0]);
    EXPECT_EQ(1, ids[1]);
    name = const_cast<LPOLESTR>(L"CallApplicationMethods");
    EXPECT_EQ(DISP_E_UNKNOWNNAME, control->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));

    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = SysAllocString(L"X");
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(S_OK, InvokeControl(502, DISPATCH_METHOD, &arg, 1, &result));
    EXPECT_EQ(VT_EMPTY, result.vt);
    // Without a browser no page can be calling: the host's own call reaches the table.
    EXPECT_TRUE(Traced(m_mark, "CallApplicationMethodDispatch(X) Method not found.\n"));
    VariantClear(&arg);

    // With more arguments the name is the last element of rgvarg.
    VARIANT args[3];
    for (VARIANT& v : args)
        VariantInit(&v);
    args[0].vt = VT_I4;
    args[1].vt = VT_I4;
    args[2].vt = VT_BSTR;
    args[2].bstrVal = SysAllocString(L"Named");
    EXPECT_EQ(S_OK, InvokeControl(502, DISPATCH_METHOD, args, 3, nullptr));
    EXPECT_TRUE(Traced(m_mark, "CallApplicationMethodDispatch(Named) Method not found.\n"));
    VariantClear(&args[2]);

    name = const_cast<LPOLESTR>(L"BorderStyle");
    ASSERT_EQ(S_OK, control->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
    EXPECT_EQ(-504, id);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, InvokeControl(id, DISPATCH_PROPERTYGET, nullptr, 0, &result));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, InvokeControl(507, DISPATCH_METHOD, nullptr, 0, &result));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, InvokeControl(503, DISPATCH_METHOD, nullptr, 0, &result));

    // The vtable entry is a no-op.
    result.vt = VT_I4;
    result.lVal = 3;
    EXPECT_EQ(S_OK, control->CallApplicationMethod(nullptr, &result));
    EXPECT_EQ(VT_I4, result.vt);
}

TEST_F(ControlInHost, StockPropertiesStoreTheirValuesAndTraceTheChange)
{
    IWispControl* control = m_host.Control();
    long value = -1;
    VARIANT_BOOL visible = VARIANT_TRUE;
    EXPECT_EQ(S_OK, control->get_BorderStyle(&value));
    EXPECT_EQ(0, value);
    EXPECT_EQ(S_OK, control->get_BorderVisible(&visible));
    EXPECT_EQ(VARIANT_FALSE, visible);

    // A container that listens for property changes is told of each put.
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, control->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()));
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, container->FindConnectionPoint(IID_IPropertyNotifySink, point.Put()));
    ComPtr<IConnectionPoint> none;
    EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(DIID_DWebBrowserEvents2, none.Put()));
    ComPtr<ChangeSink> sink = MakeComObject<ChangeSink>();
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, point->Advise(static_cast<IPropertyNotifySink*>(sink.Get()), &cookie));

    EXPECT_EQ(S_OK, control->put_BorderStyle(1));
    EXPECT_EQ(S_OK, control->put_BorderWidth(4));
    EXPECT_EQ(S_OK, control->put_BorderVisible(5));
    EXPECT_EQ((std::vector<DISPID>{-504, -505, -519}), sink->changed);
    EXPECT_EQ(S_OK, point->Unadvise(cookie));
    EXPECT_EQ(S_OK, control->put_BorderWidth(4));
    EXPECT_EQ(3u, sink->changed.size());
    EXPECT_EQ(S_OK, control->get_BorderStyle(&value));
    EXPECT_EQ(1, value);
    EXPECT_EQ(S_OK, control->get_BorderWidth(&value));
    EXPECT_EQ(4, value);
    EXPECT_EQ(S_OK, control->get_BorderVisible(&visible));
    EXPECT_EQ(VARIANT_TRUE, visible);
    std::string text = TraceCapture::Since(m_mark);
    EXPECT_NE(std::string::npos, text.find("OnBorderStyleChanged\nOnBorderWidthChanged\nOnBorderVisibleChanged\n"));

    EXPECT_EQ(E_POINTER, control->get_BorderStyle(nullptr));
    EXPECT_EQ(E_POINTER, control->get_BorderWidth(nullptr));
    EXPECT_EQ(E_POINTER, control->get_BorderVisible(nullptr));
    EXPECT_EQ(E_POINTER, control->get_HWND(nullptr));

    IPersistStreamInit* persist = nullptr;
    ASSERT_EQ(S_OK, control->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)));
    EXPECT_EQ(S_OK, persist->IsDirty());
    persist->Release();
}

TEST_F(ControlInHost, UserInputGoesToTheParentOnlyWhileTheInformFlagIsSet)
{
    const UINT input[] = {WM_MOUSEMOVE, WM_RBUTTONDOWN, WM_LBUTTONDOWN, WM_MBUTTONDOWN, WM_KEYDOWN, WM_SYSKEYDOWN};
    for (UINT message : input)
        EXPECT_EQ(0, m_host.SendToControl(message, 1, MAKELPARAM(3, 4)));
    for (UINT message : input)
        EXPECT_EQ(1, m_host.CountMessages(message, ReceivedMessage::Container)) << message;
    const ReceivedMessage& last = m_host.Messages().back();
    EXPECT_EQ(1u, last.wParam);
    EXPECT_EQ(MAKELPARAM(3, 4), last.lParam);

    m_host.ClearMessages();
    EXPECT_EQ(S_OK, m_host.Control()->InformParentOfUserEvents(VARIANT_FALSE));
    for (UINT message : input)
        EXPECT_EQ(0, m_host.SendToControl(message, 1, 0));
    EXPECT_TRUE(m_host.Messages().empty());
    EXPECT_EQ(S_OK, m_host.Control()->InformParentOfUserEvents(VARIANT_TRUE));
    m_host.SendToControl(WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(1, m_host.CountMessages(WM_KEYDOWN, ReceivedMessage::Container));
}

TEST_F(ControlInHost, WithoutAPageEventsTraceTheFailedLookupAndHttpBlocksAreStillFreed)
{
    m_host.SendToControl(RM_DESKTOP_LOADED);
    m_host.SendToControl(RM_NEW_CONTENT_AVAILABLE);
    m_host.SendToControl(RM_NEW_DESKTOP_INSTANCE);
    std::string text = TraceCapture::Since(m_mark);
    EXPECT_NE(std::string::npos, text.find("CWispControl::ScriptMethodExists(QDOnDesktopLoaded) - Failed getting "
                                           "document IDispatch.  hr=0x"));
    EXPECT_NE(std::string::npos, text.find("WispControl::OnDesktopLoaded - ScriptMethodExists failed.\n"));
    EXPECT_NE(std::string::npos, text.find("WispControl::OnNewContentAvailable\n"));
    EXPECT_NE(std::string::npos, text.find("WispControl::OnNewContentAvailable - ScriptMethodExists failed.\n"));
    EXPECT_NE(std::string::npos, text.find("WispControl::OnNewDesktopInstance - ScriptMethodExists failed.\n"));

    void* block = m_host.PostHttpComplete(7, 200, "body");
    ASSERT_NE(nullptr, block);
    EXPECT_TRUE(IsLiveMessageBlock(block));
    EXPECT_TRUE(TraceCapture::WaitFor("ScriptObject::Init - piBrowser2 is NULL.\n", m_mark));
    testing_support::PumpMessages(50);
    EXPECT_EQ(1, m_host.CountMessages(RM_ASYNC_HTTP_COMPLETE));
    EXPECT_FALSE(IsLiveMessageBlock(block));

    std::size_t mark = TraceCapture::Mark();
    EXPECT_EQ(0, m_host.SendToControl(RM_EMAIL_VERIFY_COMPLETE, 0, 0));
    EXPECT_TRUE(Traced(mark, "CWispControl::OnEmailVerifyComplete can't get data! bailing \n"));
}

TEST_F(ControlInHost, ForgedMessageBlocksAreTracedAndIgnored)
{
    // What another process could post: an unmapped address, an address of ours that no block
    // starts at, a block already freed.
    void* freed = AllocateMessageBlock(RM_ASYNC_HTTP_COMPLETE, 32);
    ASSERT_TRUE(FreeMessageBlock(freed));
    char local[32] = {};
    // And blocks of this process that are no posted block of the handler's kind: one still
    // being filled, one posted as another kind.
    void* unposted = NewHttpResultBlock(200, "not yet", 7);
    EmailVerifyRequest* unpostedRecord = NewEmailVerifyRequest(1, "user", "secret", "verified", nullptr);
    void* otherKind = AllocateMessageBlock(RM_EMAIL_CHECK_COMPLETE, 64);
    ASSERT_TRUE(PostMessageBlock(nullptr, 0, otherKind));
    for (void* forged : {reinterpret_cast<void*>(0x10), static_cast<void*>(local), freed, unposted,
                         static_cast<void*>(unpostedRecord), otherKind}) {
        SCOPED_TRACE(forged);
        std::size_t mark = TraceCapture::Mark();
        EXPECT_EQ(0, m_host.SendToControl(RM_ASYNC_HTTP_COMPLETE, 1, reinterpret_cast<LPARAM>(forged)));
        EXPECT_TRUE(Traced(mark, " is no result block of this process; ignored.\n"));
        EXPECT_EQ(0, m_host.SendToControl(RM_EMAIL_VERIFY_COMPLETE, 0, reinterpret_cast<LPARAM>(forged)));
        EXPECT_TRUE(Traced(mark, " is no verification record of this process; ignored.\n"));
    }
    for (void* ours : {unposted, static_cast<void*>(unpostedRecord), otherKind})
        EXPECT_TRUE(FreeMessageBlock(ours)) << "left to its holder";
    // A real block is still taken, once.
    void* block = m_host.PostHttpComplete(8, 200, "real");
    ASSERT_NE(nullptr, block);
    EXPECT_TRUE(testing_support::PumpUntil([&] { return !IsLiveMessageBlock(block); }, 5000));
    std::size_t mark = TraceCapture::Mark();
    m_host.SendToControl(RM_ASYNC_HTTP_COMPLETE, 8, reinterpret_cast<LPARAM>(block));
    EXPECT_TRUE(Traced(mark, " is no result block of this process; ignored.\n"));
}

TEST_F(ControlInHost, ResultsStillQueuedWhenTheWindowGoesAreFreed)
{
    HWND window = m_host.ControlWindow();
    void* snapshot = AllocateMessageBlock(RM_EMAIL_CHECK_COMPLETE, 64);
    EmailVerifyRequest* record = NewEmailVerifyRequest(1, "user", "secret", "verified", window);
    ASSERT_TRUE(PostMessageBlock(window, 0, snapshot));
    ASSERT_TRUE(PostMessageBlock(window, 0, record));
    DestroyWindow(window);
    EXPECT_FALSE(IsLiveMessageBlock(snapshot));
    EXPECT_FALSE(IsLiveMessageBlock(record));
}

// While it is set, Wisp.dll's allocations for a text of about kLongName characters fail on this
// thread: a method handed such a text runs out of memory and throws inside the library. Only
// those: the runtime's own small allocations (threads, exceptions) must still succeed.
const std::size_t kLongName = 1000;
DWORD g_failAllocationsOn = 0;
void* (__cdecl* g_malloc)(size_t) = nullptr;
void* __cdecl FailingMalloc(size_t size)
{
    const bool fail = GetCurrentThreadId() == g_failAllocationsOn && size >= kLongName && size < 2 * kLongName;
    return fail ? nullptr : g_malloc(size);
}

TEST_F(ControlInHost, AMethodThatThrowsAnswersAnEmptyResultAndNoScriptError)
{
    HMODULE wisp = GetModuleHandleA("Wisp.dll");
    ASSERT_NE(nullptr, wisp);
    testing_support::ImportHook hook(wisp, "msvcrt.dll", "malloc", reinterpret_cast<void*>(&FailingMalloc));
    ASSERT_TRUE(hook.Installed());
    g_malloc = reinterpret_cast<void* (__cdecl*)(size_t)>(hook.Original());
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[1].vt = VT_BSTR;
    args[1].bstrVal = SysAllocString(L"GetPreference");
    args[0].vt = VT_BSTR;
    args[0].bstrVal = SysAllocString(std::wstring(kLongName, L'n').c_str());
    VARIANT result;
    VariantInit(&result);
    result.vt = VT_I4;
    result.lVal = 9;
    g_failAllocationsOn = GetCurrentThreadId();
    const HRESULT hr = InvokeControl(502, DISPATCH_METHOD, args, 2, &result);
    g_failAllocationsOn = 0;
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(VT_EMPTY, result.vt);
    EXPECT_TRUE(Traced(m_mark, "CallApplicationMethodDispatch(GetPreference) - exception caught.\n"));
    VariantClear(&args[0]);
    VariantClear(&args[1]);
}

TEST_F(ControlInHost, AFailedInitLeavesTheChildDispatchNull)
{
    IDispatch* child = reinterpret_cast<IDispatch*>(0x1);
    Bstr unregistered(L"{6A1C43E2-0000-4000-8000-000000000000}");
    EXPECT_TRUE(FAILED(m_host.Control()->Init(unregistered.Get(), m_host.HostWindow(), nullptr, &child)));
    EXPECT_EQ(nullptr, child);
}

}  // namespace
