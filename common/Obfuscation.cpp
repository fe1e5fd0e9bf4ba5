#include "common/Obfuscation.h"

#include <cstddef>

namespace QDUtilities {

namespace {

const char kKey[] = "LanternHarbour &4829105736";
const std::size_t kKeyLength = sizeof kKey - 1;
static_assert(sizeof kKey - 1 == 26, "the key is 26 bytes");

const unsigned char kBase = 0x28;   // '('

}  // namespace

std::string ObfuscateString(const std::string& plain)
{
    std::string out;
    out.reserve(plain.size() * 2);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const unsigned x = static_cast<unsigned char>(plain[i]) ^
                           static_cast<unsigned char>(kKey[i % kKeyLength]);
        // The same rule for every high nibble (8..15 give "0".."7"): (0x28 << 4) + 0x28 + 0x58
        // is 0x300, so the decoder's sum gives x back modulo 0x100, and no quote appears.
        out.push_back(static_cast<char>(kBase + (x >> 4)));
        out.push_back(static_cast<char>(kBase + (x & 0x0F)));
    }
    return out;
}

std::string DeobfuscateString(const std::string& scrambled)
{
    std::string out;
    DeobfuscateInto(scrambled.data(), scrambled.size(), out);
    return out;
}

void DeobfuscateInto(const char* scrambled, std::size_t length, std::string& out)
{
    const std::size_t n = length / 2;
    out.resize(n);
    std::size_t i = 0;
    for (std::size_t key = 0; i < n; ++i, key = key + 1 == kKeyLength ? 0 : key + 1) {
        const unsigned high = static_cast<unsigned char>(scrambled[2 * i]);
        const unsigned low = static_cast<unsigned char>(scrambled[2 * i + 1]);
        const unsigned b = ((high << 4) + low + 0x58) & 0xFF;
        const char plain = static_cast<char>(b ^ static_cast<unsigned char>(kKey[key]));
        if (plain == '\0')
            break;
        out[i] = plain;
    }
    out.resize(i);
}

}  // namespace QDUtilities
