#include "Wisp/control/ScriptObject.h"

#include "common/TraceLog.h"
#include "common/com/Bstr.h"
#include "common/com/ComError.h"

#include <cstring>
#include <vector>

bool ScriptObject::Init(IDispatch* piDisp)
{
    Reset();   // a failed Init leaves the object empty, not bound to the previous script
    if (!piDisp) {
        TraceLog("ScriptObject::Init - piDisp is NULL.\n");
        return false;
    }
    ComPtr<IDispatchEx> script;
    if (FAILED(piDisp->QueryInterface(IID_IDispatchEx, script.PutVoid())) || !script) {
        TraceLog("ScriptObject::Init - Failed querying IDispatchEx from piDisp.\n");
        return false;
    }
    m_script = std::move(script);
    return true;
}

bool ScriptObject::Init(IHTMLDocument* piHTMLDoc)
{
    Reset();
    if (!piHTMLDoc) {
        TraceLog("ScriptObject::Init - piHTMLDoc is NULL.\n");
        return false;
    }
    ComPtr<IDispatch> script;
    if (FAILED(piHTMLDoc->get_Script(script.Put())) || !script) {
        TraceLog("ScriptObject::Init - failed getting script dispatch from piHTMLDoc\n");
        return false;
    }
    return Init(script.Get());
}

bool ScriptObject::Init(IWebBrowser2* piBrowser2)
{
    Reset();
    if (!piBrowser2) {
        TraceLog("ScriptObject::Init - piBrowser2 is NULL.\n");
        return false;
    }
    ComPtr<IDispatch> pdispDoc;
    if (FAILED(piBrowser2->get_Document(pdispDoc.Put()))) {
        TraceLog("ScriptObject::Init - Failed getting document from piBrowser2.\n");
        return false;
    }
    ComPtr<IHTMLDocument> document;
    if (!pdispDoc || FAILED(pdispDoc.As(IID_IHTMLDocument, document)) || !document) {
        TraceLog("ScriptObject::Init - failed querying IHTMLDocument from pdispDoc.\n");
        return false;
    }
    return Init(document.Get());
}

DISPID ScriptObject::GetDispID(const char* strName)
{
    if (!strName) {
        TraceLog("ScriptObject::GetDispID - strName is NULL.\n");
        return 0;
    }
    if (std::strchr(strName, '.')) {
        TraceLog("ScriptObject::GetDispID - Failed.  Only immediate children may be accessed. '%s'.\n", strName);
        return 0;
    }
    if (!m_script) {
        TraceLog("ScriptObject::GetDispID - failed getting dispid for '%s'.  hr=0x%X.\n", strName,
                 static_cast<unsigned>(E_POINTER));
        return 0;
    }
    Bstr name = Bstr::FromAnsi(strName);
    if (!name.Get() && *strName)
        ThrowComError(E_OUTOFMEMORY);
    DISPID dispid = 0;
    HRESULT hr = m_script->GetDispID(name.Get(), 0, &dispid);
    if (FAILED(hr)) {
        TraceLog("ScriptObject::GetDispID - failed getting dispid for '%s'.  hr=0x%X.\n", strName,
                 static_cast<unsigned>(hr));
        if (hr == DISP_E_UNKNOWNNAME)
            TraceLog("    DISP_E_UNKNOWNNAME\n");
        return 0;
    }
    return dispid;
}

bool ScriptObject::CallMethod(const char* strName, const VARIANT* args, unsigned numArgs, VARIANT* result)
{
    if (!strName) {
        TraceLog("ScriptObject::CallMethod - strName is NULL.\n");
        return false;
    }
    if (std::strchr(strName, '.')) {
        TraceLog("ScriptObject::CallMethod - Failed.  Only immediate children may be accessed. '%s'.\n", strName);
        return false;
    }
    DISPID dispid = GetDispID(strName);
    if (dispid == 0) {
        TraceLog("ScriptObject::CallMethod - failed getting dispid for '%s'.\n", strName);
        return false;
    }
    // DISPPARAMS holds the last argument first. The arguments are lent as they are, not copied:
    // the callee only reads them, and a copy of a large text (an HTTP body) cost more than the call.
    std::vector<VARIANT> reversed(numArgs);
    for (unsigned i = 0; i < numArgs; ++i) {
        if (args)
            reversed[i] = args[numArgs - 1 - i];
        else
            VariantInit(&reversed[i]);
    }
    DISPPARAMS params = {numArgs ? reversed.data() : nullptr, nullptr, numArgs, 0};
    EXCEPINFO excepinfo;
    std::memset(&excepinfo, 0, sizeof excepinfo);
    HRESULT hr = m_script->InvokeEx(dispid, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                                    &excepinfo, nullptr);
    SysFreeString(excepinfo.bstrSource);
    SysFreeString(excepinfo.bstrDescription);
    SysFreeString(excepinfo.bstrHelpFile);
    if (FAILED(hr)) {
        TraceLog("ScriptObject::CallMethod - Invoke failed. hr=0x%X\n", static_cast<unsigned>(hr));
        return false;
    }
    return true;
}
