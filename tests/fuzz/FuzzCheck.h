// What a fuzz target checks beyond the sanitizers: a property that fails prints what was
// expected and aborts, so libFuzzer keeps the input as a reproducer.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                             \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__,      \
                         #condition);                                                     \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)
