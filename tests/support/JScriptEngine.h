// Wine's JScript engine run directly, for tests that need a real page-script object without a
// browser: parse a script, then hand out its script dispatch (which supports IDispatchEx).
// A named item "window" may be given; with it, script reaches the object as window.* and bare.
#pragma once

#include <windows.h>
#include <activscp.h>
#include <oaidl.h>

#include <string>

#include "common/com/ComPtr.h"

namespace testing_support {

class JScriptEngine {
public:
    JScriptEngine();
    ~JScriptEngine();
    JScriptEngine(const JScriptEngine&) = delete;
    JScriptEngine& operator=(const JScriptEngine&) = delete;

    // Starts the engine with `window` as the global "window" item (may be null).
    HRESULT Start(IDispatch* window = nullptr);
    HRESULT Run(const std::wstring& code);
    // The script's global object.
    ComPtr<IDispatch> Dispatch();
    // Evaluates an expression and answers it as text (empty on failure).
    std::wstring Eval(const std::wstring& expression);
    void Close();

private:
    class Site;
    Site* m_site = nullptr;
    ComPtr<IActiveScript> m_script;
    ComPtr<IActiveScriptParse> m_parse;
};

}  // namespace testing_support
