// How the library marks the controls it creates itself for a page (pop-up, balloon, HTML dialog,
// offscreen browser): a control a host creates takes the URL given to Init as the anchor of the
// pages it trusts (Wisp/control/PageTrust.h); a nested one inherits the anchor of the control
// whose page asked for it, and the offscreen browser's gives its pages no window.external at
// all. Internal to the library: no interface of the type library carries it.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <string>

// {5BCC69A9-616B-4631-A0CF-87FCA60927C3}
static const IID IID_IWispNestedControl = {0x5bcc69a9, 0x616b, 0x4631, {0xa0, 0xcf, 0x87, 0xfc, 0xa6, 0x09, 0x27, 0xc3}};

struct IWispNestedControl : public IUnknown {
    // Before Init. anchor: UTF-8, null or empty for none. external: FALSE gives the pages no
    // window.external.
    virtual HRESULT STDMETHODCALLTYPE MarkNested(const char* anchor, BOOL external) = 0;
};

// What a nested control inherits: the creating control's anchor; none and no external object for
// the offscreen browser.
struct NestedPageTrust {
    std::string anchor;
    bool external = true;
};
