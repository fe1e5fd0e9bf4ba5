// Collects the bytes of one pipe record as they arrive, one chunk per read, and joins them on
// request. The chunks lie one after the other in one store, so a reader can read straight
// into place (Reserve, then Commit) and the joined record needs no copying. The joined buffer
// stays owned by the PipeBuffer and valid until the next Add, Reserve or Clear.
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
    // Room for at least `length` more bytes after the last chunk, to be filled by the caller
    // and taken in with Commit; null when it cannot be had.
    BYTE* Reserve(DWORD length);
    // Takes the next `length` bytes of the reserved room as a new chunk.
    bool Commit(DWORD length);
    // All chunks in order; false when there is nothing to join.
    bool GetBuffer(const BYTE** buffer, DWORD* length);
    // Forgets the chunks. The store is kept for the next record unless it grew large.
    void Clear();

    DWORD ChunkCount() const { return m_dwChunkCount; }
    DWORD ChunkLength(DWORD index) const;   // 0 past the last chunk
    DWORD Total() const { return m_dwTotal; }

private:
    bool Grow(DWORD length);

    std::vector<DWORD> m_chunkLengths;
    DWORD m_dwChunkCount = 0;
    DWORD m_dwTotal = 0;   // always the sum of the chunk lengths
    std::unique_ptr<BYTE[]> m_store;   // the chunks, joined
    DWORD m_dwCapacity = 0;
};
