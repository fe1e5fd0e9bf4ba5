#include "Wisp/web/HttpResultBlock.h"

#include "common/HostMessages.h"
#include "common/MessageBlock.h"

#include <cstring>
#include <new>

bool BuildHttpResult(uint32_t status, const char* body, std::size_t size, std::vector<unsigned char>& block)
{
    const std::size_t overhead = sizeof(HttpResultHeader) + 1 + 4;
    // The length field is 32 bits and counts the NUL.
    if (body && (size >= UINT32_MAX || size > SIZE_MAX - overhead))
        return false;
    const std::size_t length = body ? size + 1 : 0;
    try {
        block.assign(sizeof(HttpResultHeader) + length + 4, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const HttpResultHeader header = {status, static_cast<uint32_t>(length)};
    std::memcpy(block.data(), &header, sizeof header);
    if (body && size)
        std::memcpy(block.data() + sizeof header, body, size);
    return true;
}

void* NewHttpResultBlock(uint32_t status, const char* body, std::size_t size)
{
    std::vector<unsigned char> bytes;
    if (!BuildHttpResult(status, body, size, bytes))
        return nullptr;
    void* block = AllocateMessageBlock(RM_ASYNC_HTTP_COMPLETE, bytes.size());
    if (block)
        std::memcpy(block, bytes.data(), bytes.size());
    return block;
}

uint32_t HttpResultStatus(const void* block)
{
    HttpResultHeader header;
    std::memcpy(&header, block, sizeof header);
    return header.status;
}

const char* HttpResultText(const void* block)
{
    // Without a body the four trailing zero bytes follow the header: an empty text.
    return reinterpret_cast<const char*>(block) + sizeof(HttpResultHeader);
}
