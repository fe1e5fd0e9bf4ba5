#include "Wisp/web/HttpResultBlock.h"

#include "common/MessageBlock.h"

#include <cstring>

void* NewHttpResultBlock(uint32_t status, const char* body, std::size_t size)
{
    std::size_t length = body ? size + 1 : 0;
    std::size_t total = sizeof(HttpResultHeader) + length + 4;
    auto* block = static_cast<unsigned char*>(AllocateMessageBlock(total));
    if (!block)
        return nullptr;
    HttpResultHeader header = {status, static_cast<uint32_t>(length)};
    std::memcpy(block, &header, sizeof header);
    if (body && size)
        std::memcpy(block + sizeof header, body, size);
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
    HttpResultHeader header;
    std::memcpy(&header, block, sizeof header);
    // Without a body the four trailing zero bytes follow the header: an empty text.
    return reinterpret_cast<const char*>(block) + sizeof header;
}
