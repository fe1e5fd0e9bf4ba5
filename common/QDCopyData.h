// The record in which a host message travels with its parameters and an optional payload:
// sent to the screen-saver window for relaying, and written on the pipe channel. All fields
// are 32-bit little-endian, packed:
//   0 message | 4 wParam | 8 lParam | 12 byte count n | 16 n payload bytes | 16+n four zero bytes
// A record is n + 20 bytes; a plain message is exactly sizeof(QD_COPYDATASTRUCT) = 20 bytes.
// The trailing zeros make a text payload sent without its own terminator arrive terminated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#pragma pack(push, 1)
struct QD_COPYDATASTRUCT {
    uint32_t message;
    uint32_t wParam;
    uint32_t lParam;
    uint32_t cbData;
    uint8_t data[4];   // the payload, then the four zero bytes; longer records run on
};
#pragma pack(pop)

static_assert(sizeof(QD_COPYDATASTRUCT) == 20, "the record head is 20 bytes");
static_assert(offsetof(QD_COPYDATASTRUCT, cbData) == 12, "byte count at offset 12");
static_assert(offsetof(QD_COPYDATASTRUCT, data) == 16, "payload at offset 16");

// Size of a record with n payload bytes.
inline std::size_t QDCopyDataSize(std::size_t payloadBytes)
{
    return payloadBytes + sizeof(QD_COPYDATASTRUCT);
}

// An owned record. Parameters are stored as their low 32 bits; without a payload the byte
// count is 0. Every byte is written once: the head, the payload, the four zeros.
class QDCopyDataRecord {
public:
    QDCopyDataRecord(uint32_t message, uint32_t wParam, uint32_t lParam,
                     const void* payload = nullptr, uint32_t payloadBytes = 0)
        : m_count(payload ? payloadBytes : 0),
          m_size(QDCopyDataSize(m_count)),
          m_bytes(new uint8_t[m_size])
    {
        QD_COPYDATASTRUCT* head = Record();
        head->message = message;
        head->wParam = wParam;
        head->lParam = lParam;
        head->cbData = m_count;
        uint8_t* data = m_bytes.get() + offsetof(QD_COPYDATASTRUCT, data);
        if (payload && m_count)
            std::memcpy(data, payload, m_count);
        std::memset(data + m_count, 0, 4);
    }

    QD_COPYDATASTRUCT* Record() { return reinterpret_cast<QD_COPYDATASTRUCT*>(m_bytes.get()); }
    const QD_COPYDATASTRUCT* Record() const
    {
        return reinterpret_cast<const QD_COPYDATASTRUCT*>(m_bytes.get());
    }
    std::size_t Size() const { return m_size; }
    const uint8_t* Bytes() const { return m_bytes.get(); }

private:
    uint32_t m_count;
    std::size_t m_size;
    std::unique_ptr<uint8_t[]> m_bytes;
};

// The record in bytes received from elsewhere, or null when they are too short for its head
// or for the byte count it claims (terminator included).
inline const QD_COPYDATASTRUCT* QDCopyDataFromBytes(const void* bytes, std::size_t size)
{
    if (!bytes || size < sizeof(QD_COPYDATASTRUCT))
        return nullptr;
    const QD_COPYDATASTRUCT* record = static_cast<const QD_COPYDATASTRUCT*>(bytes);
    if (record->cbData > size - sizeof(QD_COPYDATASTRUCT))
        return nullptr;
    return record;
}
