// The shell's list of browser windows (ShellWindows), which Wine offers only out of process
// and without items: registered in the test prefix with CLSID_ShellWindows' TreatAs pointing at
// it, so that in-process creation gives this one. Browsers join it as Internet Explorer's do,
// with IShellWindows::Register, and leave with Revoke; every object of the process sees the
// same list. Only Count, Item, Register and Revoke are supported.
#pragma once

#include "Stubs.h"

#include "common/com/ComObject.h"

// {0E7B6C4D-2F31-4A8B-9D5E-71C3A2B4F806}
static const CLSID CLSID_ShellWindowsStandIn = {0x0e7b6c4d, 0x2f31, 0x4a8b, {0x9d, 0x5e, 0x71, 0xc3, 0xa2, 0xb4, 0xf8, 0x06}};

namespace standin {

class ShellWindows : public ComObject<ShellWindows>, public IShellWindowsStubs {
public:
    WISP_COM_INTERFACES(ShellWindows, WISP_COM_ENTRY(IShellWindows) WISP_COM_ENTRY(IDispatch))
    WISP_IUNKNOWN_FORWARD()

    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

    STDMETHODIMP get_Count(LONG* count) override;
    // An index past the end answers S_FALSE and no item, as the shell's does.
    STDMETHODIMP Item(VARIANT index, IDispatch** item) override;
    STDMETHODIMP Register(IDispatch* browser, LONG hwnd, int swClass, LONG* cookie) override;
    STDMETHODIMP Revoke(LONG cookie) override;
};

}  // namespace standin
