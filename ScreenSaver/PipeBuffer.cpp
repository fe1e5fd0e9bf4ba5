#include "PipeBuffer.h"

#include "common/TraceLog.h"

#include <cstring>
#include <new>

namespace {

// A store up to this size is kept between records: the pipe buffer's size, so ordinary
// records are read without allocating, and a rare large one does not stay pinned.
const DWORD kKeptCapacity = 64000;

}  // namespace

bool PipeBuffer::Grow(DWORD length)
{
    if (length > MAXDWORD - m_dwTotal) {
        TraceLog("PipeBuffer::Add - %lu more bytes would overflow the total.\n",
                 static_cast<unsigned long>(length));
        return false;
    }
    const DWORD needed = m_dwTotal + length;
    if (needed <= m_dwCapacity && m_store)
        return true;
    DWORD capacity = m_dwCapacity > MAXDWORD / 2 ? MAXDWORD : m_dwCapacity * 2;
    if (capacity < needed)
        capacity = needed;
    // Not zero-filled: every byte handed out has been written by Add or by a read.
    std::unique_ptr<BYTE[]> store(new (std::nothrow) BYTE[capacity ? capacity : 1]);
    if (!store) {
        TraceLog("PipeBuffer::Add - out of memory for %lu bytes.\n",
                 static_cast<unsigned long>(capacity));
        return false;
    }
    if (m_dwTotal)
        std::memcpy(store.get(), m_store.get(), m_dwTotal);
    m_store = std::move(store);
    m_dwCapacity = capacity;
    return true;
}

bool PipeBuffer::Add(const void* bytes, DWORD length)
{
    if (!bytes) {
        TraceLog("PipeBuffer::Add - pBytes is NULL.\n");
        return false;
    }
    BYTE* room = Reserve(length);
    if (!room)
        return false;
    std::memcpy(room, bytes, length);
    return Commit(length);
}

BYTE* PipeBuffer::Reserve(DWORD length)
{
    return Grow(length) ? m_store.get() + m_dwTotal : nullptr;
}

bool PipeBuffer::Commit(DWORD length)
{
    if (!m_store || length > m_dwCapacity - m_dwTotal) {
        TraceLog("PipeBuffer::Commit - %lu bytes were not reserved.\n",
                 static_cast<unsigned long>(length));
        return false;
    }
    try {
        m_chunkLengths.push_back(length);
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
    if (m_chunkLengths.empty())
        return false;
    *buffer = m_store.get();
    *length = m_dwTotal;
    return true;
}

void PipeBuffer::Clear()
{
    m_chunkLengths.clear();
    m_dwChunkCount = 0;
    m_dwTotal = 0;
    if (m_dwCapacity > kKeptCapacity) {
        m_store.reset();
        m_dwCapacity = 0;
    }
}

DWORD PipeBuffer::ChunkLength(DWORD index) const
{
    return index < m_chunkLengths.size() ? m_chunkLengths[index] : 0;
}
