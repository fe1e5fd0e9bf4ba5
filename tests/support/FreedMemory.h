// A look at the blocks this executable gives back to the heap: while a watch is armed, every
// block that operator delete receives on the arming thread is searched for a secret (as narrow
// text and as UTF-16) before it is freed. Linked into a suite as a source of its own, because it
// replaces the executable's operator new and delete.
#pragma once

#include <string>

namespace testing_support {

class FreedMemoryWatch {
public:
    // secret: at least 4 bytes, at most 255.
    explicit FreedMemoryWatch(const std::string& secret);
    ~FreedMemoryWatch();
    FreedMemoryWatch(const FreedMemoryWatch&) = delete;
    FreedMemoryWatch& operator=(const FreedMemoryWatch&) = delete;

    // Freed blocks that held the secret so far, narrow and wide.
    int NarrowHits() const;
    int WideHits() const;
};

}  // namespace testing_support
