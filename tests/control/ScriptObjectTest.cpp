// The script bridge against Wine's JScript engine and against a recording script object.
#include "Wisp/control/ScriptObject.h"

#include "common/com/Bstr.h"
#include "common/com/ComObject.h"
#include "tests/support/JScriptEngine.h"
#include "tests/support/TraceCapture.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using testing_support::JScriptEngine;
using testing_support::TraceCapture;

namespace {

// A page document whose Script property is whatever the test gives it.
class FakeDocument : public ComObject<FakeDocument>, public IHTMLDocument {
public:
    WISP_COM_INTERFACES(FakeDocument, WISP_COM_ENTRY(IHTMLDocument) WISP_COM_ENTRY_IID(IID_IDispatch, IHTMLDocument))
    WISP_IUNKNOWN_FORWARD()
    explicit FakeDocument(IDispatch* script = nullptr) : m_script(script) {}
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP get_Script(IDispatch** script) override { return m_script.CopyTo(script); }

private:
    ComPtr<IDispatch> m_script;
};

// Plain IDispatch without IDispatchEx.
class PlainDispatch : public ComObject<PlainDispatch>, public IDispatch {
public:
    WISP_COM_INTERFACES(PlainDispatch, WISP_COM_ENTRY(IDispatch))
    WISP_IUNKNOWN_FORWARD()
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
};

// Records what the bridge hands a script object. "zero" resolves to DISPID 0; "f" to 5.
class RecordingScript : public ComObject<RecordingScript>, public IDispatchEx {
public:
    WISP_COM_INTERFACES(RecordingScript, WISP_COM_ENTRY(IDispatchEx) WISP_COM_ENTRY_IID(IID_IDispatch, IDispatchEx))
    WISP_IUNKNOWN_FORWARD()
    int lookups = 0, invokes = 0;
    LCID lcid = 0;
    WORD flags = 0;
    UINT cArgs = 99;
    bool nullArray = false;
    IServiceProvider* caller = reinterpret_cast<IServiceProvider*>(1);
    std::vector<std::wstring> argsAsText;   // as DISPPARAMS held them, rgvarg[0] first
    std::vector<BSTR> texts;                // the text arguments' own pointers, rgvarg[0] first

    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP GetDispID(BSTR name, DWORD, DISPID* id) override
    {
        ++lookups;
        if (lstrcmpW(name, L"f") == 0) {
            *id = 5;
            return S_OK;
        }
        if (lstrcmpW(name, L"zero") == 0) {
            *id = 0;
            return S_OK;
        }
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP InvokeEx(DISPID, LCID l, WORD w, DISPPARAMS* p, VARIANT*, EXCEPINFO*, IServiceProvider* sp) override
    {
        ++invokes;
        lcid = l;
        flags = w;
        cArgs = p->cArgs;
        nullArray = p->rgvarg == nullptr;
        caller = sp;
        for (UINT i = 0; i < p->cArgs; ++i) {
            if (p->rgvarg[i].vt == VT_BSTR)
                texts.push_back(p->rgvarg[i].bstrVal);
            VARIANT text;
            VariantInit(&text);
            VariantChangeType(&text, &p->rgvarg[i], 0, VT_BSTR);
            argsAsText.emplace_back(text.vt == VT_BSTR ? text.bstrVal : L"?");
            VariantClear(&text);
        }
        return S_OK;
    }
    STDMETHODIMP DeleteMemberByName(BSTR, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP DeleteMemberByDispID(DISPID) override { return E_NOTIMPL; }
    STDMETHODIMP GetMemberProperties(DISPID, DWORD, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMemberName(DISPID, BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetNextDispID(DWORD, DISPID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetNameSpaceParent(IUnknown**) override { return E_NOTIMPL; }
};

bool Traced(std::size_t mark, const std::string& line)
{
    return TraceCapture::Since(mark).find(line) != std::string::npos;
}

TEST(ScriptObjectInit, RefusesMissingOrUnsuitableObjectsWithOneLineEach)
{
    ScriptObject script;
    std::size_t mark = TraceCapture::Mark();
    EXPECT_FALSE(script.Init(static_cast<IDispatch*>(nullptr)));
    EXPECT_TRUE(Traced(mark, "ScriptObject::Init - piDisp is NULL.\n"));
    EXPECT_FALSE(script.Init(static_cast<IHTMLDocument*>(nullptr)));
    EXPECT_TRUE(Traced(mark, "ScriptObject::Init - piHTMLDoc is NULL.\n"));
    EXPECT_FALSE(script.Init(static_cast<IWebBrowser2*>(nullptr)));
    EXPECT_TRUE(Traced(mark, "ScriptObject::Init - piBrowser2 is NULL.\n"));

    ComPtr<PlainDispatch> plain = MakeComObject<PlainDispatch>();
    EXPECT_FALSE(script.Init(static_cast<IDispatch*>(plain.Get())));
    EXPECT_TRUE(Traced(mark, "ScriptObject::Init - Failed querying IDispatchEx from piDisp.\n"));

    ComPtr<FakeDocument> noScript = MakeComObject<FakeDocument>();
    EXPECT_FALSE(script.Init(static_cast<IHTMLDocument*>(noScript.Get())));
    EXPECT_TRUE(Traced(mark, "ScriptObject::Init - failed getting script dispatch from piHTMLDoc\n"));
    EXPECT_EQ(nullptr, script.Script());
}

TEST(ScriptObjectInit, AFailedInitLeavesTheObjectEmptyNotBoundToTheScriptBefore)
{
    ComPtr<RecordingScript> recording = MakeComObject<RecordingScript>();
    IDispatch* good = static_cast<IDispatchEx*>(recording.Get());
    ComPtr<PlainDispatch> plain = MakeComObject<PlainDispatch>();
    ComPtr<FakeDocument> noScript = MakeComObject<FakeDocument>();
    const std::function<bool(ScriptObject&)> failures[] = {
        [&](ScriptObject& s) { return s.Init(static_cast<IDispatch*>(plain.Get())); },
        [&](ScriptObject& s) { return s.Init(static_cast<IDispatch*>(nullptr)); },
        [&](ScriptObject& s) { return s.Init(static_cast<IHTMLDocument*>(noScript.Get())); },
        [&](ScriptObject& s) { return s.Init(static_cast<IWebBrowser2*>(nullptr)); },
    };
    for (const auto& fail : failures) {
        ScriptObject script;
        ASSERT_TRUE(script.Init(good));
        ASSERT_EQ(static_cast<IDispatchEx*>(recording.Get()), script.Script());
        EXPECT_FALSE(fail(script));
        EXPECT_EQ(nullptr, script.Script());
        EXPECT_FALSE(script.CallMethod("f", nullptr, 0, nullptr));
    }
    EXPECT_EQ(0, recording->invokes);
}

class ScriptObjectOnJScript : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, m_engine.Start());
        ASSERT_EQ(S_OK, m_engine.Run(L"var got = ''; var count = -1;"
                                     L"function join(a, b, c) { got = a + '|' + b + '|' + c; return 7; }"
                                     L"function argc() { count = arguments.length; }"
                                     L"function boom() { throw new Error('no'); }"
                                     L"var holder = { inner: function () { got = 'inner'; } };"));
        ComPtr<FakeDocument> document = MakeComObject<FakeDocument>(m_engine.Dispatch().Get());
        ASSERT_TRUE(m_script.Init(static_cast<IHTMLDocument*>(document.Get())));
    }
    JScriptEngine m_engine;
    ScriptObject m_script;
};

TEST_F(ScriptObjectOnJScript, PassesArgumentsInTheFunctionsOrderAndLeavesTheCallersIntact)
{
    VARIANT args[3];
    for (VARIANT& v : args)
        VariantInit(&v);
    args[0].vt = VT_I4;
    args[0].lVal = 1;
    args[1].vt = VT_BSTR;
    args[1].bstrVal = SysAllocString(L"two");
    args[2].vt = VT_BOOL;
    args[2].boolVal = VARIANT_TRUE;
    BSTR original = args[1].bstrVal;

    VARIANT result;
    VariantInit(&result);
    ASSERT_TRUE(m_script.CallMethod("join", args, 3, &result));
    EXPECT_EQ(L"1|two|true", m_engine.Eval(L"got"));
    EXPECT_EQ(VT_I4, result.vt);
    EXPECT_EQ(7, result.lVal);
    EXPECT_EQ(VT_BSTR, args[1].vt);
    EXPECT_EQ(original, args[1].bstrVal);
    EXPECT_STREQ(L"two", args[1].bstrVal);
    EXPECT_EQ(1, args[0].lVal);
    for (VARIANT& v : args)
        VariantClear(&v);

    ASSERT_TRUE(m_script.CallMethod("argc", nullptr, 0, nullptr));
    EXPECT_EQ(L"0", m_engine.Eval(L"count"));
}

TEST_F(ScriptObjectOnJScript, ReportsMissingDottedAndThrowingFunctions)
{
    std::size_t mark = TraceCapture::Mark();
    EXPECT_EQ(0, m_script.GetDispID("missing"));
    EXPECT_TRUE(Traced(mark, "ScriptObject::GetDispID - failed getting dispid for 'missing'.  hr=0x80020006.\n"
                             "    DISP_E_UNKNOWNNAME\n"));
    EXPECT_NE(0, m_script.GetDispID("join"));
    EXPECT_EQ(0, m_script.GetDispID(nullptr));
    EXPECT_TRUE(Traced(mark, "ScriptObject::GetDispID - strName is NULL.\n"));
    EXPECT_EQ(0, m_script.GetDispID("holder.inner"));
    EXPECT_TRUE(Traced(mark, "ScriptObject::GetDispID - Failed.  Only immediate children may be accessed. "
                             "'holder.inner'.\n"));

    mark = TraceCapture::Mark();
    EXPECT_FALSE(m_script.CallMethod("missing", nullptr, 0, nullptr));
    EXPECT_TRUE(Traced(mark, "ScriptObject::CallMethod - failed getting dispid for 'missing'.\n"));
    EXPECT_FALSE(m_script.CallMethod("holder.inner", nullptr, 0, nullptr));
    EXPECT_TRUE(Traced(mark, "ScriptObject::CallMethod - Failed.  Only immediate children may be accessed. "
                             "'holder.inner'.\n"));
    EXPECT_EQ(L"", m_engine.Eval(L"got"));
    EXPECT_FALSE(m_script.CallMethod(nullptr, nullptr, 0, nullptr));
    EXPECT_TRUE(Traced(mark, "ScriptObject::CallMethod - strName is NULL.\n"));

    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = SysAllocString(L"kept");
    mark = TraceCapture::Mark();
    EXPECT_FALSE(m_script.CallMethod("boom", &arg, 1, nullptr));
    EXPECT_TRUE(Traced(mark, "ScriptObject::CallMethod - Invoke failed. hr=0x"));
    EXPECT_STREQ(L"kept", arg.bstrVal);
    VariantClear(&arg);
}

TEST(ScriptObjectCall, BuildsDispparamsReversedWithTheUserLocaleAndNoCaller)
{
    ComPtr<RecordingScript> recorder = MakeComObject<RecordingScript>();
    ScriptObject script;
    ASSERT_TRUE(script.Init(static_cast<IDispatch*>(static_cast<IDispatchEx*>(recorder.Get()))));

    VARIANT args[2];
    for (int i = 0; i < 2; ++i) {
        VariantInit(&args[i]);
        args[i].vt = VT_I4;
        args[i].lVal = 10 + i;
    }
    ASSERT_TRUE(script.CallMethod("f", args, 2, nullptr));
    EXPECT_EQ(0x0400u, recorder->lcid);
    EXPECT_EQ(DISPATCH_METHOD, recorder->flags);
    EXPECT_EQ(nullptr, recorder->caller);
    ASSERT_EQ(2u, recorder->argsAsText.size());
    EXPECT_EQ(L"11", recorder->argsAsText[0]);   // the last argument first
    EXPECT_EQ(L"10", recorder->argsAsText[1]);

    // A text argument, an HTTP body of 1 MB say, is lent to the script as it is, not copied.
    Bstr body(std::wstring(1 << 20, L'x').c_str());
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = body.Get();
    ASSERT_TRUE(script.CallMethod("f", &text, 1, nullptr));
    ASSERT_EQ(1u, recorder->texts.size());
    EXPECT_EQ(body.Get(), recorder->texts[0]);
    EXPECT_EQ(1u << 20, SysStringLen(body.Get()));   // and the caller's text is intact

    ASSERT_TRUE(script.CallMethod("f", nullptr, 0, nullptr));
    EXPECT_EQ(0u, recorder->cArgs);
    EXPECT_TRUE(recorder->nullArray);

    // A name resolving to DISPID 0 counts as not found: nothing is invoked.
    int invokes = recorder->invokes;
    EXPECT_FALSE(script.CallMethod("zero", nullptr, 0, nullptr));
    EXPECT_EQ(invokes, recorder->invokes);
    // Dotted names never reach the script object.
    int lookups = recorder->lookups;
    EXPECT_FALSE(script.CallMethod("a.b", nullptr, 0, nullptr));
    EXPECT_EQ(lookups, recorder->lookups);
}

}  // namespace
