// The out-of-memory (or other COM) failure raised where a conversion cannot go on; COM entry
// points catch it and answer its HRESULT, so it never crosses an interface boundary.
#pragma once

#include <windows.h>

struct ComError {
    HRESULT hr;
};

[[noreturn]] inline void ThrowComError(HRESULT hr)
{
    throw ComError{hr};
}
