#include "PipeBuffer.h"

#include <cstring>
#include <new>

namespace {

// A store up to this size is kept between records: the pipe buffer's size, so ordinary
// records are read without allocating, and a rare large one does not stay pinned.
const uint32_t kKeptCapacity = 64000;

}  // namespace

bool PipeBuffer::Grow(uint32_t length)
{
    if (length > UINT32_MAX - m_dwTotal)
        return false;
    const uint32_t needed = m_dwTotal + length;
    if (needed <= m_dwCapacity && m_store)
        return true;
    uint32_t capacity = m_dwCapacity > UINT32_MAX / 2 ? UINT32_MAX : m_dwCapacity * 2;
    if (capacity < needed)
        capacity = needed;
    // Not zero-filled: every byte handed out has been written by Add or by a read.
    std::unique_ptr<uint8_t[]> store(new (std::nothrow) uint8_t[capacity ? capacity : 1]);
    if (!store)
        return false;
    if (m_dwTotal)
        std::memcpy(store.get(), m_store.get(), m_dwTotal);
    m_store = std::move(store);
    m_dwCapacity = capacity;
    return true;
}

bool PipeBuffer::Add(const void* bytes, uint32_t length)
{
    if (!bytes)
        return false;
    uint8_t* room = Reserve(length);
    if (!room)
        return false;
    std::memcpy(room, bytes, length);
    return Commit(length);
}

uint8_t* PipeBuffer::Reserve(uint32_t length)
{
    return Grow(length) ? m_store.get() + m_dwTotal : nullptr;
}

bool PipeBuffer::Commit(uint32_t length)
{
    if (!m_store || length > m_dwCapacity - m_dwTotal)
        return false;
    try {
        m_chunkLengths.push_back(length);
    } catch (const std::bad_alloc&) {
        return false;
    }
    ++m_dwChunkCount;
    m_dwTotal += length;
    return true;
}

bool PipeBuffer::GetBuffer(const uint8_t** buffer, uint32_t* length)
{
    if (!buffer || !length)
        return false;
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

uint32_t PipeBuffer::ChunkLength(uint32_t index) const
{
    return index < m_chunkLengths.size() ? m_chunkLengths[index] : 0;
}
