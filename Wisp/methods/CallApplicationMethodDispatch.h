// Reading the arguments page script passes to CallApplicationMethod: DISPPARAMS holds them
// reversed, the method name last (rgvarg[cArgs-1]) and method argument i at rgvarg[cArgs-2-i].
// A position the page did not pass reads as empty (empty string, 0, false, no object).
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

class CWispControl;

class ApplicationMethodArgs {
public:
    explicit ApplicationMethodArgs(const DISPPARAMS* pdp) : m_pdp(pdp) {}

    unsigned Count() const { return m_pdp ? m_pdp->cArgs : 0; }
    // The method name in the ANSI code page; empty when there is none or it is not a string.
    std::string MethodName() const;
    // Method argument i (from 0), or null when the page did not pass it.
    const VARIANT* Arg(unsigned i) const;
    bool IsString(unsigned i) const;

    // Each reads the value field the method expects, whatever the variant's type; only the
    // pointer fields are read from variants that really hold a pointer of that kind, so that
    // a number in a string position cannot be taken for an address.
    std::string String(unsigned i) const;
    long Int(unsigned i) const;
    short Short(unsigned i) const;
    bool Bool(unsigned i) const;
    IDispatch* Object(unsigned i) const;

private:
    const DISPPARAMS* m_pdp;
};

// What one application method works with. The result starts empty; the handler sets it.
struct MethodCall {
    CWispControl* control;
    const ApplicationMethodArgs& args;
    VARIANT& result;

    void SetBool(bool value);
    void SetInt(long value);
    void SetShort(short value);
    void SetString(const std::string& text);
    void SetObject(IDispatch* object);   // adds a reference
};

using ApplicationMethod = void (*)(MethodCall& call);

// The result kinds a row may answer. docs/page-api.md states them to page authors and a test
// holds it against this table; the dispatcher traces a handler answering a kind its row does not
// name, so that the table stays true to the handlers as well.
enum ApplicationMethodResult : unsigned {
    kResultEmpty = 1u << 0,
    kResultBool = 1u << 1,
    kResultI4 = 1u << 2,
    kResultI2 = 1u << 3,
    kResultBstr = 1u << 4,
    kResultDispatch = 1u << 5,
};

struct ApplicationMethodEntry {
    const char* name;
    ApplicationMethod handler;
    unsigned results;   // ApplicationMethodResult flags
};

// The method table in matching order, and its length.
extern const ApplicationMethodEntry kApplicationMethods[];
extern const unsigned kApplicationMethodCount;
