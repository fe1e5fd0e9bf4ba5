// The screen saver's command line against its rules, restated here on their own: the mode is
// the character after the first '/' or '-' (a blank when none follows); after 'p' or 'c' with
// at least two more characters, the parent is the decimal number right after the letter
// (blanks skipped, stopping at a non-digit), saturated at the largest handle value.
#include "ScreenSaver/CommandLine.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

screensaver::CommandLine Expected(const std::string& line)
{
    screensaver::CommandLine expected;
    std::size_t at = 0;
    while (at < line.size() && line[at] != '/' && line[at] != '-')
        ++at;
    if (at + 1 >= line.size())
        return expected;
    expected.mode = line[at + 1];
    if (expected.mode != 'p' && expected.mode != 'c')
        return expected;
    if (!(at + 3 < line.size()))
        return expected;
    std::size_t i = at + 2;
    while (i < line.size() && (line[i] == ' ' || (line[i] >= '\t' && line[i] <= '\r')))
        ++i;
    unsigned long long value = 0;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i)
        if (value <= 0xFFFFFFFFull)
            value = value * 10 + static_cast<unsigned>(line[i] - '0');
    expected.parent = value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
    return expected;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string line(reinterpret_cast<const char*>(data), size);
    const screensaver::CommandLine parsed = screensaver::ParseCommandLine(line);
    const screensaver::CommandLine expected = Expected(line);
    FUZZ_CHECK(parsed.mode == expected.mode);
    FUZZ_CHECK(parsed.parent == expected.parent);
    return 0;
}
