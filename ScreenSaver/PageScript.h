// The screen saver's calls into the page shown in its control: a function is called only when
// the page has it, through the control's own script interface.
#pragma once

#include <windows.h>

#include "Wisp_h.h"

namespace screensaver {

// False also when the control cannot tell.
bool PageHas(IWispControl* control, const wchar_t* name);
// Calls name with count arguments (first argument first). The arguments stay the caller's;
// result, when given, receives the function's value. E_FAIL when the page lacks the function.
HRESULT CallPage(IWispControl* control, const wchar_t* name, VARIANT* result = nullptr, ULONG count = 0,
                 VARIANT* args = nullptr);

}  // namespace screensaver
