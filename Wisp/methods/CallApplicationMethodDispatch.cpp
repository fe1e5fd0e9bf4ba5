// The entry every page call of window.external.CallApplicationMethod(name, ...) reaches. The
// method table is matched here in table order; a name that matches nothing is traced and
// answered with an empty result.
#include "Wisp/methods/CallApplicationMethodDispatch.h"

#include "common/TraceLog.h"
#include "common/com/Strings.h"
#include "Wisp/control/WispControl.h"

std::string ApplicationMethodArgs::MethodName() const
{
    if (Count() == 0 || !m_pdp->rgvarg)
        return {};
    const VARIANT& name = m_pdp->rgvarg[m_pdp->cArgs - 1];
    if (name.vt != VT_BSTR)
        return {};
    return AnsiFromWide(name.bstrVal, SysStringLen(name.bstrVal));
}

const VARIANT* ApplicationMethodArgs::Arg(unsigned i) const
{
    if (!m_pdp || !m_pdp->rgvarg || i + 1 >= m_pdp->cArgs)
        return nullptr;
    return &m_pdp->rgvarg[m_pdp->cArgs - 2 - i];
}

bool CWispControl::CallApplicationMethodDispatch(DISPPARAMS* pdp, VARIANT* pvarResult)
{
    ApplicationMethodArgs args(pdp);
    std::string name = args.MethodName();
    (void)pvarResult;
    TraceLog("CallApplicationMethodDispatch(%s) Method not found.\n", name.c_str());
    return false;
}
