// Page script: Wine's JScript engine hosted through IActiveScript, with the page's window as the
// global named item "window" (so `external`, `document`, `alert` work bare and as window.x).
#pragma once

#include "common/com/ComObject.h"

#include <activscp.h>

#include <functional>
#include <string>

namespace standin {

class ScriptSite : public ComObject<ScriptSite>, public IActiveScriptSite, public IActiveScriptSiteWindow {
public:
    WISP_COM_INTERFACES(ScriptSite, WISP_COM_ENTRY(IActiveScriptSite) WISP_COM_ENTRY(IActiveScriptSiteWindow))
    WISP_IUNKNOWN_FORWARD()

    using ErrorSink = std::function<void(const std::wstring& message)>;
    ScriptSite(IDispatch* window, HWND hwnd, ErrorSink onError);
    ~ScriptSite() override;

    HRESULT Start();
    // Runs a script block (or an event handler's code). A script error reaches OnScriptError
    // and fails the call.
    HRESULT Execute(const std::wstring& code, const std::wstring& where);
    // Evaluates an expression and hands back its value.
    HRESULT Evaluate(const std::wstring& expression, VARIANT* result);
    // The engine's global object: page functions and variables, with IDispatchEx.
    HRESULT GlobalDispatch(IDispatch** out);
    // Drops the engine and the window; the page is gone.
    void Close();

    // IActiveScriptSite
    STDMETHODIMP GetLCID(LCID* lcid) override;
    STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override;
    STDMETHODIMP GetDocVersionString(BSTR* version) override;
    STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    STDMETHODIMP OnStateChange(SCRIPTSTATE) override { return S_OK; }
    STDMETHODIMP OnScriptError(IActiveScriptError* error) override;
    STDMETHODIMP OnEnterScript() override { return S_OK; }
    STDMETHODIMP OnLeaveScript() override { return S_OK; }
    // IActiveScriptSiteWindow
    STDMETHODIMP GetWindow(HWND* hwnd) override;
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

private:
    ComPtr<IDispatch> m_window;
    HWND m_hwnd;
    ErrorSink m_onError;
    ComPtr<IActiveScript> m_engine;
    ComPtr<IUnknown> m_parse;   // IActiveScriptParse of this architecture
};

}  // namespace standin
