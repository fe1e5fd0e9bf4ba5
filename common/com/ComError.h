// The out-of-memory (or other COM) failure raised where a conversion cannot go on; COM entry
// points catch it and answer its HRESULT, so it never crosses an interface boundary.
#pragma once

#include <windows.h>

#include <new>

#include "common/TraceLog.h"

struct ComError {
    HRESULT hr;
};

[[noreturn]] inline void ThrowComError(HRESULT hr)
{
    throw ComError{hr};
}

// Runs the body of a COM method and answers its HRESULT; whatever it throws becomes one, since
// no exception may cross an interface boundary. Anything but the two expected kinds is traced
// with `where` ("Class::Method").
template <class Body>
HRESULT ComBoundary(const char* where, Body&& body) noexcept
{
    try {
        return body();
    } catch (const ComError& e) {
        return e.hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        TraceLog("%s - exception caught.\n", where);
        return E_UNEXPECTED;
    }
}
