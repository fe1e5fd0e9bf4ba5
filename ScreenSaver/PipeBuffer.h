// Collects the bytes of one pipe record as they arrive, one chunk per read, and joins them on
// request. The joined buffer stays owned by the PipeBuffer until the next join or Clear.
#pragma once

#include <windows.h>

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
    bool Add(const void* bytes, DWORD length);
    // Joins all chunks in order; false when there is nothing to join.
    bool GetBuffer(const BYTE** buffer, DWORD* length);
    void Clear();

    DWORD ChunkCount() const { return m_dwChunkCount; }
    DWORD ChunkLength(DWORD index) const;   // 0 past the last chunk
    DWORD Total() const { return m_dwTotal; }

private:
    struct Chunk {
        std::unique_ptr<BYTE[]> bytes;
        DWORD length;
    };

    std::vector<Chunk> m_chunks;
    DWORD m_dwChunkCount = 0;
    DWORD m_dwTotal = 0;   // always the sum of the chunk lengths
    std::unique_ptr<BYTE[]> m_joined;
};
