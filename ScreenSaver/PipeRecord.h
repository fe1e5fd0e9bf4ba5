// The reading of one pipe-channel record (common/QDCopyData.h) from a byte stream that may hand
// it over in pieces: the 20-byte head, then the N further bytes its count claims, at most
// 4,096 bytes a read, each read straight into its place in the PipeBuffer. Free of Windows
// headers, so that it also builds and is fuzzed natively; NamedPipe reads through it.
#pragma once

#include <cstdint>

class PipeBuffer;

namespace pipe_record {

const uint32_t kHeadBytes = 20;
const uint32_t kReadChunkBytes = 4096;

// One read of at most `wanted` bytes into `into`: false when it failed; true with *got = 0 at
// the end of the stream.
typedef bool (*ReadFunction)(void* context, uint8_t* into, uint32_t wanted, uint32_t* got);

enum class Outcome {
    Whole,           // head and N further bytes are in the buffer
    ShortHead,       // a failed read or the end before 20 bytes
    Oversized,       // the head claims more than allowed: refused before anything is allocated
    NoRoom,          // the buffer could not hold the record
    BrokenPayload,   // a failed read or the end before N further bytes
};

struct Result {
    Outcome outcome = Outcome::ShortHead;
    bool headReadOk = true;    // ShortHead: whether the last head read succeeded
    uint32_t headBytes = 0;    // head bytes read
    uint32_t byteCount = 0;    // N, as the head claims it
    uint32_t length = 0;       // Whole: 20 + N
};

// Reads one record into buffer (whose earlier contents stay before it).
Result Read(ReadFunction read, void* context, PipeBuffer& buffer, uint32_t maxByteCount);

}  // namespace pipe_record
