#include "Wisp/windows/HostedPage.h"

#include "common/ControlCreationMutex.h"
#include "common/TraceLog.h"
#include "common/com/Bstr.h"

#include <exdisp.h>
#include <mshtml.h>

#include <vector>

namespace {

const LCID kNameLocale = 0x0800;   // LOCALE_SYSTEM_DEFAULT

// The page's script object, through the hosted browser's document. The nested control answers
// no IWebBrowser2 of its own: the browser is the page dispatch its Init handed out.
HRESULT PageScript(IDispatch* page, ComPtr<IDispatch>& script, bool traced)
{
    ComPtr<IWebBrowser2> browser;
    HRESULT hr = page ? page->QueryInterface(IID_IWebBrowser2, browser.PutVoid()) : E_POINTER;
    ComPtr<IDispatch> document;
    if (SUCCEEDED(hr))
        hr = browser->get_Document(document.Put());
    if (FAILED(hr)) {
        if (traced)
            TraceLog("CallScriptMethod - Failed getting html document dispatch from browser.\n");
        return hr;
    }
    ComPtr<IHTMLDocument> html;
    if (!document || FAILED(document.As(IID_IHTMLDocument, html)) || !html) {
        if (traced)
            TraceLog("CallScriptMethod - Failed getting Ihtml document from disp doc.\n");
        return E_NOINTERFACE;
    }
    hr = html->get_Script(script.Put());
    if (FAILED(hr) || !script) {
        if (traced)
            TraceLog("CallScriptMethod - Failed getting script object from document.\n");
        return SUCCEEDED(hr) ? S_FALSE : hr;
    }
    return S_OK;
}

}  // namespace

HRESULT HostedPage::Create(HWND window, const char* timeoutTrace, const NestedPageTrust& trust)
{
    Release();
    if (!window)
        return E_INVALIDARG;
    m_container = MakeComObject<AxHost>();
    m_container->Attach(window);
    {
        // Only waits out a creation under way elsewhere; the process keeps its own handle open,
        // without which the class-object gate hands out no control.
        ControlCreationLock lock(timeoutTrace);
    }
    HRESULT hr = m_container->CreateControl(L"Wisp.WispControl");
    if (SUCCEEDED(hr))
        hr = m_container->QueryControl(IID_IWispControl, m_control.PutVoid());
    if (SUCCEEDED(hr)) {
        ComPtr<IWispNestedControl> nested;
        hr = m_control->QueryInterface(IID_IWispNestedControl, nested.PutVoid());
        if (SUCCEEDED(hr))
            hr = nested->MarkNested(trust.anchor.c_str(), trust.external ? TRUE : FALSE);
        if (FAILED(hr))
            TraceLog("HostedPage::Create - the control cannot be marked as the library's own, hr=0x%X\n",
                     static_cast<unsigned>(hr));
    }
    if (FAILED(hr))
        Release();
    return hr;
}

HRESULT HostedPage::Init(BSTR url, HWND notifyWindow, IDispatch* parent)
{
    if (!m_control)
        return E_UNEXPECTED;
    return m_control->Init(url, notifyWindow, parent, m_page.Put());
}

HRESULT HostedPage::LoadHTML(BSTR url)
{
    return m_control ? m_control->LoadHTML(url) : E_UNEXPECTED;
}

void HostedPage::UnInit()
{
    if (m_control)
        m_control->UnInit();
}

void HostedPage::Release()
{
    m_page = nullptr;
    m_control = nullptr;
    if (m_container) {
        m_container->Detach();
        m_container = nullptr;
    }
}

HRESULT HostedPage::ScriptMethodExists(const char* name, bool& found) const
{
    found = false;
    HRESULT hr = E_POINTER;
    try {
        ComPtr<IDispatch> script;
        hr = name ? PageScript(m_page.Get(), script, false) : E_POINTER;
        if (hr == S_OK) {
            Bstr wide = Bstr::FromAnsi(name);
            LPOLESTR names[1] = {wide.Get()};
            DISPID dispid = 0;
            hr = script->GetIDsOfNames(IID_NULL, names, 1, kNameLocale, &dispid);
            found = SUCCEEDED(hr);
        }
        TraceLog("CWispPopupWindow::ScriptMethodExists looking for %s result %s \n", name ? name : "(null)",
                 found ? "found" : "not found");
    } catch (...) {
        TraceLog("Exception caught in CWispPopupWindow::ScriptMethodExists LastError = %d\n",
                 static_cast<int>(GetLastError()));
        found = false;
    }
    return hr;
}

HRESULT HostedPage::CallScriptMethod(const char* name, VARIANT* result, unsigned numArgs, const VARIANT* args) const
{
    ComPtr<IDispatch> script;
    HRESULT hr = PageScript(m_page.Get(), script, true);
    if (hr != S_OK)
        return hr == S_FALSE ? S_OK : hr;
    Bstr wide = Bstr::FromAnsi(name ? name : "");
    LPOLESTR names[1] = {wide.Get()};
    DISPID dispid = 0;
    hr = script->GetIDsOfNames(IID_NULL, names, 1, kNameLocale, &dispid);
    if (FAILED(hr)) {
        TraceLog("CallScriptMethod - Failed getting finding dispatch id of method '%s' .\n", name ? name : "");
        return hr;
    }
    // DISPPARAMS holds the arguments last first.
    std::vector<VARIANT> reversed(numArgs);
    for (unsigned i = 0; i < numArgs; ++i) {
        VariantInit(&reversed[i]);
        VariantCopy(&reversed[i], const_cast<VARIANT*>(&args[numArgs - 1 - i]));
    }
    DISPPARAMS params = {numArgs ? reversed.data() : nullptr, nullptr, numArgs, 0};
    EXCEPINFO excepinfo = {};
    UINT argError = 0;
    hr = script->Invoke(dispid, IID_NULL, 0, DISPATCH_METHOD, &params, result, &excepinfo, &argError);
    for (VARIANT& v : reversed)
        VariantClear(&v);
    SysFreeString(excepinfo.bstrSource);
    SysFreeString(excepinfo.bstrDescription);
    SysFreeString(excepinfo.bstrHelpFile);
    if (FAILED(hr))
        TraceLog("CallScriptMethod - Failed invoking method '%s', hr = 0x%X.\n", name ? name : "",
                 static_cast<unsigned>(hr));
    return hr;
}
