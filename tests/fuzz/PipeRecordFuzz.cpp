// Pipe-channel records read from a stream that hands its bytes over in pieces and may fail: a
// count above the limit is refused before anything is allocated (the run's allocation limit is
// far below what a count can claim), a record is read whole (head, then exactly the N bytes
// its head claims, in reads of at most 4,096 bytes) or reported as not read, and the records
// of one stream come out one after the other through one reused buffer.
//
// Input: one byte k (the k-th read fails; 0: none does), one byte n, n bytes of read sizes
// (0: as many as asked for), then the stream.
#include "ScreenSaver/PipeBuffer.h"
#include "ScreenSaver/PipeRecord.h"
#include "common/QDCopyData.h"
#include "tests/fuzz/FuzzCheck.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Small enough that a fuzzer-made record can exceed it, and below the allocation limit.
const uint32_t kMaxByteCount = 64 * 1024;

struct Stream {
    const uint8_t* bytes;
    std::size_t size;
    std::size_t position = 0;
    std::vector<uint8_t> sizes;
    std::size_t reads = 0;
    std::size_t failAt = 0;
    bool failed = false;
};

bool ReadStream(void* context, uint8_t* into, uint32_t wanted, uint32_t* got)
{
    Stream& stream = *static_cast<Stream*>(context);
    *got = 0;
    ++stream.reads;
    if (stream.failAt && stream.reads == stream.failAt) {
        stream.failed = true;
        return false;
    }
    std::size_t count = std::min<std::size_t>(wanted, stream.size - stream.position);
    if (!stream.sizes.empty()) {
        const uint8_t limit = stream.sizes[stream.reads % stream.sizes.size()];
        if (limit)
            count = std::min<std::size_t>(count, limit);
    }
    std::memcpy(into, stream.bytes + stream.position, count);
    stream.position += count;
    *got = static_cast<uint32_t>(count);
    return true;
}

uint32_t CountAt(const uint8_t* bytes)
{
    uint32_t count = 0;
    std::memcpy(&count, bytes + offsetof(QD_COPYDATASTRUCT, cbData), sizeof count);
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    Stream stream{};
    stream.failAt = data[0];
    std::size_t at = 2;
    for (std::size_t i = 0; i < data[1] % 8u && at < size; ++i)
        stream.sizes.push_back(data[at++]);
    stream.bytes = data + at;
    stream.size = size - at;

    PipeBuffer buffer;
    for (int record = 0; record < 64; ++record) {
        const std::size_t start = stream.position;
        const pipe_record::Result result = pipe_record::Read(ReadStream, &stream, buffer, kMaxByteCount);
        const std::size_t left = stream.size - start;
        if (result.outcome == pipe_record::Outcome::ShortHead) {
            FUZZ_CHECK(result.headBytes < pipe_record::kHeadBytes);
            FUZZ_CHECK(stream.failed || left < pipe_record::kHeadBytes);
            FUZZ_CHECK(buffer.Total() == 0);
            break;
        }
        FUZZ_CHECK(result.headBytes == pipe_record::kHeadBytes);
        const uint32_t claimed = CountAt(stream.bytes + start);
        FUZZ_CHECK(result.byteCount == claimed);
        if (result.outcome == pipe_record::Outcome::Oversized) {
            FUZZ_CHECK(claimed > kMaxByteCount && buffer.Total() == 0);
            break;
        }
        FUZZ_CHECK(result.outcome != pipe_record::Outcome::NoRoom);
        if (result.outcome == pipe_record::Outcome::BrokenPayload) {
            FUZZ_CHECK(stream.failed || left < pipe_record::kHeadBytes + claimed);
            break;
        }
        // Whole: exactly the record's bytes, as they stood in the stream, and no more read.
        FUZZ_CHECK(result.outcome == pipe_record::Outcome::Whole);
        FUZZ_CHECK(result.length == pipe_record::kHeadBytes + claimed);
        FUZZ_CHECK(stream.position - start == result.length);
        const uint8_t* joined = nullptr;
        uint32_t length = 0;
        FUZZ_CHECK(buffer.GetBuffer(&joined, &length) && length == result.length);
        FUZZ_CHECK(std::memcmp(joined, stream.bytes + start, length) == 0);
        FUZZ_CHECK(QDCopyDataFromBytes(joined, length) != nullptr);
        FUZZ_CHECK(buffer.ChunkLength(0) == pipe_record::kHeadBytes);
        for (uint32_t k = 1; k < buffer.ChunkCount(); ++k)
            FUZZ_CHECK(buffer.ChunkLength(k) >= 1 && buffer.ChunkLength(k) <= pipe_record::kReadChunkBytes);
        buffer.Clear();
    }
    return 0;
}
