// What the pipe test host (pipe_host.exe) understands on the channel, shared by the tests and
// the benchmark that drive it. Commands are records like any other, in the application
// message range so that they cannot be taken for host messages.
#pragma once

#include <cstdint>
#include <cstring>

namespace pipe_host {

// Plain, wParam 1: send every record that is not a command straight back (0: stop).
constexpr uint32_t kCmdEcho = 0xA001;
// Data, a SendRequest: send count records of kMsgStream (or the given message).
constexpr uint32_t kCmdSend = 0xA002;
// Plain: answer with kMsgReport, a Report of the records received since the last reset.
constexpr uint32_t kCmdReport = 0xA003;
// Plain: forget the records received so far.
constexpr uint32_t kCmdReset = 0xA004;
// Data: the payload goes onto the pipe as it is, in one write (hand-made records).
constexpr uint32_t kCmdRaw = 0xA005;
// Plain: unregister and exit with code 0.
constexpr uint32_t kCmdQuit = 0xA006;

constexpr uint32_t kMsgReport = 0xA010;
constexpr uint32_t kMsgStream = 0xA011;

// Exit codes besides 0 and the registration result.
constexpr int kExitLifetime = 3;   // the --lifetime ran out
constexpr int kExitUsage = 4;
constexpr int kExitRawFailed = 5;

#pragma pack(push, 1)
// Record i is plain {message, wParam = i, lParam = ~i} when payloadBytes is 0, otherwise data
// with Pattern(i) as payload.
struct SendRequest {
    uint32_t count;
    uint32_t payloadBytes;
    uint32_t message;
};
struct Report {
    uint32_t count;
    uint32_t hash;
};
#pragma pack(pop)

// Running FNV-1a over what the receiving window saw of each record: message, wParam, lParam
// (0 for data records), byte count and payload.
inline uint32_t HashRecord(uint32_t hash, uint32_t message, uint32_t wParam, uint32_t lParam,
                           const void* payload, uint32_t byteCount)
{
    auto mix = [&hash](const uint8_t* bytes, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i)
            hash = (hash ^ bytes[i]) * 16777619u;
    };
    const uint32_t fields[] = {message, wParam, lParam, byteCount};
    mix(reinterpret_cast<const uint8_t*>(fields), sizeof fields);
    if (payload)
        mix(static_cast<const uint8_t*>(payload), byteCount);
    return hash;
}
constexpr uint32_t kHashStart = 2166136261u;

// A payload that differs for every seed and position; its first four bytes hold the seed.
inline void FillPattern(uint8_t* bytes, uint32_t count, uint32_t seed)
{
    for (uint32_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(seed * 31u + i * 7u + (i >> 8));
    if (count >= sizeof seed)
        std::memcpy(bytes, &seed, sizeof seed);
}

}  // namespace pipe_host
