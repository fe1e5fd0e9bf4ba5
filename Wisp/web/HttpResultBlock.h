// The block an asynchronous HTTP request posts with message 0x040C (lParam; wParam is the
// request id): a 32-bit status, a 32-bit length n counting the terminating NUL, n response
// bytes ending with NUL, then four zero bytes. A message block of kind 0x040C; the receiving
// window takes it with TakeMessageBlock.
#pragma once

#include <cstdint>
#include <cstddef>
#include <vector>

struct HttpResultHeader {
    uint32_t status;
    uint32_t length;
};

// The block's bytes for status and the `size` bytes of body (a NUL is added; no body at all
// gives length 0). False when the size cannot be represented or memory runs out.
bool BuildHttpResult(uint32_t status, const char* body, std::size_t size, std::vector<unsigned char>& block);
// The same in a new message block. Null when out of memory.
void* NewHttpResultBlock(uint32_t status, const char* body, std::size_t size);
// The status and the text of a block (the text ends at its first NUL; empty without a body).
uint32_t HttpResultStatus(const void* block);
const char* HttpResultText(const void* block);
