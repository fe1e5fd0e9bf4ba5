// The reading of one pipe-channel record from a stream, without the pipe. Portable: built and
// run natively by scripts/test (the Wine suite checks the same through real pipes).
#include "ScreenSaver/PipeBuffer.h"
#include "ScreenSaver/PipeRecord.h"
#include "common/QDCopyData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct Stream {
    std::vector<uint8_t> bytes;
    std::size_t position = 0;
    uint32_t piece = 0xFFFFFFFF;   // most bytes one read hands over
    int failAt = 0;                // the read that fails (1-based); 0: none
    int reads = 0;
    std::vector<uint32_t> asked;
};

bool Read(void* context, uint8_t* into, uint32_t wanted, uint32_t* got)
{
    Stream& s = *static_cast<Stream*>(context);
    s.asked.push_back(wanted);
    if (++s.reads == s.failAt)
        return false;
    *got = static_cast<uint32_t>(std::min<std::size_t>({wanted, s.piece, s.bytes.size() - s.position}));
    std::memcpy(into, s.bytes.data() + s.position, *got);
    s.position += *got;
    return true;
}

std::vector<uint8_t> Record(uint32_t payloadBytes)
{
    std::vector<uint8_t> payload(payloadBytes);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(i * 7 + 1);
    QDCopyDataRecord record(0x0412, 1, 2, payload.data(), payloadBytes);
    return std::vector<uint8_t>(record.Bytes(), record.Bytes() + record.Size());
}

TEST(PipeRecord, ARecordArrivesWholeFromPiecesInReadsOfAtMost4096Bytes)
{
    Stream stream;
    stream.bytes = Record(10000);
    stream.piece = 7;
    PipeBuffer buffer;
    const pipe_record::Result result = pipe_record::Read(Read, &stream, buffer, 1024 * 1024);
    ASSERT_EQ(pipe_record::Outcome::Whole, result.outcome);
    EXPECT_EQ(10020u, result.length);
    EXPECT_EQ(20u, stream.asked[0]);
    EXPECT_EQ(4096u, *std::max_element(stream.asked.begin() + 3, stream.asked.end()));
    const uint8_t* joined = nullptr;
    uint32_t length = 0;
    ASSERT_TRUE(buffer.GetBuffer(&joined, &length));
    ASSERT_EQ(stream.bytes.size(), length);
    EXPECT_EQ(0, std::memcmp(stream.bytes.data(), joined, length));
}

TEST(PipeRecord, AnOversizedCountIsRefusedBeforeAnythingIsRead)
{
    Stream stream;
    stream.bytes = Record(0);
    const uint32_t claimed = 0xFFFFFFF0u;
    std::memcpy(stream.bytes.data() + 12, &claimed, 4);
    PipeBuffer buffer;
    const pipe_record::Result result = pipe_record::Read(Read, &stream, buffer, 1024 * 1024);
    EXPECT_EQ(pipe_record::Outcome::Oversized, result.outcome);
    EXPECT_EQ(claimed, result.byteCount);
    EXPECT_EQ(0u, buffer.Total());
    EXPECT_EQ(1u, stream.asked.size());
}

TEST(PipeRecord, AShortHeadOrAShortPayloadIsNoRecord)
{
    Stream head;
    head.bytes = Record(0);
    head.bytes.resize(13);
    PipeBuffer buffer;
    pipe_record::Result result = pipe_record::Read(Read, &head, buffer, 1024);
    EXPECT_EQ(pipe_record::Outcome::ShortHead, result.outcome);
    EXPECT_TRUE(result.headReadOk);
    EXPECT_EQ(13u, result.headBytes);

    Stream failing;
    failing.bytes = Record(0);
    failing.piece = 5;
    failing.failAt = 2;
    result = pipe_record::Read(Read, &failing, buffer, 1024);
    EXPECT_EQ(pipe_record::Outcome::ShortHead, result.outcome);
    EXPECT_FALSE(result.headReadOk);
    EXPECT_EQ(5u, result.headBytes);

    Stream payload;
    payload.bytes = Record(100);
    payload.bytes.resize(60);
    result = pipe_record::Read(Read, &payload, buffer, 1024);
    EXPECT_EQ(pipe_record::Outcome::BrokenPayload, result.outcome);
    EXPECT_EQ(100u, result.byteCount);
}

}  // namespace
