#include "ScreenSaver/PageScript.h"

#include "common/com/Bstr.h"

namespace screensaver {

bool PageHas(IWispControl* control, const wchar_t* name)
{
    if (!control)
        return false;
    Bstr method(name);
    VARIANT_BOOL exists = VARIANT_FALSE;
    return SUCCEEDED(control->ScriptMethodExists(method.Get(), &exists)) && exists != VARIANT_FALSE;
}

HRESULT CallPage(IWispControl* control, const wchar_t* name, VARIANT* result, ULONG count, VARIANT* args)
{
    if (!control)
        return E_POINTER;
    Bstr method(name);
    VARIANT ignored;
    VariantInit(&ignored);
    HRESULT hr = control->CallScriptMethod(method.Get(), result ? result : &ignored, count, args);
    VariantClear(&ignored);
    return hr;
}

}  // namespace screensaver
