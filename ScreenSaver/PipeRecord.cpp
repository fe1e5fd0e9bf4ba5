#include "ScreenSaver/PipeRecord.h"

#include "ScreenSaver/PipeBuffer.h"
#include "common/QDCopyData.h"

#include <algorithm>

namespace pipe_record {

static_assert(sizeof(QD_COPYDATASTRUCT) == kHeadBytes, "the head is the record structure");

Result Read(ReadFunction read, void* context, PipeBuffer& buffer, uint32_t maxByteCount)
{
    Result result;
    // The head. A byte pipe may hand it over in pieces; only an error or the end fails it.
    QD_COPYDATASTRUCT head = {};
    uint8_t* headBytes = reinterpret_cast<uint8_t*>(&head);
    while (result.headBytes < kHeadBytes) {
        uint32_t count = 0;
        result.headReadOk = read(context, headBytes + result.headBytes, kHeadBytes - result.headBytes, &count);
        if (!result.headReadOk || count == 0)
            break;
        // A read never brings more than was asked for; a reader that claims so ends the record.
        if (count > kHeadBytes - result.headBytes) {
            result.headReadOk = false;
            break;
        }
        result.headBytes += count;
    }
    if (result.headBytes < kHeadBytes)
        return result;
    result.byteCount = head.cbData;
    // The count arrives from another process: checked before it decides any allocation.
    if (head.cbData > maxByteCount) {
        result.outcome = Outcome::Oversized;
        return result;
    }
    result.outcome = Outcome::NoRoom;
    if (!buffer.Add(headBytes, kHeadBytes))
        return result;
    uint8_t* room = nullptr;
    if (head.cbData > 0 && !(room = buffer.Reserve(head.cbData)))
        return result;

    result.outcome = Outcome::BrokenPayload;
    uint32_t rest = 0;
    while (rest < head.cbData) {
        uint32_t count = 0;
        const uint32_t wanted = std::min<uint32_t>(head.cbData - rest, kReadChunkBytes);
        if (!read(context, room + rest, wanted, &count) || count == 0 || count > wanted ||
            !buffer.Commit(count))
            return result;
        rest += count;
    }
    result.outcome = Outcome::Whole;
    result.length = kHeadBytes + head.cbData;
    return result;
}

}  // namespace pipe_record
