#include "PipeBuffer.h"

#include "common/TraceLog.h"

#include <cstring>
#include <new>

bool PipeBuffer::Add(const void* bytes, DWORD length)
{
    if (!bytes) {
        TraceLog("PipeBuffer::Add - pBytes is NULL.\n");
        return false;
    }
    if (length > MAXDWORD - m_dwTotal) {
        TraceLog("PipeBuffer::Add - %lu more bytes would overflow the total.\n",
                 static_cast<unsigned long>(length));
        return false;
    }
    Chunk chunk{std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[length ? length : 1]), length};
    if (!chunk.bytes) {
        TraceLog("PipeBuffer::Add - out of memory for %lu bytes.\n",
                 static_cast<unsigned long>(length));
        return false;
    }
    std::memcpy(chunk.bytes.get(), bytes, length);
    try {
        m_chunks.push_back(std::move(chunk));
    } catch (const std::bad_alloc&) {
        TraceLog("PipeBuffer::Add - out of memory for the chunk list.\n");
        return false;
    }
    ++m_dwChunkCount;
    m_dwTotal += length;
    return true;
}

bool PipeBuffer::GetBuffer(const BYTE** buffer, DWORD* length)
{
    if (!buffer || !length) {
        TraceLog("PipeBuffer::GetBuffer - output pointer is NULL.\n");
        return false;
    }
    m_joined.reset();
    if (m_chunks.empty())
        return false;
    m_joined.reset(new (std::nothrow) BYTE[m_dwTotal ? m_dwTotal : 1]);
    if (!m_joined) {
        TraceLog("PipeBuffer::GetBuffer - out of memory for %lu bytes.\n",
                 static_cast<unsigned long>(m_dwTotal));
        return false;
    }
    BYTE* end = m_joined.get();
    for (const Chunk& chunk : m_chunks) {
        std::memcpy(end, chunk.bytes.get(), chunk.length);
        end += chunk.length;
    }
    *buffer = m_joined.get();
    *length = m_dwTotal;
    return true;
}

void PipeBuffer::Clear()
{
    m_chunks.clear();
    m_dwChunkCount = 0;
    m_dwTotal = 0;
    m_joined.reset();
}

DWORD PipeBuffer::ChunkLength(DWORD index) const
{
    return index < m_chunks.size() ? m_chunks[index].length : 0;
}
