// The settings file's scrambling: decode(encode(x)) is x up to its first zero byte, the
// scrambled text holds only "(" .. "7", and decoding any text stays within it.
#include "common/Obfuscation.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string plain(reinterpret_cast<const char*>(data), size);
    const std::string scrambled = QDUtilities::ObfuscateString(plain);
    FUZZ_CHECK(scrambled.size() == 2 * plain.size());
    for (char c : scrambled)
        FUZZ_CHECK(c >= '(' && c <= '7');
    FUZZ_CHECK(QDUtilities::DeobfuscateString(scrambled) == plain.substr(0, plain.find('\0')));

    const std::string decoded = QDUtilities::DeobfuscateString(plain);
    FUZZ_CHECK(decoded.size() <= plain.size() / 2);
    FUZZ_CHECK(decoded.find('\0') == std::string::npos);
    return 0;
}
