// Reading the arguments page script passes to CallApplicationMethod: DISPPARAMS holds them
// reversed, the method name last (rgvarg[cArgs-1]) and method argument i at rgvarg[cArgs-2-i].
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

class ApplicationMethodArgs {
public:
    explicit ApplicationMethodArgs(const DISPPARAMS* pdp) : m_pdp(pdp) {}

    unsigned Count() const { return m_pdp ? m_pdp->cArgs : 0; }
    // The method name in the ANSI code page; empty when there is none or it is not a string.
    std::string MethodName() const;
    // Method argument i (from 0), or null when the page did not pass it.
    const VARIANT* Arg(unsigned i) const;

private:
    const DISPPARAMS* m_pdp;
};
