// Context menus from menu files: page script loads a file into a numbered slot, shows it at the
// cursor any number of times and gets the picked command id back.
#include "Wisp/control/WispControl.h"
#include "Wisp/methods/ApplicationMethods.h"

namespace methods {

void AddMenu(MethodCall& call)
{
    call.SetInt(call.control->AddMenu(call.args.String(0).c_str()));
}

void DeleteMenu(MethodCall& call)
{
    call.SetBool(call.control->DeleteMenu(static_cast<int>(call.args.Int(0))));
}

void ShowMenu(MethodCall& call)
{
    call.SetInt(call.control->ShowMenu(static_cast<int>(call.args.Int(0))));
}

}  // namespace methods
