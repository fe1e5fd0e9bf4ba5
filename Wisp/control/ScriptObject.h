// Calls functions of a page's script by name. Callers pass arguments in the order of the
// function's parameters; the call reverses them into DISPPARAMS. The caller keeps its argument
// VARIANTs (they are copied) and its result VARIANT, which it clears.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <dispex.h>
#include <exdisp.h>
#include <mshtml.h>

#include "common/com/ComPtr.h"

class ScriptObject {
public:
    ScriptObject() = default;
    ScriptObject(const ScriptObject&) = delete;
    ScriptObject& operator=(const ScriptObject&) = delete;

    // Each Init replaces what was held; a failed one leaves the object empty.
    bool Init(IDispatch* piDisp);
    bool Init(IHTMLDocument* piHTMLDoc);
    bool Init(IWebBrowser2* piBrowser2);

    // 0 when the name cannot be reached (0 is also treated as "not found" by every caller).
    DISPID GetDispID(const char* strName);
    bool CallMethod(const char* strName, const VARIANT* args, unsigned numArgs, VARIANT* result);

    IDispatchEx* Script() const { return m_script.Get(); }
    void Reset() { m_script = nullptr; }

private:
    ComPtr<IDispatchEx> m_script;
};
