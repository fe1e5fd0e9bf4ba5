#include "ScreenSaver/CommandLine.h"

namespace screensaver {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

uint32_t ParseHandle(const std::string& text, std::size_t at)
{
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    uint64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = value * 10 + static_cast<uint64_t>(text[at] - '0');
        if (value > UINT32_MAX)
            return UINT32_MAX;
    }
    return static_cast<uint32_t>(value);
}

}  // namespace

CommandLine ParseCommandLine(const std::string& lowered)
{
    CommandLine result;
    const std::size_t at = lowered.find_first_of("/-");
    if (at == std::string::npos || at + 1 >= lowered.size())
        return result;
    result.mode = lowered[at + 1];
    if ((result.mode == 'p' || result.mode == 'c') && at + 3 < lowered.size())
        result.parent = ParseHandle(lowered, at + 2);
    return result;
}

}  // namespace screensaver
