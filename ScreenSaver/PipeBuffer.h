// Collects the bytes of one pipe record as they arrive, one chunk per read, and joins them on
// request. The chunks lie one after the other in one store, so a reader can read straight
// into place (Reserve, then Commit) and the joined record needs no copying. The joined buffer
// stays owned by the PipeBuffer and valid until the next Add, Reserve or Clear. Free of
// Windows headers, so that the record reading also builds and is fuzzed natively; failures are
// answered, and traced by the caller.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class PipeBuffer {
public:
    PipeBuffer() = default;
    ~PipeBuffer() = default;
    PipeBuffer(const PipeBuffer&) = delete;
    PipeBuffer& operator=(const PipeBuffer&) = delete;

    // Appends a copy of the bytes as a new chunk. Null bytes, or a total that would pass
    // 32 bits, are refused.
    bool Add(const void* bytes, uint32_t length);
    // Room for at least `length` more bytes after the last chunk, to be filled by the caller
    // and taken in with Commit; null when it cannot be had.
    uint8_t* Reserve(uint32_t length);
    // Takes the next `length` bytes of the reserved room as a new chunk.
    bool Commit(uint32_t length);
    // All chunks in order; false when there is nothing to join.
    bool GetBuffer(const uint8_t** buffer, uint32_t* length);
    // Forgets the chunks. The store is kept for the next record unless it grew large.
    void Clear();

    uint32_t ChunkCount() const { return m_dwChunkCount; }
    uint32_t ChunkLength(uint32_t index) const;   // 0 past the last chunk
    uint32_t Total() const { return m_dwTotal; }

private:
    bool Grow(uint32_t length);

    std::vector<uint32_t> m_chunkLengths;
    uint32_t m_dwChunkCount = 0;
    uint32_t m_dwTotal = 0;   // always the sum of the chunk lengths
    std::unique_ptr<uint8_t[]> m_store;   // the chunks, joined
    uint32_t m_dwCapacity = 0;
};
