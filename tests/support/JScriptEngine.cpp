#include "tests/support/JScriptEngine.h"

#include "common/com/Bstr.h"
#include "common/com/ComObject.h"

#include <initguid.h>

namespace testing_support {

namespace {
// {F414C260-6AC0-11CF-B6D1-00AA00BBBB58}
DEFINE_GUID(CLSID_WineJScript, 0xf414c260, 0x6ac0, 0x11cf, 0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58);
#ifdef _WIN64
DEFINE_GUID(IID_ScriptParse, 0xc7ef7658, 0xe1ee, 0x480e, 0x97, 0xea, 0xd5, 0x2c, 0xb4, 0xd7, 0x6d, 0x17);
#else
DEFINE_GUID(IID_ScriptParse, 0xbb1a2ae2, 0xa4f9, 0x11cf, 0x8f, 0x20, 0x00, 0x80, 0x5f, 0x2c, 0xd0, 0x64);
#endif
}  // namespace

class JScriptEngine::Site : public ComObject<Site>, public IActiveScriptSite {
public:
    WISP_COM_INTERFACES(Site, WISP_COM_ENTRY(IActiveScriptSite))
    WISP_IUNKNOWN_FORWARD()
    ComPtr<IDispatch> window;

    STDMETHODIMP GetLCID(LCID* lcid) override
    {
        *lcid = LOCALE_USER_DEFAULT;
        return S_OK;
    }
    STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override
    {
        if (info)
            *info = nullptr;
        if (item)
            *item = nullptr;
        if (!window || lstrcmpW(name, L"window") != 0)
            return TYPE_E_ELEMENTNOTFOUND;
        if (mask & SCRIPTINFO_IUNKNOWN) {
            *item = window.Get();
            window->AddRef();
        }
        return S_OK;
    }
    STDMETHODIMP GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    STDMETHODIMP OnStateChange(SCRIPTSTATE) override { return S_OK; }
    STDMETHODIMP OnScriptError(IActiveScriptError*) override { return S_OK; }
    STDMETHODIMP OnEnterScript() override { return S_OK; }
    STDMETHODIMP OnLeaveScript() override { return S_OK; }
};

JScriptEngine::JScriptEngine() = default;

JScriptEngine::~JScriptEngine()
{
    Close();
}

HRESULT JScriptEngine::Start(IDispatch* window)
{
    HRESULT hr = CoCreateInstance(CLSID_WineJScript, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                                  m_script.PutVoid());
    if (FAILED(hr))
        return hr;
    hr = m_script.As(IID_ScriptParse, m_parse);
    if (FAILED(hr))
        return hr;
    ComPtr<Site> site = MakeComObject<Site>();
    site->window = ComPtr<IDispatch>(window);
    m_site = site.Detach();
    hr = m_script->SetScriptSite(m_site);
    if (FAILED(hr))
        return hr;
    hr = m_parse->InitNew();
    if (FAILED(hr))
        return hr;
    if (window) {
        hr = m_script->AddNamedItem(L"window", SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS);
        if (FAILED(hr))
            return hr;
    }
    return m_script->SetScriptState(SCRIPTSTATE_STARTED);
}

HRESULT JScriptEngine::Run(const std::wstring& code)
{
    if (!m_parse)
        return E_UNEXPECTED;
    EXCEPINFO info = {};
    HRESULT hr = m_parse->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 0, SCRIPTTEXT_ISVISIBLE,
                                          nullptr, &info);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return hr;
}

ComPtr<IDispatch> JScriptEngine::Dispatch()
{
    ComPtr<IDispatch> dispatch;
    if (m_script)
        m_script->GetScriptDispatch(nullptr, dispatch.Put());
    return dispatch;
}

std::wstring JScriptEngine::Eval(const std::wstring& expression)
{
    if (!m_parse)
        return {};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO info = {};
    HRESULT hr = m_parse->ParseScriptText(expression.c_str(), nullptr, nullptr, nullptr, 0, 0,
                                          SCRIPTTEXT_ISEXPRESSION, &result, &info);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    std::wstring text;
    if (SUCCEEDED(hr) && SUCCEEDED(VariantChangeType(&result, &result, 0, VT_BSTR)) && result.bstrVal)
        text.assign(result.bstrVal, SysStringLen(result.bstrVal));
    VariantClear(&result);
    return text;
}

void JScriptEngine::Close()
{
    if (m_script) {
        m_script->Close();
        m_script = nullptr;
    }
    m_parse = nullptr;
    if (m_site) {
        m_site->Release();
        m_site = nullptr;
    }
}

}  // namespace testing_support
