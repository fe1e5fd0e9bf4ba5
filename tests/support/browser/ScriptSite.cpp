#include "ScriptSite.h"

#include "common/com/Bstr.h"


namespace standin {

namespace {

const CLSID kClsidJScript = {0xf414c260, 0x6ac0, 0x11cf, {0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58}};
#ifdef _WIN64
const IID kIidActiveScriptParse = {0xc7ef7658, 0xe1ee, 0x480e, {0x97, 0xea, 0xd5, 0x2c, 0xb4, 0xd7, 0x6d, 0x17}};
#else
const IID kIidActiveScriptParse = {0xbb1a2ae2, 0xa4f9, 0x11cf, {0x8f, 0x20, 0x00, 0x80, 0x5f, 0x2c, 0xd0, 0x64}};
#endif

IActiveScriptParse* Parser(const ComPtr<IUnknown>& parse)
{
    return reinterpret_cast<IActiveScriptParse*>(parse.Get());
}

}  // namespace

ScriptSite::ScriptSite(IDispatch* window, HWND hwnd, ErrorSink onError)
    : m_window(window), m_hwnd(hwnd), m_onError(std::move(onError))
{
}

ScriptSite::~ScriptSite()
{
    Close();
}

HRESULT ScriptSite::Start()
{
    HRESULT hr = CoCreateInstance(kClsidJScript, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                                  m_engine.PutVoid());
    if (FAILED(hr))
        return hr;
    hr = m_engine->QueryInterface(kIidActiveScriptParse, m_parse.PutVoid());
    if (FAILED(hr))
        return hr;
    hr = m_engine->SetScriptSite(this);
    if (FAILED(hr))
        return hr;
    hr = Parser(m_parse)->InitNew();
    if (FAILED(hr))
        return hr;
    hr = m_engine->AddNamedItem(L"window", SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS);
    if (FAILED(hr))
        return hr;
    return m_engine->SetScriptState(SCRIPTSTATE_CONNECTED);
}

HRESULT ScriptSite::Execute(const std::wstring& code, const std::wstring&)
{
    if (!m_parse)
        return E_UNEXPECTED;
    EXCEPINFO info = {};
    HRESULT hr = Parser(m_parse)->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 0,
                                                  SCRIPTTEXT_ISVISIBLE, nullptr, &info);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return hr;
}

HRESULT ScriptSite::Evaluate(const std::wstring& expression, VARIANT* result)
{
    if (!m_parse)
        return E_UNEXPECTED;
    EXCEPINFO info = {};
    HRESULT hr = Parser(m_parse)->ParseScriptText(expression.c_str(), nullptr, nullptr, nullptr, 0, 0,
                                                  SCRIPTTEXT_ISEXPRESSION, result, &info);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return hr;
}

HRESULT ScriptSite::GlobalDispatch(IDispatch** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!m_engine)
        return E_UNEXPECTED;
    return m_engine->GetScriptDispatch(nullptr, out);
}

void ScriptSite::Close()
{
    if (m_engine) {
        ComPtr<IActiveScript> engine = std::move(m_engine);
        engine->SetScriptState(SCRIPTSTATE_DISCONNECTED);
        engine->Close();
    }
    m_parse = nullptr;
    m_window = nullptr;
}

STDMETHODIMP ScriptSite::GetLCID(LCID* lcid)
{
    if (!lcid)
        return E_POINTER;
    *lcid = LOCALE_USER_DEFAULT;
    return S_OK;
}

STDMETHODIMP ScriptSite::GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info)
{
    if (item)
        *item = nullptr;
    if (info)
        *info = nullptr;
    if (!name || _wcsicmp(name, L"window") != 0 || !m_window)
        return TYPE_E_ELEMENTNOTFOUND;
    if (mask & SCRIPTINFO_IUNKNOWN) {
        if (!item)
            return E_POINTER;
        return m_window->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(item));
    }
    return S_OK;
}

STDMETHODIMP ScriptSite::GetDocVersionString(BSTR* version)
{
    if (version)
        *version = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ScriptSite::OnScriptError(IActiveScriptError* error)
{
    if (!error)
        return E_POINTER;
    EXCEPINFO info = {};
    error->GetExceptionInfo(&info);
    if (info.pfnDeferredFillIn)
        info.pfnDeferredFillIn(&info);
    DWORD context = 0;
    ULONG line = 0;
    LONG column = 0;
    error->GetSourcePosition(&context, &line, &column);
    std::wstring message = L"line " + std::to_wstring(line + 1) + L": ";
    message += info.bstrDescription ? info.bstrDescription : L"script error";
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    if (m_onError)
        m_onError(message);
    return S_OK;
}

STDMETHODIMP ScriptSite::GetWindow(HWND* hwnd)
{
    if (!hwnd)
        return E_POINTER;
    *hwnd = m_hwnd;
    return S_OK;
}

}  // namespace standin
